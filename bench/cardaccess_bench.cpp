// Cost of card access on the simulated card: one whole firmware download, and one
// refresh of the window (24 counters, the input levels, DIN) against its 100 ms period.
#include "KRV5316_dwn.h"
#include "KRV5316_regs.h"
#include "sim_control.h"
#include "zovak_ox9162.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

namespace {

constexpr double RefreshPeriodSeconds = 0.1;

uintptr_t OpenCardOne(benchmark::State &state) {
    TPoleKaret table;
    if (!oxsim::Configure("0123@2/13") || !FindCards(0x0123, table) || !OpenCard(1, table)) {
        state.SkipWithError(("cannot open the simulated card: " + table.Status).c_str());
        return 0;
    }
    return table.Cards[1].BaseAdr;
}

// Register accesses in the trace since it was last cleared.
double TracedAccesses() {
    const auto lines = oxsim::Trace();
    return static_cast<double>(std::ranges::count_if(lines, [](const std::string &line) {
        return line.starts_with("R ") || line.starts_with("W ");
    }));
}

void BM_LoadFirmware(benchmark::State &state) {
    const uintptr_t base = OpenCardOne(state);
    if (base == 0) {
        return;
    }
    bool configured = true;
    for (auto _ : state) {
        state.PauseTiming();
        oxsim::ClearTrace();
        state.ResumeTiming();
        configured = LoadFirmware(base) && configured;
    }
    if (!configured) {
        state.SkipWithError("the download failed");
        return;
    }
    const double accesses = TracedAccesses();
    state.counters["accesses"] = accesses;
    state.counters["time_per_access"] =
        benchmark::Counter(accesses * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadFirmware)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_Refresh(benchmark::State &state) {
    const uintptr_t base = OpenCardOne(state);
    if (base == 0 || !LoadFirmware(base)) {
        state.SkipWithError("the card did not configure");
        return;
    }
    uint32_t sum = 0;
    for (auto _ : state) {
        state.PauseTiming();
        oxsim::ClearTrace(); // keeps the trace storage from filling up
        state.ResumeTiming();
        for (unsigned n = 0; n < CounterCount; ++n) {
            sum += ReadCounter(base, n);
        }
        const Mask3 levels = ReadInputLevels(base);
        sum += levels[0] + ReadDin(base);
    }
    benchmark::DoNotOptimize(sum);
    state.counters["accesses"] = TracedAccesses();
    // Elapsed time over (iterations x 1 ms): the percentage of the period one refresh uses.
    state.counters["period_pct"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * RefreshPeriodSeconds / 100,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
