#include "card_check.h"

#include "KRV5316_dwn.h"
#include "KRV5316_regs.h"
#include "burn_in.h"
#include "count_step.h"
#include "step_tools.h"

#include <algorithm>
#include <array>
#include <ctime>

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
    Needs reached = Needs::Nothing;  // what the steps so far have given
    std::vector<StepResult> cycle{}; // the cycle in hand's results
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

// Every card's counters stopped, then read twice across one hold time.
void StopTogether(const std::vector<CountedCard> &cards, const CheckSettings &settings) {
    std::vector<Counters> first;
    for (const CountedCard &card : cards) {
        StopAll(card.base);
        first.push_back(ReadAllCounters(card.base));
    }
    settings.wait(kHoldTime);
    for (std::size_t k = 0; k < cards.size(); ++k) {
        const Counters second = ReadAllCounters(cards[k].base);
        const uint32_t moved = CounterMask([&](unsigned n) { return first[k][n] != second[n]; });
        Judge(*cards[k].step, moved == 0, "values hold across two reads",
              moved == 0 ? "all " + Decimal(kCounterCount) + " held"
                         : "still counting: " + CounterList(moved));
    }
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

// Open and download run once per card, card by card; the cycle between them and the
// close runs once, or again and again in a burn-in; close runs once at the end.
enum class Phase { Setup, Cycle, Finish };

struct StepDef {
    const char *name;
    void (*run)(Context &, StepResult &); // card by card, or else
    void (*together)(const std::vector<CountedCard> &, const CheckSettings &); // all at once
    Needs needs;
    Phase phase;
};

constexpr std::array<StepDef, kStepCount> kSteps{{
    {"open", OpenStep, nullptr, Needs::Nothing, Phase::Setup},
    {"download", DownloadStep, nullptr, Needs::Window, Phase::Setup},
    {"version", VersionStep, nullptr, Needs::Firmware, Phase::Cycle},
    {"clear", ClearStep, nullptr, Needs::Firmware, Phase::Cycle},
    {"count", nullptr, CountStep, Needs::Firmware, Phase::Cycle},
    {"stop", nullptr, StopTogether, Needs::Firmware, Phase::Cycle},
    {"zero", ZeroStep, nullptr, Needs::Firmware, Phase::Cycle},
    {"outputs", OutputsStep, nullptr, Needs::Firmware, Phase::Cycle},
    {"close", CloseStep, nullptr, Needs::LibraryOpen, Phase::Finish},
}};

// The cards' steps side by side, in this one thread: the library is not promised to be
// safe from two.
class SideBySide {
  public:
    SideBySide(TPoleKaret &table, const std::vector<unsigned> &indices,
               const CheckSettings &settings)
        : settings_(settings), results_(indices.size()) {
        contexts_.reserve(indices.size());
        for (std::size_t k = 0; k < indices.size(); ++k) {
            const TKarta &card = table.Cards[indices[k]];
            CardResult &result = results_[k];
            result.index = indices[k];
            result.number = card.CardNo;
            result.bus = card.BUS;
            result.slot = card.SLOT;
            if (settings.burnIn) {
                result.burnIn.emplace();
            }
            for (const StepDef &def : kSteps) {
                result.steps.emplace_back().name = def.name;
            }
            contexts_.push_back({table, indices[k], settings, result});
        }
    }

    std::vector<CardResult> run() {
        start_ = settings_.now();
        for (Context &c : contexts_) {
            c.result.started = UtcTimestamp(std::time(nullptr));
            runPhase(Phase::Setup, c);
        }
        for (unsigned cycle = 1; runsCycle(cycle); ++cycle) {
            cycle_ = cycle;
            cycleStart_ = settings_.now();
            runCycle();
        }
        for (Context &c : contexts_) {
            runPhase(Phase::Finish, c);
        }
        return std::move(results_);
    }

  private:
    bool stopping() const { return settings_.interrupted && settings_.interrupted(); }

    // Whether the cycle numbered so runs: the first always does, on the cards it can; the
    // next while burn-in's limits allow and a card runs it.
    bool runsCycle(unsigned cycle) const {
        if (cycle == 1) {
            return true;
        }
        const bool anyCard = std::any_of(contexts_.begin(), contexts_.end(), [](const Context &c) {
            return c.reached == Needs::Firmware;
        });
        return anyCard && !stopping() && !(settings_.stopOnFailure && failedCycles_ > 0) &&
               (settings_.cycles == 0 || cycle <= settings_.cycles) &&
               (settings_.duration.count() == 0 || settings_.now() - start_ < settings_.duration);
    }

    // Whether the step begins on the card; once asked to stop, only the close still runs.
    bool begins(Context &c, const StepDef &def, StepResult &step) {
        const bool stopped = stopping() && def.needs != Needs::LibraryOpen;
        const bool runs = !stopped && def.needs <= c.reached;
        if (stopped) {
            interrupted(c, def, step);
        }
        return runs;
    }

    // The step the check stopped before, or that it cut short, says nothing of the card.
    static void interrupted(Context &c, const StepDef &def, StepResult &step) {
        if (c.result.interruptedAt.empty()) {
            c.result.interruptedAt = def.name;
            step.outcome = Outcome::Interrupted;
        }
    }

    void runStep(Context &c, const StepDef &def, StepResult &step) {
        if (!begins(c, def, step)) {
            return;
        }
        tell("card " + Decimal(c.index) + " at " + c.result.position() + ": " + def.name);
        const auto begin = Clock::now();
        def.run(c, step);
        ended(c, def, step, begin);
    }

    // A step that ran: its time; one cut short says nothing of the card.
    static void ended(Context &c, const StepDef &def, StepResult &step, Clock::time_point begin) {
        step.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        if (step.outcome == Outcome::Skipped) {
            interrupted(c, def, step);
        }
    }

    void runPhase(Phase phase, Context &c) {
        for (std::size_t s = 0; s < kSteps.size(); ++s) {
            if (kSteps[s].phase == phase) {
                runStep(c, kSteps[s], c.result.steps[s]);
            }
        }
    }

    // Every card that begins the step runs it with the others: the count in one window,
    // the stop across one hold time.
    void runTogether(const StepDef &def, std::size_t slot) {
        std::vector<Context *> taking;
        std::vector<CountedCard> cards;
        std::string names;
        for (Context &c : contexts_) {
            if (begins(c, def, c.cycle[slot])) {
                taking.push_back(&c);
                cards.push_back({c.base, &c.cycle[slot]});
                names += (names.empty() ? "" : ", ") + Decimal(c.index);
            }
        }
        if (cards.empty()) {
            return;
        }
        tell((cards.size() == 1 ? "card " + names + " at " + taking.front()->result.position()
                                : "cards " + names) +
             ": " + def.name);
        const auto begin = Clock::now();
        def.together(cards, settings_);
        for (Context *c : taking) {
            ended(*c, def, c->cycle[slot], begin);
        }
    }

    void runCycle() {
        std::vector<std::size_t> slots; // of the cycle's steps in kSteps
        for (Context &c : contexts_) {
            c.cycle.clear();
        }
        for (std::size_t s = 0; s < kSteps.size(); ++s) {
            if (kSteps[s].phase != Phase::Cycle) {
                continue;
            }
            for (Context &c : contexts_) {
                c.cycle.emplace_back().name = kSteps[s].name;
            }
            const std::size_t slot = slots.size();
            slots.push_back(s);
            if (kSteps[s].together != nullptr) {
                runTogether(kSteps[s], slot);
                continue;
            }
            for (Context &c : contexts_) {
                runStep(c, kSteps[s], c.cycle[slot]);
            }
        }
        const double seconds = std::chrono::duration<double>(settings_.now() - start_).count();
        bool failed = false;
        for (Context &c : contexts_) {
            const bool whole = c.result.interruptedAt.empty();
            // A cycle cut short is kept only as the first: it is all a run that was never
            // repeated has to say.
            if (cycle_ == 1 || whole) {
                if (whole && c.result.burnIn && c.reached == Needs::Firmware) {
                    failed |= RecordCycle(*c.result.burnIn, c.cycle, cycle_, seconds,
                                          UtcTimestamp(std::time(nullptr)));
                }
                MergeCycle(c.result, c.cycle);
            }
        }
        failedCycles_ += failed ? 1 : 0;
    }

    // The progress line: in a burn-in, which cycle, how long is left where that is known,
    // and how many cycles failed so far.
    void tell(const std::string &doing) const {
        if (!settings_.progress) {
            return;
        }
        if (!settings_.burnIn) {
            settings_.progress(doing);
            return;
        }
        using std::chrono::nanoseconds;
        const nanoseconds now = settings_.now();
        const nanoseconds spent = now - start_;
        nanoseconds left = nanoseconds::max();
        if (settings_.cycles != 0 && cycle_ > 1) { // at the pace of the cycles so far
            const nanoseconds each = (cycleStart_ - start_) / (cycle_ - 1);
            left = each * (settings_.cycles - cycle_ + 1) - (now - cycleStart_);
        }
        if (settings_.duration.count() != 0) {
            left = std::min(left, settings_.duration - spent);
        }
        settings_.progress(
            "cycle " + Decimal(cycle_) +
            (settings_.cycles != 0 ? " of " + Decimal(settings_.cycles) : "") + ", " +
            (left != nanoseconds::max()
                 ? Duration(std::chrono::duration_cast<std::chrono::seconds>(left)) + " left, "
                 : "") +
            Decimal(failedCycles_) + " failed: " + doing);
    }

    const CheckSettings &settings_;
    std::vector<CardResult> results_;
    std::vector<Context> contexts_;
    std::chrono::nanoseconds start_{};
    std::chrono::nanoseconds cycleStart_{};
    unsigned cycle_ = 1;
    unsigned failedCycles_ = 0;
};

} // namespace

std::vector<CardResult> CheckCards(TPoleKaret &table, const std::vector<unsigned> &indices,
                                   const CheckSettings &settings) {
    return SideBySide(table, indices, settings).run();
}

CardResult CheckCard(TPoleKaret &table, unsigned index, const CheckSettings &settings) {
    return CheckCards(table, {index}, settings).front();
}
