#include "card_check.h"

#include "KRV5316_dwn.h"
#include "KRV5316_regs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;
using Counters = std::array<uint32_t, CounterCount>;

// Level samples come at a period that is no whole multiple of any input's period,
// so that even a 10 kHz input shows both of its levels.
constexpr std::chrono::microseconds SamplePeriod{10037};
// How long stopped counters must hold their values.
constexpr std::chrono::microseconds HoldTime{50000};
constexpr uint32_t AllCounters = (1u << CounterCount) - 1;

std::string Decimal(uint64_t value) {
    return std::to_string(value);
}

std::string CounterList(uint32_t mask) {
    std::string list;
    for (unsigned n = 0; n < CounterCount; ++n) {
        if (mask & (1u << n)) {
            list += (list.empty() ? "CNT" : ", CNT") + Decimal(n);
        }
    }
    return list.empty() ? "none" : list;
}

Counters ReadAllCounters(uintptr_t base) {
    Counters values{};
    for (unsigned n = 0; n < CounterCount; ++n) {
        values[n] = ReadCounter(base, n);
    }
    return values;
}

uint32_t NonZero(const Counters &values) {
    uint32_t mask = 0;
    for (unsigned n = 0; n < CounterCount; ++n) {
        mask |= values[n] != 0 ? 1u << n : 0;
    }
    return mask;
}

uint32_t Levels(uintptr_t base) {
    return MaskBits(ReadInputLevels(base));
}

void StopAll(uintptr_t base) {
    WriteStartStop(base, 0x00, 0x00, 0x00);
}
void ClearAll(uintptr_t base) {
    WriteClearMask(base, 0xFF, 0xFF, 0xFF);
}

void Judge(StepResult &step, bool ok, std::string expected, std::string seen) {
    step.outcome = ok ? Outcome::Pass : Outcome::Fail;
    step.expected = std::move(expected);
    step.seen = std::move(seen);
}

// Counters expected at zero: names those that are not.
void JudgeZero(StepResult &step, const Counters &values) {
    const uint32_t wrong = NonZero(values);
    std::string seen = "all " + Decimal(CounterCount) + " read 0";
    if (wrong != 0) {
        seen.clear();
        for (unsigned n = 0; n < CounterCount; ++n) {
            if (wrong & (1u << n)) {
                seen += (seen.empty() ? "" : ", ") + std::string("CNT") + Decimal(n) + " = " +
                        Decimal(values[n]);
            }
        }
    }
    Judge(step, wrong == 0, "all " + Decimal(CounterCount) + " counters read 0", seen);
}

struct Context {
    TPoleKaret &table;
    unsigned index;
    const CheckSettings &settings;
    CardResult &result;
    uintptr_t base = 0;
    bool opened = false;
    bool loaded = false;
};

void OpenStep(Context &c, StepResult &step) {
    c.opened = OpenCard(static_cast<uint16_t>(c.index), c.table);
    if (c.opened) {
        c.base = c.table.Cards[c.index].BaseAdr;
    }
    Judge(step, c.opened, "card opens and gives its register window",
          c.opened ? "opened" : c.table.Status);
}

void DownloadStep(Context &c, StepResult &step) {
    const auto begin = Clock::now();
    c.loaded = LoadFirmware(c.base);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", seconds);
    step.figures = {{"bytes", Decimal(FirmwareImage.size())}, {"seconds", time}};
    Judge(step, c.loaded, "card reports a complete configuration",
          c.loaded ? std::string("configured in ") + time + " s"
                   : "configuration not complete after " + std::string(time) + " s");
}

void VersionStep(Context &c, StepResult &step) {
    const uint8_t v = ReadVersion(c.base);
    c.result.firmwareVersion = VersionText(v);
    step.figures = {{"version_byte", Decimal(v)}};
    Judge(step, v == Krv5316FirmwareVersion, VersionText(Krv5316FirmwareVersion),
          c.result.firmwareVersion);
}

void ClearStep(Context &c, StepResult &step) {
    StopAll(c.base);
    ClearAll(c.base);
    JudgeZero(step, ReadAllCounters(c.base));
}

// What the level samples of one counting run show.
struct LevelWatch {
    uint32_t seenHigh = 0;
    uint32_t seenLow = 0;
    uint32_t lowInRun = 0; // seen low since the counters started
    uint32_t rose = 0;     // low, then high, both while counting: an edge was counted

    void sample(uint32_t levels, bool counting) {
        seenHigh |= levels;
        seenLow |= ~levels & AllCounters;
        if (counting) {
            rose |= lowInRun & levels;
            lowInRun |= ~levels & AllCounters;
        }
    }
};

void CountStep(Context &c, StepResult &step) {
    // Counts are measured against the values before the start, so that a counter
    // stuck at some value is not taken for one that counts. A counter that does
    // not count is blamed only when a rising edge was seen while it ran; a counter
    // that counts must show both levels, with samples just outside the run so
    // that a slow input's one edge lies between a low and a high sample.
    LevelWatch watch;
    watch.sample(Levels(c.base), false);
    const Counters before = ReadAllCounters(c.base);
    WriteStartStop(c.base, 0xFF, 0xFF, 0xFF);
    watch.sample(Levels(c.base), true);
    const auto samples = std::max<long long>(1, c.settings.runTime / SamplePeriod);
    for (long long i = 0; i < samples; ++i) {
        c.settings.wait(SamplePeriod);
        watch.sample(Levels(c.base), true);
    }
    const Counters counts = ReadAllCounters(c.base);
    watch.sample(Levels(c.base), false);

    uint32_t counted = 0;
    for (unsigned n = 0; n < CounterCount; ++n) {
        counted |= counts[n] != before[n] ? 1u << n : 0;
    }
    const uint32_t signal = counted | watch.rose;
    const uint32_t deaf = watch.rose & ~counted;                         // it rose, no count
    const uint32_t frozen = counted & ~(watch.seenHigh & watch.seenLow); // counts, never moves

    std::string counts_text;
    for (unsigned n = 0; n < CounterCount; ++n) {
        counts_text += (n ? " " : "") + Decimal(counts[n]);
    }
    step.figures = {{"run_ms", Decimal(c.settings.runTime.count())},
                    {"level_samples", Decimal(samples + 3)},
                    {"counts", counts_text},
                    {"inputs_with_signal", CounterList(signal)}};
    std::string seen;
    if (signal == 0) {
        seen = "no input carries a signal";
    } else if (deaf != 0) {
        seen = "input changes but counter does not count: " + CounterList(deaf);
    } else if (frozen != 0) {
        seen = "counter counts but its input level never changes: " + CounterList(frozen);
    } else {
        seen = "signal on " + Decimal(std::popcount(signal)) + " inputs, all counted";
    }
    Judge(step, signal != 0 && deaf == 0 && frozen == 0,
          "every input with a signal counts and shows both levels", seen);
}

void StopStep(Context &c, StepResult &step) {
    StopAll(c.base);
    const Counters first = ReadAllCounters(c.base);
    c.settings.wait(HoldTime);
    const Counters second = ReadAllCounters(c.base);
    uint32_t moved = 0;
    for (unsigned n = 0; n < CounterCount; ++n) {
        moved |= first[n] != second[n] ? 1u << n : 0;
    }
    Judge(step, moved == 0, "values hold across two reads",
          moved == 0 ? "all " + Decimal(CounterCount) + " held"
                     : "still counting: " + CounterList(moved));
}

void ZeroStep(Context &c, StepResult &step) {
    ClearAll(c.base);
    JudgeZero(step, ReadAllCounters(c.base));
}

// Walking one, then walking zero.
std::array<uint8_t, 16> OutputPatterns() {
    std::array<uint8_t, 16> patterns{};
    for (unsigned bit = 0; bit < 8; ++bit) {
        patterns[bit] = static_cast<uint8_t>(1u << bit);
        patterns[8 + bit] = static_cast<uint8_t>(~(1u << bit));
    }
    return patterns;
}

std::string DinFaults(uint8_t readHigh, uint8_t readLow, uint8_t mismatched) {
    std::string text;
    for (unsigned line = 0; line < 8; ++line) {
        const uint8_t bit = static_cast<uint8_t>(1u << line);
        if (!(mismatched & bit)) {
            continue;
        }
        const char *what = !(readHigh & bit)  ? "stuck at 0"
                           : !(readLow & bit) ? "stuck at 1"
                                              : "does not follow DOUT";
        text += (text.empty() ? "DIN." : ", DIN.") + Decimal(line) + " " + what;
    }
    return text;
}

void OutputsStep(Context &c, StepResult &step) {
    uint8_t readHigh = 0;   // DIN lines ever read as 1
    uint8_t readLow = 0;    // DIN lines ever read as 0
    uint8_t mismatched = 0; // DIN lines that once differed from DOUT
    const auto patterns = OutputPatterns();
    for (uint8_t pattern : patterns) {
        WriteDout(c.base, pattern);
        WriteXdout(c.base, pattern);
        if (c.settings.loopback) {
            const uint8_t din = ReadDin(c.base);
            readHigh |= din;
            readLow |= static_cast<uint8_t>(~din);
            mismatched |= static_cast<uint8_t>(din ^ pattern);
        }
    }
    WriteDout(c.base, 0);
    WriteXdout(c.base, 0);
    step.figures = {{"patterns_per_port", Decimal(patterns.size())},
                    {"loopback", c.settings.loopback ? "yes" : "no"}};
    if (!c.settings.loopback) {
        Judge(step, true, "walking one and walking zero written to DOUT and X-DOUT",
              "32 writes; DIN not compared (no loopback plug)");
        return;
    }
    Judge(step, mismatched == 0, "DIN follows DOUT for all 16 patterns",
          mismatched == 0 ? "DIN followed all 16" : DinFaults(readHigh, readLow, mismatched));
}

void CloseStep(Context &c, StepResult &step) {
    const bool closed = CloseCard(static_cast<uint16_t>(c.index), c.table);
    Judge(step, closed, "the library closes the card", closed ? "closed" : "close failed");
}

struct StepDef {
    const char *name;
    void (*run)(Context &, StepResult &);
    bool needsFirmware; // runs only on a card that took its firmware
};

constexpr std::array<StepDef, StepCount> Steps{{
    {"open", OpenStep, false},
    {"download", DownloadStep, false},
    {"version", VersionStep, true},
    {"clear", ClearStep, true},
    {"count", CountStep, true},
    {"stop", StopStep, true},
    {"zero", ZeroStep, true},
    {"outputs", OutputsStep, true},
    {"close", CloseStep, false},
}};

} // namespace

const char *OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Pass:
        return "pass";
    case Outcome::Fail:
        return "fail";
    case Outcome::Skipped:
        break;
    }
    return "skipped";
}

std::string CardResult::position() const {
    return CardPosition(bus, slot);
}

bool CardResult::passed() const {
    return firstFailure() == nullptr && !steps.empty();
}

const StepResult *CardResult::firstFailure() const {
    for (const StepResult &step : steps) {
        if (step.outcome == Outcome::Fail) {
            return &step;
        }
    }
    return nullptr;
}

CardResult CheckCard(TPoleKaret &table, unsigned index, const CheckSettings &settings) {
    CardResult result;
    result.index = index;
    result.bus = table.Cards[index].BUS;
    result.slot = table.Cards[index].SLOT;
    Context context{table, index, settings, result};
    for (const StepDef &def : Steps) {
        StepResult &step = result.steps.emplace_back();
        step.name = def.name;
        // Without an open card nothing else can run; without firmware the card's
        // registers mean nothing, but the card is still closed again.
        const bool runnable =
            def.run == OpenStep || (context.opened && (!def.needsFirmware || context.loaded));
        if (!runnable) {
            continue;
        }
        if (settings.progress) {
            settings.progress(result, def.name);
        }
        const auto begin = Clock::now();
        def.run(context, step);
        step.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    }
    return result;
}
