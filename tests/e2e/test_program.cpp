// The program as the operator starts it: its window comes up on an X display and the
// driver library sees the enumeration; a click on the open button downloads the
// firmware and the ticks follow; without the library beside it, it does not start.
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

// Asks a process to end, and makes it if it will not.
void stop(QProcess &process) {
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
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
    ~VirtualDisplay() { stop(server_); }
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

// The real program on a virtual display, with a trace file; ended with the test.
class RunningProgram {
  public:
    RunningProgram(QProcessEnvironment env, const VirtualDisplay &display, const QString &trace,
                   const QString &cards)
        : display_(display.name()) {
        env.insert("DISPLAY", display_);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("OX9162_SIM_CARDS", cards);
        env.insert("OX9162_SIM_TRACE", trace);
        process_.setProcessEnvironment(env);
        process_.start(OX_PROGRAM, {});
        if (!process_.waitForStarted(5000)) {
            return;
        }
        QElapsedTimer clock;
        clock.start();
        // waitForFinished also notices an early death, which state() does not without
        // an event loop.
        while (window_.isEmpty() && clock.elapsed() < 30000 && !process_.waitForFinished(100)) {
            window_ = mappedWindow(display_);
        }
    }
    ~RunningProgram() { stop(process_); }
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    QString window() const { return window_; }
    std::string errors() { return process_.readAllStandardError().toStdString(); }
    QString windowInfo() const { return run("xwininfo", {"-id", window_}, display_); }
    // A left click at a point of the window, through the X server as a mouse would.
    void click(int x, int y) const {
        run("xdotool",
            {"mousemove", "--window", window_, QString::number(x), QString::number(y), "click",
             "1"},
            display_);
    }

  private:
    QString display_;
    QProcess process_;
    QString window_;
};

QStringList traceLines(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// The register accesses of one tick: 24 counters, the input levels, DIN.
QStringList tickShape() {
    QStringList shape;
    for (int n = 0; n < 24; ++n) {
        shape << QStringLiteral("W 0 420 %1").arg(n, 2, 16, QChar('0'));
        shape << "R 0 40c"
              << "R 0 408"
              << "R 0 404"
              << "R 0 400";
    }
    shape << "W 0 420 80"
          << "R 0 400"
          << "R 0 404"
          << "R 0 408"
          << "R 0 000";
    return shape;
}

TEST_F(ProgramTest, WindowComesUpAfterTheEnumeration) {
    VirtualDisplay display;
    ASSERT_TRUE(display.up()) << "Xvfb did not start";
    const QString trace = work.filePath("trace.txt");
    QString info;
    {
        RunningProgram program(environment(), display, trace, "0456@3/5;0123@2/13");
        ASSERT_FALSE(program.window().isEmpty())
            << "no window; the program said: " << program.errors();
        info = program.windowInfo();
    }
    EXPECT_TRUE(info.contains("Width: 681")) << info.toStdString();
    EXPECT_TRUE(info.contains("Height: 385")) << info.toStdString();

    const QStringList lines = traceLines(trace);
    const QStringList expected = {"call OX9162_CardsInSystem ", "call OX9162_Card_DID 0 ",
                                  "call OX9162_Card_BUS 0 ",    "call OX9162_Card_SLOT 0 ",
                                  "call OX9162_Card_DID 1 ",    "call OX9162_Card_BUS 1 ",
                                  "call OX9162_Card_SLOT 1 "};
    ASSERT_EQ(lines.size(), expected.size()) << lines.join('\n').toStdString();
    for (int i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].startsWith(expected[i])) << lines[i].toStdString();
    }
}

TEST_F(ProgramTest, OpenButtonDownloadsTheFirmwareAndTicksFollow) {
    ASSERT_FALSE(QStandardPaths::findExecutable("xdotool").isEmpty()) << "xdotool is missing";
    VirtualDisplay display;
    ASSERT_TRUE(display.up()) << "Xvfb did not start";
    const QString trace = work.filePath("trace.txt");
    const QStringList tick = tickShape();
    QStringList lines;
    {
        RunningProgram program(environment(), display, trace, "0123@2/13");
        ASSERT_FALSE(program.window().isEmpty()) << program.errors();
        // Middle of "Otevřít kartu": the page's 472, 128 and 97 x 25, below the tabs.
        program.click(472 + 48, 128 + 12 + 23);
        QElapsedTimer clock;
        clock.start();
        // Until the version read is followed by three ticks or more.
        const auto ticked = [&] {
            const qsizetype version = lines.indexOf("R 0 5fc 12");
            return version >= 0 && lines.size() > version + 3 * tick.size();
        };
        while (!ticked() && clock.elapsed() < 30000) {
            QThread::msleep(200);
            lines = traceLines(trace);
        }
    }
    const int open = static_cast<int>(lines.indexOf("call OX9162_Open 0 0 = 0"));
    ASSERT_GE(open, 0) << "the click did not open the card";
    ASSERT_TRUE(lines.value(open + 1).startsWith("call OX9162_BAR4_BaseAdr 0 = 0 0x"));
    const QStringList start = {"W 0 3fc 01", "W 0 3fc 00", "W 0 3fc 02"};
    EXPECT_EQ(lines.mid(open + 2, 3), start);

    // Every firmware byte goes to DATA0 and waits for its status read.
    int i = open + 5;
    int bytes = 0;
    while (lines.value(i).startsWith("W 0 400 ")) {
        ++bytes;
        ++i;
        while (lines.value(i).startsWith("R 0 3fc ")) {
            ++i;
        }
    }
    EXPECT_EQ(bytes, 59215);
    EXPECT_EQ(lines.value(i++), "W 0 3fc 00");
    EXPECT_EQ(lines.value(i++), "R 0 3fc 30") << "configuration complete";
    EXPECT_EQ(lines.value(i++), "R 0 5fc 12") << "version read once";

    // Then nothing but whole ticks, apart from the one the end cut short.
    int ticks = 0;
    for (; i + tick.size() <= lines.size(); i += tick.size(), ++ticks) {
        for (int k = 0; k < tick.size(); ++k) {
            ASSERT_TRUE(lines[i + k].startsWith(tick[k]))
                << "tick " << ticks << " access " << k << ": " << lines[i + k].toStdString();
        }
    }
    EXPECT_GE(ticks, 2);
    EXPECT_TRUE(lines.filter("!").isEmpty()) << "an access to a card that was not open";
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
