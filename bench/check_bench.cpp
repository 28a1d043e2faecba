// krv5316-check's cards side by side and its burn-in, on the stand-in.
//  - CardsSideBySide/N: N healthy cards with a 10 s count, on the real clock: the run's
//    time against one card's (goal: 4 and 8 cards in at most 1.2 times its time), and
//    the CPU time per card per second of count.
//  - BurnIn: 10,000 cycles on the simulator's virtual clock, a healthy card beside one
//    that fails every cycle: the growth of resident memory from cycle 100 on (goal:
//    within 1 MiB) and the JSON report's size against that after 100 cycles.
#include "card_check.h"
#include "check_report.h"
#include "resident_memory.h"
#include "sim_control.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The stand-in's cards from the text, listed in table: every KRV-5316 among them.
std::vector<unsigned> Configure(const std::string &cards, TPoleKaret &table) {
    oxsim::Configure(cards);
    FindCards(0x0123, table);
    std::vector<unsigned> all;
    for (unsigned k = 1; k <= table.CountFound; ++k) {
        all.push_back(k);
    }
    return all;
}

std::map<int, double> secondsFor; // by number of cards, for the ratio to one card

void BM_CardsSideBySide(benchmark::State &state) {
    const auto count = static_cast<unsigned>(state.range(0));
    std::string cards;
    for (unsigned k = 0; k < count; ++k) {
        cards += (k ? ";" : "") + std::string("0123@") + std::to_string(k + 1) + "/1";
    }
    CheckSettings settings;
    settings.runTime = 10000ms;
    settings.wait = [](std::chrono::microseconds time) { std::this_thread::sleep_for(time); };
    settings.now = [] { return std::chrono::steady_clock::now().time_since_epoch(); };
    double countCpu = 0;
    double mark = -1; // CPU time when the count began
    settings.progress = [&](const std::string &doing) {
        if (doing.ends_with(": count")) {
            mark = CpuSeconds();
        } else if (mark >= 0) {
            countCpu += CpuSeconds() - mark;
            mark = -1;
        }
    };
    double seconds = 0;
    for (auto _ : state) {
        TPoleKaret table;
        const std::vector<unsigned> all = Configure(cards, table);
        const auto begin = std::chrono::steady_clock::now();
        const std::vector<CardResult> results = CheckCards(table, all, settings);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        for (const CardResult &result : results) {
            if (!result.passed()) {
                state.SkipWithError("a healthy card did not pass");
            }
        }
    }
    secondsFor[static_cast<int>(count)] = seconds;
    state.counters["seconds"] = seconds;
    state.counters["ratio_to_one"] = secondsFor.count(1) ? seconds / secondsFor[1] : 0;
    state.counters["count_cpu_ms_per_card_s"] =
        countCpu * 1e3 / count / (10.0 * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_CardsSideBySide)->Arg(1)->Arg(4)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond);

// The JSON report of a burn-in of so many cycles, and the resident memory from cycle 100
// on.
std::string BurnInReport(unsigned cycles, double &growthKiB) {
    CheckSettings settings;
    settings.runTime = 201ms;
    settings.burnIn = true;
    settings.cycles = cycles;
    std::chrono::nanoseconds elapsed{0};
    settings.wait = [&elapsed](std::chrono::microseconds time) {
        oxsim::AdvanceClock(time);
        elapsed += time;
    };
    settings.now = [&elapsed] { return elapsed; };
    double at100 = 0;
    settings.progress = [&](const std::string &doing) {
        if (at100 == 0 && doing.starts_with("cycle 101 ")) {
            at100 = ResidentKiB();
        }
    };
    CheckRun run;
    run.started = "2026-12-08T00:00:00Z";
    TPoleKaret table;
    const std::vector<unsigned> all = Configure("0123@1/1;0123@2/2:deadcnt=23", table);
    oxsim::UseVirtualClock();
    run.cards = CheckCards(table, all, settings);
    growthKiB = at100 > 0 ? ResidentKiB() - at100 : 0;
    return JsonReport(run);
}

void BM_BurnIn(benchmark::State &state) {
    double growth = 0, unused = 0;
    std::size_t bytes = 0;
    const std::size_t bytesAt100 = BurnInReport(100, unused).size();
    for (auto _ : state) {
        bytes = BurnInReport(static_cast<unsigned>(state.range(0)), growth).size();
    }
    state.counters["cycles"] = static_cast<double>(state.range(0));
    state.counters["rss_growth_KiB"] = growth;
    state.counters["report_bytes"] = static_cast<double>(bytes);
    state.counters["report_bytes_at_100"] = static_cast<double>(bytesAt100);
}
BENCHMARK(BM_BurnIn)->Arg(10000)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
