// The cost of the 100 ms refresh with a simulated card open: one whole tick (124
// counter and level accesses, the DIN read and the 57 captions), and the CPU share of
// the window left running on its own timer.
//
// All counters are started and the virtual clock moves 100 ms per tick, so the
// captions change as they would on a running card. Figures are given as a share of
// the 100 ms period. OX_CPU_SECONDS sets the length of the running-window stretch
// (default 10), OX_CPU_PAGE the page shown meanwhile (default 1, the counters page).
#include "open_window.h"
#include "qt_benchmark_main.h"
#include "sim_control.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

constexpr double kPeriodSeconds = 0.1;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Time per iteration as a percentage of one 100 ms period, by the wall clock and by
// the process's CPU time (the machine may be shared, which only the first shows).
class PeriodShare {
  public:
    void report(benchmark::State &state) const {
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_;
        const double periods = double(state.iterations()) * kPeriodSeconds;
        state.counters["wall_share_pct"] = 100.0 * wall.count() / periods;
        state.counters["cpu_share_pct"] = 100.0 * (processCpuSeconds() - cpu_) / periods;
    }

  private:
    std::chrono::steady_clock::time_point wall_ = std::chrono::steady_clock::now();
    double cpu_ = processCpuSeconds();
};

// The tick as the timer delivers it; with argument 1 also the repaint of the counters
// page that follows it.
void BM_Tick(benchmark::State &state) {
    const bool repaint = state.range(0) != 0;
    OpenWindow window;
    const PeriodShare share;
    for (auto _ : state) {
        oxsim::AdvanceClock(std::chrono::milliseconds(100));
        window.tick();
        if (repaint) {
            QCoreApplication::processEvents();
        }
    }
    share.report(state);
}
BENCHMARK(BM_Tick)
    ->ArgName("repaint")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The window left to its own Timer1 on the real clock, as an operator would leave it,
// with the counters running at their simulated input frequencies. The share is the
// process's CPU time (all threads) over the wall time of the stretch.
void BM_RunningWindowCpuShare(benchmark::State &state) {
    const double seconds = qEnvironmentVariableIntValue("OX_CPU_SECONDS") > 0
                               ? qEnvironmentVariableIntValue("OX_CPU_SECONDS")
                               : 10.0;
    OpenWindow window;
    window.showPage(
        qEnvironmentVariableIsSet("OX_CPU_PAGE") ? qEnvironmentVariableIntValue("OX_CPU_PAGE") : 1);
    oxsim::UseRealClock();
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        QEventLoop loop;
        QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        QElapsedTimer elapsed;
        const double cpuBefore = processCpuSeconds();
        elapsed.start();
        loop.exec();
        cpu = processCpuSeconds() - cpuBefore;
        wall = double(elapsed.nsecsElapsed()) * 1e-9;
    }
    // Every tick ends with the DIN read; count them by their SEL 0x80 writes.
    std::size_t ticks = 0;
    for (const std::string &line : oxsim::Trace()) {
        ticks += line == "W 0 420 80" ? 1 : 0;
    }
    state.counters["cpu_share_pct"] = 100.0 * cpu / wall;
    state.counters["ticks"] = double(ticks);
    state.counters["wall_s"] = wall;
}
BENCHMARK(BM_RunningWindowCpuShare)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    return RunQtBenchmarks(argc, argv, true);
}
