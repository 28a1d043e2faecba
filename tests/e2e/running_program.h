// The real program as a process on a virtual display, with a trace file, and what the
// end-to-end tests read from that trace.
#pragma once

#include "test_paths.h"
#include "virtual_display.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

inline const QString Title = QStringLiteral("  OX_KRV5316  -  test PCI karty ZOVAK");

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
        process_.start(TestPath("OX_PROGRAM"), {});
        if (!process_.waitForStarted(5000)) {
            return;
        }
        // xdotool looks again every half second; the wait also notices an early death.
        QProcess finder;
        finder.setProcessEnvironment(env);
        finder.start("xdotool", {"search", "--sync", "--onlyvisible", "--limit", "1", "--name",
                                 "^" + Title + "$"});
        if (QTest::qWaitFor(
                [&] {
                    return finder.state() == QProcess::NotRunning ||
                           process_.state() == QProcess::NotRunning;
                },
                30000)) {
            window_ = QString::fromLatin1(finder.readAllStandardOutput()).trimmed();
        }
        stopProcess(finder);
    }
    ~RunningProgram() { stopProcess(process_); }
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    QString window() const { return window_; }
    std::string errors() { return process_.readAllStandardError().toStdString(); }
    QString windowInfo() const { return runOnDisplay("xwininfo", {"-id", window_}, display_); }
    // A left click at a point of the window, through the X server as a mouse would.
    void click(int x, int y) const {
        runOnDisplay("xdotool",
                     {"mousemove", "--window", window_, QString::number(x), QString::number(y),
                      "click", "1"},
                     display_);
    }

  private:
    QString display_;
    QProcess process_;
    QString window_;
};

// The lines of a trace file, as far as it is written.
inline QStringList traceFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// The register accesses of one tick: 24 counters, the input levels, DIN.
inline QStringList tickShape() {
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

// The trace file once the version read is followed by `ticks` whole ticks or more, or as
// far as it got within the time.
inline QStringList waitForTicks(const QString &trace, int ticks, int milliseconds = 30000) {
    const qsizetype accesses = ticks * tickShape().size();
    QByteArray text;
    // Bytes, not lines, while waiting: the firmware's accesses make the file long. When
    // the time is up, the file as far as it got.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            QFile file(trace);
            text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            const qsizetype version = text.indexOf("R 0 5fc 12\n");
            return version >= 0 && text.mid(version).count('\n') > accesses;
        },
        milliseconds));
    return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
}
