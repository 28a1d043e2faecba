// Cost of card access on the simulated card: one whole firmware download, and one
// refresh of the window (24 counters, the input levels, DIN) against its 100 ms period.
#include "KRV5316_dwn.h"
#include "KRV5316_regs.h"
#include "sim_control.h"
#include "zovak_ox9162.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

constexpr double kRefreshPeriodSeconds = 0.1;

uintptr_t OpenCardOne(benchmark::State &state) {
    TPoleKaret table;
    oxsim::KeepTrace(1024); // counts every access, keeps few
    if (!oxsim::Configure("0123@2/13") || !FindCards(0x0123, table) || !OpenCard(1, table)) {
        state.SkipWithError(("cannot open the simulated card: " + table.Status).c_str());
        return 0;
    }
    return table.Cards[1].BaseAdr;
}

void BM_LoadFirmware(benchmark::State &state) {
    const uintptr_t base = OpenCardOne(state);
    if (base == 0) {
        return;
    }
    oxsim::ClearTrace();
    bool configured = true;
    for (auto _ : state) {
        configured = LoadFirmware(base) && configured;
    }
    if (!configured) {
        state.SkipWithError("the download failed");
        return;
    }
    const double iterations = static_cast<double>(state.iterations());
    const double accesses = static_cast<double>(oxsim::TraceSize() + oxsim::TraceDropped());
    state.counters["accesses"] = accesses / iterations;
    state.counters["time_per_access"] =
        benchmark::Counter(accesses, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadFirmware)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_Refresh(benchmark::State &state) {
    const uintptr_t base = OpenCardOne(state);
    if (base == 0 || !LoadFirmware(base)) {
        state.SkipWithError("the card did not configure");
        return;
    }
    oxsim::ClearTrace();
    uint32_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (unsigned n = 0; n < kCounterCount; ++n) {
            sum += ReadCounter(base, n);
        }
        const Mask3 levels = ReadInputLevels(base);
        sum += levels[0] + ReadDin(base);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    benchmark::DoNotOptimize(sum);
    const double iterations = static_cast<double>(state.iterations());
    state.counters["accesses"] =
        static_cast<double>(oxsim::TraceSize() + oxsim::TraceDropped()) / iterations;
    state.counters["period_pct"] = 100 * elapsed.count() / iterations / kRefreshPeriodSeconds;
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
