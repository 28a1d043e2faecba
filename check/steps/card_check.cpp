#include "card_check.h"

#include "KRV5316_dwn.h"
#include "KRV5316_regs.h"
#include "count_step.h"
#include "step_tools.h"

#include <array>
#include <cstdio>

namespace {

using namespace cardstep;
using Clock = std::chrono::steady_clock;

// How long stopped counters must hold their values.
constexpr std::chrono::microseconds kHoldTime{50000};

// Counters expected at zero: names those that are not.
void JudgeZero(StepResult &step, const Counters &values) {
    const uint32_t wrong = NonZero(values);
    std::string seen = "all " + Decimal(kCounterCount) + " read 0";
    if (wrong != 0) {
        seen.clear();
        for (unsigned n = 0; n < kCounterCount; ++n) {
            if (wrong & (1u << n)) {
                seen += (seen.empty() ? "" : ", ") + std::string("CNT") + Decimal(n) + " = " +
                        Decimal(values[n]);
            }
        }
    }
    Judge(step, wrong == 0, "all " + Decimal(kCounterCount) + " counters read 0", seen);
}

struct Context {
    TPoleKaret &table;
    unsigned index;
    const CheckSettings &settings;
    CardResult &result;
    uintptr_t base = 0;
    bool libraryOpen = false; // the library opened the card: it must be closed
    bool opened = false;      // and gave its register window
    bool loaded = false;
};

void OpenStep(Context &c, StepResult &step) {
    // Card access tells which of the library's two calls failed; a card the library
    // opened is closed again even without its register window.
    const std::string expected = "card opens and gives its register window";
    const bool opened = OpenCard(static_cast<uint16_t>(c.index), c.table);
    const LibraryCall failed = c.table.Outcome.call;
    c.libraryOpen = opened || failed == LibraryCall::Bar4BaseAdr;
    if (!opened) {
        Judge(step, false, expected,
              failed == LibraryCall::Bar4BaseAdr
                  ? "the driver library gives no register window address (OX9162_BAR4_BaseAdr "
                    "failed)"
                  : "the driver library cannot open the card (OX9162_Open failed)");
        return;
    }
    c.base = c.table.Cards[c.index].BaseAdr;
    c.opened = true;
    Judge(step, true, expected, "opened");
}

void DownloadStep(Context &c, StepResult &step) {
    const auto begin = Clock::now();
    c.loaded = LoadFirmware(c.base);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", seconds);
    step.figures = {{FigureName::Bytes, static_cast<int64_t>(FirmwareImage.size())},
                    {FigureName::Seconds, seconds}};
    Judge(step, c.loaded, "card reports a complete configuration",
          c.loaded ? std::string("configured in ") + time + " s"
                   : "configuration not complete after " + std::string(time) + " s");
}

void VersionStep(Context &c, StepResult &step) {
    const uint8_t v = ReadVersion(c.base);
    c.result.firmwareVersion = VersionText(v);
    step.figures = {{FigureName::VersionByte, int64_t{v}}};
    Judge(step, v == kKrv5316FirmwareVersion, VersionText(kKrv5316FirmwareVersion),
          c.result.firmwareVersion);
}

void ClearStep(Context &c, StepResult &step) {
    StopAll(c.base);
    ClearAll(c.base);
    JudgeZero(step, ReadAllCounters(c.base));
}

void CountingStep(Context &c, StepResult &step) {
    CountStep(c.base, c.settings, step);
}

void StopStep(Context &c, StepResult &step) {
    StopAll(c.base);
    const Counters first = ReadAllCounters(c.base);
    c.settings.wait(kHoldTime);
    const Counters second = ReadAllCounters(c.base);
    uint32_t moved = 0;
    for (unsigned n = 0; n < kCounterCount; ++n) {
        moved |= first[n] != second[n] ? 1u << n : 0;
    }
    Judge(step, moved == 0, "values hold across two reads",
          moved == 0 ? "all " + Decimal(kCounterCount) + " held"
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
    step.figures = {{FigureName::PatternsPerPort, static_cast<int64_t>(patterns.size())},
                    {FigureName::Loopback, c.settings.loopback}};
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

// What a step needs of the steps before it. Without an open card nothing else can
// run; without firmware the card's registers mean nothing, but the card is still
// closed again.
enum class Needs {
    Nothing,
    LibraryOpen, // the library opened the card, with or without its window
    Window,      // the card's register window
    Firmware,    // the window of a card that took its firmware
};

bool Met(Needs needs, const Context &c) {
    switch (needs) {
    case Needs::Nothing:
        return true;
    case Needs::LibraryOpen:
        return c.libraryOpen;
    case Needs::Window:
        return c.opened;
    case Needs::Firmware:
        break;
    }
    return c.opened && c.loaded;
}

struct StepDef {
    const char *name;
    void (*run)(Context &, StepResult &);
    Needs needs;
};

constexpr std::array<StepDef, kStepCount> kSteps{{
    {"open", OpenStep, Needs::Nothing},
    {"download", DownloadStep, Needs::Window},
    {"version", VersionStep, Needs::Firmware},
    {"clear", ClearStep, Needs::Firmware},
    {"count", CountingStep, Needs::Firmware},
    {"stop", StopStep, Needs::Firmware},
    {"zero", ZeroStep, Needs::Firmware},
    {"outputs", OutputsStep, Needs::Firmware},
    {"close", CloseStep, Needs::LibraryOpen},
}};

} // namespace

CardResult CheckCard(TPoleKaret &table, unsigned index, const CheckSettings &settings) {
    CardResult result;
    result.index = index;
    result.number = table.Cards[index].CardNo;
    result.bus = table.Cards[index].BUS;
    result.slot = table.Cards[index].SLOT;
    Context context{table, index, settings, result};
    for (const StepDef &def : kSteps) {
        StepResult &step = result.steps.emplace_back();
        step.name = def.name;
        // Once asked to stop, only the close still runs.
        const bool stopping = settings.interrupted && settings.interrupted();
        if (stopping && result.interruptedAt.empty() && def.needs != Needs::LibraryOpen) {
            result.interruptedAt = def.name;
            step.outcome = Outcome::Interrupted;
        }
        if (!Met(def.needs, context) || (stopping && def.needs != Needs::LibraryOpen)) {
            continue;
        }
        if (settings.progress) {
            settings.progress(result, def.name);
        }
        const auto begin = Clock::now();
        def.run(context, step);
        step.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        // A step cut short says nothing of the card.
        if (step.outcome == Outcome::Skipped && result.interruptedAt.empty()) {
            result.interruptedAt = def.name;
            step.outcome = Outcome::Interrupted;
        }
    }
    return result;
}
