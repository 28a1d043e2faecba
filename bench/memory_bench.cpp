// Resident memory over long runs, which must stay flat: the window with a card open
// for ten minutes of its 100 ms timer (6,000 ticks on the virtual clock, each followed
// by its repaint), the window over 20 closes and reopens of the card, each with its
// firmware download, and the peak of krv5316-check on a slow card against a healthy
// one. OX_MEMORY_TICKS sets the number of ticks.
#include "open_window.h"
#include "qt_benchmark_main.h"
#include "resident_memory.h"
#include "sim_control.h"
#include "sim_environment.h"
#include "test_paths.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

void ReportGrowth(benchmark::State &state, double before) {
    const double after = ResidentKiB();
    state.counters["rss_growth_KiB"] = after - before;
    state.counters["rss_MiB"] = after / 1024.0;
}

void BM_WindowWithCardOpen(benchmark::State &state) {
    const int ticks = qEnvironmentVariableIntValue("OX_MEMORY_TICKS") > 0
                          ? qEnvironmentVariableIntValue("OX_MEMORY_TICKS")
                          : 6000;
    OpenWindow window(0);
    // The first ticks allocate what every later tick reuses.
    for (int i = 0; i < 50; ++i) {
        window.tick();
        QCoreApplication::processEvents();
    }
    const double before = ResidentKiB();
    for (auto _ : state) {
        for (int i = 0; i < ticks; ++i) {
            oxsim::AdvanceClock(std::chrono::milliseconds(100));
            window.tick();
            QCoreApplication::processEvents();
        }
    }
    ReportGrowth(state, before);
    state.counters["ticks"] = ticks;
}
BENCHMARK(BM_WindowWithCardOpen)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_WindowOpenCloseCycles(benchmark::State &state) {
    OpenWindow window(0);
    window.click("Button2");
    window.click("Button1");
    const double before = ResidentKiB();
    for (auto _ : state) {
        for (int cycle = 0; cycle < 20; ++cycle) {
            window.click("Button2");
            window.click("Button1");
            window.tick();
            QCoreApplication::processEvents();
        }
    }
    if (!window.cardOpen()) {
        state.SkipWithError("the card did not reopen");
        return;
    }
    ReportGrowth(state, before);
}
BENCHMARK(BM_WindowOpenCloseCycles)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A process's peak resident set in KiB so far, from /proc; 0 once it has ended.
double PeakKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6));
        }
    }
    return 0;
}

// Peak resident set in KiB of krv5316-check on the cards that `cards` describes, and
// its exit status. The peak is read from the running process every few milliseconds:
// wait4's figure would also count this process, whose memory the child shares until
// it starts the program.
std::pair<double, int> CheckPeakKiB(const std::string &cards) {
    const SimEnvironment env({"OX9162_SIM_CARDS=" + cards});
    std::string program = TestPath("KRV5316_CHECK");
    char *argv[] = {program.data(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &quiet, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
        return {0, -1};
    }
    int status = 0;
    double peak = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        peak = std::max(peak, PeakKiB(child));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return {peak, status};
}

void BM_CheckSlowAgainstHealthyCard(benchmark::State &state) {
    double healthy = 0, slow = 0;
    for (auto _ : state) {
        const auto [healthyKiB, healthyStatus] = CheckPeakKiB("0123@2/13");
        const auto [slowKiB, slowStatus] = CheckPeakKiB("0123@2/13:slow=20");
        if (healthyStatus != 0 || slowStatus != 0) {
            state.SkipWithError("krv5316-check did not pass both cards");
            return;
        }
        healthy = healthyKiB;
        slow = slowKiB;
    }
    state.counters["healthy_peak_MiB"] = healthy / 1024.0;
    state.counters["slow20_peak_MiB"] = slow / 1024.0;
    state.counters["difference_KiB"] = slow - healthy;
}
BENCHMARK(BM_CheckSlowAgainstHealthyCard)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    return RunQtBenchmarks(argc, argv, false);
}
