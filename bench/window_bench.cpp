// How long the program takes from its process start until its window is on screen,
// and how much memory it holds then; and the window's creation alone, in-process.
#include "Unit1.h"
#include "qt_benchmark_main.h"
#include "sim_control.h"
#include "test_paths.h"
#include "virtual_display.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

const QString kTitle = QStringLiteral("  OX_KRV5316  -  test PCI karty ZOVAK");

bool windowMapped(const QString &display) {
    return runOnDisplay("xwininfo", {"-name", kTitle}, display).contains("IsViewable");
}

// Resident set of a process in KiB, from /proc.
double residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
        }
    }
    return 0;
}

// Wall time from starting the process to its window being mapped (polled every
// millisecond through xwininfo, which adds a few milliseconds), on the default cards.
void BM_ProcessStartToWindowShown(benchmark::State &state) {
    static VirtualDisplay display;
    if (!display.up()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display.name());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("OX9162_SIM_TRACE");
    env.insert("XDG_RUNTIME_DIR", QDir::tempPath());
    double rss = 0;
    for (auto _ : state) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        program.start(TestPath("OX_PROGRAM"), {});
        bool shown = false;
        // waitForFinished also notices an early death, which state() does not without
        // an event loop.
        while (!shown && clock.elapsed() < 30000 && !program.waitForFinished(1)) {
            shown = windowMapped(display.name());
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        if (!shown) {
            state.SkipWithError("the window did not appear");
            break;
        }
        QThread::msleep(300); // the first paint
        rss += residentKiB(program.processId());
        program.terminate();
        program.waitForFinished(5000);
    }
    state.counters["rss_MiB"] =
        benchmark::Counter(rss / 1024.0, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ProcessStartToWindowShown)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The window's own part: creation (with the enumeration) and first show, offscreen.
void BM_WindowCreateAndShow(benchmark::State &state) {
    oxsim::Configure("0123@2/13;0456@3/5;0123@4/2");
    for (auto _ : state) {
        auto window = std::make_unique<TForm1>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            state.SkipWithError("not exposed");
            break;
        }
    }
}
BENCHMARK(BM_WindowCreateAndShow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    return RunQtBenchmarks(argc, argv, false);
}
