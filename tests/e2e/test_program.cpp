// The program as the operator starts it: its window comes up on an X display and the
// driver library sees the enumeration; without the library beside it, it does not start.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QString Title = QStringLiteral("  OX_KRV5316  -  test PCI karty ZOVAK");

QString run(const QString &program, const QStringList &arguments, const QString &display) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// A private X server on a display number it picks itself; stopped with the test.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        server_.start("Xvfb", {"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0",
                               "1024x768x24"});
        QElapsedTimer clock;
        clock.start();
        while (number_.isEmpty() && clock.elapsed() < 10000 && server_.waitForReadyRead(500)) {
            number_ = QString::fromLatin1(server_.readAllStandardOutput()).trimmed();
        }
        // The number comes a moment before the server takes clients.
        while (up() && !run("xwininfo", {"-root"}, name()).contains("Window id") &&
               clock.elapsed() < 10000) {
            QThread::msleep(10);
        }
    }
    ~VirtualDisplay() {
        server_.terminate();
        if (!server_.waitForFinished(5000)) {
            server_.kill();
            server_.waitForFinished(2000);
        }
    }
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    bool up() const { return !number_.isEmpty(); }
    QString name() const { return ":" + number_; }

  private:
    QProcess server_;
    QString number_;
};

// The window id of the mapped window with the given title, empty while there is none.
QString mappedWindow(const QString &display) {
    for (const QString &line : run("xwininfo", {"-root", "-tree"}, display).split('\n')) {
        if (line.contains("\"" + Title + "\"")) {
            const QString id = line.trimmed().section(' ', 0, 0);
            if (run("xwininfo", {"-id", id}, display).contains("IsViewable")) {
                return id;
            }
        }
    }
    return {};
}

class ProgramTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(QStandardPaths::findExecutable("Xvfb").isEmpty()) << "Xvfb is missing";
        ASSERT_TRUE(work.isValid());
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LD_LIBRARY_PATH");
        env.insert("XDG_RUNTIME_DIR", work.path());
        return env;
    }

    QTemporaryDir work;
};

TEST_F(ProgramTest, WindowComesUpAfterTheEnumeration) {
    VirtualDisplay display;
    ASSERT_TRUE(display.up()) << "Xvfb did not start";
    const QString trace = work.filePath("trace.txt");
    QProcessEnvironment env = environment();
    env.insert("DISPLAY", display.name());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("OX9162_SIM_CARDS", "0456@3/5;0123@2/13");
    env.insert("OX9162_SIM_TRACE", trace);
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(OX_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(5000));

    QString window;
    QElapsedTimer clock;
    clock.start();
    // waitForFinished also notices an early death, which state() does not without an
    // event loop.
    while (window.isEmpty() && clock.elapsed() < 30000 && !program.waitForFinished(100)) {
        window = mappedWindow(display.name());
    }
    const QString info = run("xwininfo", {"-id", window}, display.name());
    program.terminate();
    if (!program.waitForFinished(5000)) {
        program.kill();
        program.waitForFinished(2000);
    }
    ASSERT_FALSE(window.isEmpty())
        << "no window; the program said: " << program.readAllStandardError().toStdString();
    EXPECT_TRUE(info.contains("Width: 681")) << info.toStdString();
    EXPECT_TRUE(info.contains("Height: 385")) << info.toStdString();

    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no trace file";
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    const QStringList expected = {"call OX9162_CardsInSystem ", "call OX9162_Card_DID 0 ",
                                  "call OX9162_Card_BUS 0 ",    "call OX9162_Card_SLOT 0 ",
                                  "call OX9162_Card_DID 1 ",    "call OX9162_Card_BUS 1 ",
                                  "call OX9162_Card_SLOT 1 "};
    ASSERT_EQ(lines.size(), expected.size()) << lines.join('\n').toStdString();
    for (int i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].startsWith(expected[i])) << lines[i].toStdString();
    }
}

TEST_F(ProgramTest, CopiedAwayFromTheDriverLibraryItDoesNotStart) {
    const QString copy = work.filePath("ox_krv5316");
    ASSERT_TRUE(QFile::copy(OX_PROGRAM, copy));
    QProcess program;
    QProcessEnvironment env = environment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(copy, {});
    ASSERT_TRUE(program.waitForFinished(10000)) << "the copy ran without its library";

    EXPECT_NE(program.exitCode(), 0);
    const std::string message = program.readAllStandardError().toStdString();
    EXPECT_NE(message.find("libzovak_ox9162.so"), std::string::npos) << message;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv); // for QProcess
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
