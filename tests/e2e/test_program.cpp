// The program as the operator starts it: its window comes up on an X display and the
// driver library sees the enumeration; a click on the open button downloads the
// firmware and the ticks follow; without the library beside it, it does not start.
#include "running_program.h"
#include "test_paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

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

    const QStringList lines = traceFile(trace);
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
        lines = waitForTicks(trace, 3);
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
    ASSERT_TRUE(QFile::copy(TestPath("OX_PROGRAM"), copy));
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
