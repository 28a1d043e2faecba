#include "count_step.h"

#include "rate_check.h"
#include "step_tools.h"

#include <algorithm>
#include <bit>

using namespace cardstep;

namespace {

// What the level samples of one counting run show.
struct LevelWatch {
    uint32_t seenHigh = 0;
    uint32_t seenLow = 0;
    uint32_t lowInRun = 0; // seen low since the counters started
    uint32_t rose = 0;     // low, then high, both while counting: an edge was counted

    void sample(uint32_t levels, bool counting) {
        seenHigh |= levels;
        seenLow |= ~levels & kAllCounters;
        if (counting) {
            rose |= lowInRun & levels;
            lowInRun |= ~levels & kAllCounters;
        }
    }
};

// Counts since the start, beyond 32 bits: each read adds what every counter moved since
// the read before, modulo 2^32, which is exact while two reads are less than 2^32 counts
// apart.
struct CountTally {
    Counters last;
    std::array<uint64_t, kCounterCount> counted{};

    void read(uintptr_t base) {
        const Counters now = ReadAllCounters(base);
        for (unsigned n = 0; n < kCounterCount; ++n) {
            counted[n] += static_cast<uint32_t>(now[n] - last[n]);
        }
        last = now;
    }
};

} // namespace

void CountStep(uintptr_t base, const CheckSettings &settings, StepResult &step) {
    // Counts are measured against the values before the start, so that a counter
    // stuck at some value is not taken for one that counts. A counter that does
    // not count is blamed only when a rising edge was seen while it ran; a counter
    // that counts must show both levels, with samples just outside the run so
    // that a slow input's one edge lies between a low and a high sample. The run
    // ends with a stop, so that every counter's count covers the time measured.
    LevelWatch watch;
    watch.sample(Levels(base), false);
    CountTally tally{ReadAllCounters(base)};
    const auto begin = settings.now();
    WriteStartStop(base, 0xFF, 0xFF, 0xFF);
    watch.sample(Levels(base), true);
    long long samples = 3; // the two outside the run and the one at its start
    for (auto left = std::chrono::microseconds(settings.runTime); left.count() > 0;
         left -= kLevelSamplePeriod) {
        settings.wait(std::min(left, kLevelSamplePeriod));
        watch.sample(Levels(base), true);
        if (++samples % kLevelSamplesPerCounterRead == 0) {
            tally.read(base);
        }
        if (settings.interrupted && settings.interrupted()) {
            StopAll(base); // a run cut short is not judged: the step stays skipped
            return;
        }
    }
    const auto end = settings.now();
    StopAll(base);
    tally.read(base);
    watch.sample(Levels(base), false);

    const auto &counted = tally.counted;
    uint32_t counting = 0;
    for (unsigned n = 0; n < kCounterCount; ++n) {
        counting |= counted[n] != 0 ? 1u << n : 0;
    }
    const MeasuredRates rates =
        MeasureRates(counted, std::chrono::duration<double>(end - begin).count());
    const uint32_t signal = counting | watch.rose;
    const uint32_t deaf = watch.rose & ~counting;                         // it rose, no count
    const uint32_t frozen = counting & ~(watch.seenHigh & watch.seenLow); // counts, never moves

    step.figures = {{FigureName::RunMs, int64_t{settings.runTime.count()}},
                    {FigureName::RunSeconds, rates.seconds},
                    {FigureName::LevelSamples, int64_t{samples}},
                    {FigureName::Counts, std::vector<int64_t>(counted.begin(), counted.end())},
                    {FigureName::RatesHz, rates.hertz},
                    {FigureName::RateUncertaintyHz, rates.uncertainty},
                    {FigureName::InputsWithSignal, CounterNumbers(signal)}};
    const RateExpectation &expected = settings.expected;
    const bool rateCheck = !expected.hertz.empty();
    std::string faults;
    const auto fault = [&faults](const std::string &text) {
        faults += (faults.empty() ? "" : "; ") + text;
    };
    if (rateCheck) {
        step.figures.emplace_back(FigureName::ExpectedHz, expected.hertz);
        step.figures.emplace_back(FigureName::TolerancePct, expected.tolerancePct);
        if (const std::string off = RateDeviations(rates, expected); !off.empty()) {
            fault("rate off: " + off);
        }
    } else if (signal == 0) {
        fault("no input carries a signal");
    }
    if (deaf != 0) {
        fault("input changes but counter does not count: " + CounterList(deaf));
    }
    if (frozen != 0) {
        fault("counter counts but its input level never changes: " + CounterList(frozen));
    }
    const std::string levels = "every input with a signal counts and shows both levels";
    if (rateCheck) {
        const std::string tolerance = NumberText(expected.tolerancePct) + " %";
        Judge(step, faults.empty(),
              "every rate within " + tolerance + " of the one expected; " + levels,
              faults.empty() ? "all " + Decimal(kCounterCount) + " rates within " + tolerance
                             : faults);
        return;
    }
    Judge(step, faults.empty(), levels,
          faults.empty() ? "signal on " + Decimal(std::popcount(signal)) + " inputs, all counted"
                         : faults);
}
