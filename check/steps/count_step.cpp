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
// apart. A counter is read a byte at a time while it runs: a read across a carry can
// come out low, which no input can make of it, and is read again.
struct CountTally {
    const CheckSettings &settings;
    uintptr_t base;
    Counters last = ReadAllCounters(base);
    std::chrono::nanoseconds lastAt = settings.now();
    std::chrono::nanoseconds longestGap{0};
    std::array<uint64_t, kCounterCount> counted{};

    // Whether counter n moved no further than the fastest input can since the last read.
    bool possible(uint32_t value, unsigned n) const {
        const auto gap = std::chrono::duration<double>(settings.now() - lastAt);
        return static_cast<uint32_t>(value - last[n]) <= kFastestCountHz * gap.count() + 2;
    }

    void read() {
        Counters now = ReadAllCounters(base);
        for (unsigned n = 0; n < kCounterCount; ++n) {
            for (int again = 0; again < 3 && !possible(now[n], n); ++again) {
                now[n] = ReadCounter(base, n);
            }
            counted[n] += static_cast<uint32_t>(now[n] - last[n]);
        }
        const auto at = settings.now();
        longestGap = std::max(longestGap, at - lastAt);
        last = now;
        lastAt = at;
    }
    // Whether a counter could have wrapped unseen between two reads.
    bool lost() const {
        return std::chrono::duration<double>(longestGap).count() * kFastestCountHz >= 0x1p32;
    }
};

// One card in the window: its samples, its tally, and the clock's reads on either side
// of its start and of its stop.
struct CardCount {
    CardCount(uintptr_t cardBase, StepResult &cardStep, const CheckSettings &settings)
        : base(cardBase), step(cardStep), tally{settings, cardBase} {}
    uintptr_t base;
    StepResult &step;
    LevelWatch watch;
    CountTally tally;
    std::chrono::nanoseconds beforeStart{}, afterStart{}, beforeStop{}, afterStop{};
};

void JudgeCount(CardCount &card, const CheckSettings &settings, long long samples);

} // namespace

void CountStep(const std::vector<CountedCard> &cards, const CheckSettings &settings) {
    // Counts are measured against the values before the start, so that a counter
    // stuck at some value is not taken for one that counts. A counter that does
    // not count is blamed only when a rising edge was seen while it ran; a counter
    // that counts must show both levels, with samples just outside the run so
    // that a slow input's one edge lies between a low and a high sample. The run
    // ends with a stop, so that every counter's count covers the time measured.
    // The run's length is measured between the clock's reads on either side of the start
    // and of the stop: the middles, give or take half of both sides' spans. The cards
    // share the window and its waits; each card's start and stop are timed on its own.
    std::vector<CardCount> counts;
    counts.reserve(cards.size());
    for (const CountedCard &card : cards) {
        const uint32_t before = Levels(card.base);
        counts.emplace_back(card.base, *card.step, settings).watch.sample(before, false);
    }
    for (CardCount &c : counts) {
        c.beforeStart = settings.now();
        WriteStartStop(c.base, 0xFF, 0xFF, 0xFF);
        c.afterStart = settings.now();
    }
    for (CardCount &c : counts) {
        c.watch.sample(Levels(c.base), true);
    }
    long long samples = 3; // the two outside the run and the one at its start
    // Each sample is due at its time from the start: the work between samples, which
    // grows with the cards, and a sleep's overshoot do not stretch the window.
    const auto windowStart = settings.now();
    const std::chrono::nanoseconds runTime = settings.runTime;
    for (std::chrono::nanoseconds at = kLevelSamplePeriod;; at += kLevelSamplePeriod) {
        const auto due = std::min(at, runTime);
        const auto ahead = [&] { return windowStart + due - settings.now(); };
        if (ahead().count() > 0) {
            settings.wait(std::chrono::ceil<std::chrono::microseconds>(ahead()));
        }
        // The run lasts its whole time: a sleep may end early, or round a short one down
        // to nothing (Windows' timer counts milliseconds), so the last is topped up.
        for (int again = 0; due == runTime && again < 10 && ahead().count() > 0; ++again) {
            settings.wait(std::chrono::milliseconds(1));
        }
        const bool readCounters = ++samples % kLevelSamplesPerCounterRead == 0;
        for (CardCount &c : counts) {
            c.watch.sample(Levels(c.base), true);
            if (readCounters) {
                c.tally.read();
            }
        }
        if (settings.interrupted && settings.interrupted()) {
            for (CardCount &c : counts) {
                StopAll(c.base); // a run cut short is not judged
            }
            return;
        }
        if (due == runTime) {
            break;
        }
    }
    for (CardCount &c : counts) {
        c.beforeStop = settings.now();
        StopAll(c.base);
        c.afterStop = settings.now();
    }
    for (CardCount &c : counts) {
        c.tally.read();
        c.watch.sample(Levels(c.base), false);
        JudgeCount(c, settings, samples);
    }
}

namespace {

void JudgeCount(CardCount &card, const CheckSettings &settings, long long samples) {
    const LevelWatch &watch = card.watch;
    const CountTally &tally = card.tally;
    StepResult &step = card.step;
    const auto &counted = tally.counted;
    const uint32_t counting = CounterMask([&counted](unsigned n) { return counted[n] != 0; });
    using Seconds = std::chrono::duration<double>;
    const MeasuredRates rates = MeasureRates(
        counted,
        Seconds(card.beforeStop + card.afterStop - card.beforeStart - card.afterStart).count() / 2,
        Seconds(card.afterStart - card.beforeStart + card.afterStop - card.beforeStop).count() / 2);
    const uint32_t signal = counting | watch.rose;
    const uint32_t deaf = watch.rose & ~counting;                         // it rose, no count
    const uint32_t frozen = counting & ~(watch.seenHigh & watch.seenLow); // counts, never moves

    step.figures = {{figure::kRunMs, int64_t{settings.runTime.count()}},
                    {figure::kRunSeconds, rates.seconds},
                    {figure::kLevelSamples, int64_t{samples}},
                    {figure::kCounts, std::vector<int64_t>(counted.begin(), counted.end())},
                    {figure::kRatesHz, rates.hertz},
                    {figure::kRateUncertaintyHz, rates.uncertainty},
                    {figure::kInputsWithSignal, CounterNumbers(signal)},
                    {figure::kLongestReadGapSeconds, Seconds(tally.longestGap).count()}};
    // What the counters did while the check was held up (a stopped process, a suspended
    // machine) is unknown: the step says so instead of judging a rate.
    if (tally.lost()) {
        Unjudged(step,
                 "rates measured over a run whose counters were read at least every " +
                     Decimal(static_cast<unsigned>(0x1p32 / kFastestCountHz)) + " s",
                 "the counters went unread for " + NumberText(Seconds(tally.longestGap).count()) +
                     " s, time enough for one to wrap: the rates cannot be judged");
        return;
    }
    const RateExpectation &expected = settings.expected;
    const bool rateCheck = !expected.hertz.empty();
    const std::string tolerance = NumberText(expected.tolerancePct) + " %";
    std::string faults;
    const auto fault = [&faults](const std::string &text) {
        faults += (faults.empty() ? "" : "; ") + text;
    };
    if (rateCheck) {
        step.figures.emplace_back(figure::kExpectedHz, expected.hertz);
        step.figures.emplace_back(figure::kTolerancePct, expected.tolerancePct);
        if (const std::string unsure = UnjudgedRates(rates, expected); !unsure.empty()) {
            Unjudged(step, "rates known to within " + tolerance,
                     "the run's length is known too loosely to judge the rates: " + unsure);
            return;
        }
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
    Judge(step, faults.empty(),
          rateCheck ? "every rate within " + tolerance + " of the one expected; " + levels : levels,
          !faults.empty() ? faults
          : rateCheck     ? "all " + Decimal(kCounterCount) + " rates within " + tolerance
                          : "signal on " + Decimal(std::popcount(signal)) + " inputs, all counted");
}

} // namespace
