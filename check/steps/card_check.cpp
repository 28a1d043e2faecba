#include "card_check.h"

#include "KRV5316_dwn.h"
#include "KRV5316_regs.h"
#include "count_step.h"
#include "step_tools.h"

#include <array>

namespace {

using namespace cardstep;
using Clock = std::chrono::steady_clock;

// How long stopped counters must hold their values.
constexpr std::chrono::microseconds kHoldTime{50000};

// What a step needs of the steps before it, in the order they give it. Without an open
// card nothing else can run; without firmware the card's registers mean nothing, but
// the card is still closed again.
enum class Needs {
    Nothing,
    LibraryOpen, // the library opened the card, with or without its window
    Window,      // the card's register window
    Firmware,    // the window of a card that took its firmware
};

struct Context {
    TPoleKaret &table;
    unsigned index;
    const CheckSettings &settings;
    CardResult &result;
    uintptr_t base = 0;
    Needs reached = Needs::Nothing; // what the steps so far have given
};

void OpenStep(Context &c, StepResult &step) {
    // Card access tells which of the library's two calls failed; a card the library
    // opened is closed again even without its register window.
    const bool opened = OpenCard(static_cast<uint16_t>(c.index), c.table);
    const bool noWindow = !opened && c.table.Outcome.call == LibraryCall::Bar4BaseAdr;
    c.reached = opened ? Needs::Window : noWindow ? Needs::LibraryOpen : Needs::Nothing;
    c.base = opened ? c.table.Cards[c.index].BaseAdr : 0;
    Judge(step, opened, "card opens and gives its register window",
          opened ? "opened"
          : noWindow
              ? "the driver library gives no register window address (OX9162_BAR4_BaseAdr failed)"
              : "the driver library cannot open the card (OX9162_Open failed)");
}

void DownloadStep(Context &c, StepResult &step) {
    const auto begin = Clock::now();
    const bool loaded = LoadFirmware(c.base);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    c.reached = loaded ? Needs::Firmware : Needs::Window;
    step.figures = {{figure::kBytes, static_cast<int64_t>(FirmwareImage.size())},
                    {figure::kSeconds, seconds}};
    Judge(step, loaded, "card reports a complete configuration",
          (loaded ? "configured in " : "configuration not complete after ") + Fixed(seconds, 3) +
              " s");
}

void VersionStep(Context &c, StepResult &step) {
    const uint8_t v = ReadVersion(c.base);
    c.result.firmwareVersion = VersionText(v);
    step.figures = {{figure::kVersionByte, int64_t{v}}};
    Judge(step, v == kKrv5316FirmwareVersion, VersionText(kKrv5316FirmwareVersion),
          c.result.firmwareVersion);
}

// Counters expected at zero: names those that are not.
void ZeroStep(Context &c, StepResult &step) {
    ClearAll(c.base);
    const Counters values = ReadAllCounters(c.base);
    const uint32_t wrong = CounterMask([&values](unsigned n) { return values[n] != 0; });
    Judge(step, wrong == 0, "all " + Decimal(kCounterCount) + " counters read 0",
          wrong == 0 ? "all " + Decimal(kCounterCount) + " read 0"
                     : ListOf(wrong, [&values](unsigned n) {
                           return "CNT" + Decimal(n) + " = " + Decimal(values[n]);
                       }));
}

void ClearStep(Context &c, StepResult &step) {
    StopAll(c.base);
    ZeroStep(c, step);
}

void CountingStep(Context &c, StepResult &step) {
    CountStep(c.base, c.settings, step);
}

void StopStep(Context &c, StepResult &step) {
    StopAll(c.base);
    const Counters first = ReadAllCounters(c.base);
    c.settings.wait(kHoldTime);
    const Counters second = ReadAllCounters(c.base);
    const uint32_t moved = CounterMask([&](unsigned n) { return first[n] != second[n]; });
    Judge(step, moved == 0, "values hold across two reads",
          moved == 0 ? "all " + Decimal(kCounterCount) + " held"
                     : "still counting: " + CounterList(moved));
}

std::string DinFaults(uint8_t readHigh, uint8_t readLow, uint8_t mismatched) {
    return ListOf(mismatched, [&](unsigned line) {
        const unsigned bit = 1u << line;
        return "DIN." + Decimal(line) +
               (!(readHigh & bit)  ? " stuck at 0"
                : !(readLow & bit) ? " stuck at 1"
                                   : " does not follow DOUT");
    });
}

void OutputsStep(Context &c, StepResult &step) {
    constexpr unsigned kPatterns = 16; // walking one, then walking zero
    uint8_t readHigh = 0;              // DIN lines ever read as 1
    uint8_t readLow = 0;               // DIN lines ever read as 0
    uint8_t mismatched = 0;            // DIN lines that once differed from DOUT
    for (unsigned k = 0; k < kPatterns; ++k) {
        const auto pattern = static_cast<uint8_t>(k < 8 ? 1u << k : ~(1u << (k - 8)));
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
    step.figures = {{figure::kPatternsPerPort, int64_t{kPatterns}},
                    {figure::kLoopback, c.settings.loopback}};
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
    const TKarta &card = table.Cards[index];
    CardResult result;
    result.index = index;
    result.number = card.CardNo;
    result.bus = card.BUS;
    result.slot = card.SLOT;
    Context context{table, index, settings, result};
    for (const StepDef &def : kSteps) {
        StepResult &step = result.steps.emplace_back();
        step.name = def.name;
        // Once asked to stop, only the close still runs.
        const bool stopped =
            settings.interrupted && settings.interrupted() && def.needs != Needs::LibraryOpen;
        const bool runs = !stopped && def.needs <= context.reached;
        if (runs) {
            if (settings.progress) {
                settings.progress(result, def.name);
            }
            const auto begin = Clock::now();
            def.run(context, step);
            step.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        }
        // The step the check stopped before, or that it cut short, says nothing of the card.
        if ((stopped || (runs && step.outcome == Outcome::Skipped)) &&
            result.interruptedAt.empty()) {
            result.interruptedAt = def.name;
            step.outcome = Outcome::Interrupted;
        }
    }
    return result;
}
