// krv5316-check: checks KRV-5316 cards without an operator and reports a verdict.
#include "card_check.h"
#include "check_main.h"
#include "check_options.h"
#include "check_report.h"
#include "check_run.h"
#include "console.h"
#include "rate_check.h"
#include "report_file.h"
#include "signals.h"
#include "utf8_text.h"

#include "KRV5316_regs.h"
#include "escaped_text.h"
#include "ox_version.h"

#include <ctime>
#include <string>
#include <vector>

namespace {

enum Exit { AllPassed = 0, CardFailed = 1, NothingChecked = 2 };

// Why enumeration failed, in the check's words, from what card access found.
void ExplainEnumeration(const CardAccessOutcome &outcome, CheckRun &run) {
    if (outcome.kind == CardAccessOutcome::NoCards) {
        run.errorKind = "no_card";
        run.error = "the driver library reports no card of the maker";
        return;
    }
    run.errorKind = "library";
    run.error = "the driver library failed to list the cards";
    run.error += outcome.detail.empty() ? std::string(" (") + LibraryCallName(outcome.call) + ")"
                                        : ": " + SystemTextToUtf8(outcome.detail);
}

// "the ID, bus or slot of 1 card ... could not be read: library card 0 (OX9162_Card_DID
// returned 1)"; empty when every card could be read.
std::string UnreadableText(const std::vector<UnreadableCard> &cards) {
    std::string list;
    for (const UnreadableCard &card : cards) {
        list += (list.empty() ? "" : ", ") + std::string("library card ") +
                std::to_string(card.CardNo) + " (" + FailedCallText(card.Failure) + ")";
    }
    return list.empty() ? list
                        : "the ID, bus or slot of " + std::to_string(cards.size()) +
                              " card(s) the driver library reported could not be read: " + list;
}

// The entries of table.Cards that the options ask for; the reason in run when none, or
// when some cards the library reported could not be read.
std::vector<unsigned> SelectCards(const TPoleKaret &table, CheckRun &run) {
    const CheckOptions &options = run.options;
    std::vector<unsigned> selected;
    for (unsigned k = 1; k <= table.CountFound; ++k) {
        const TKarta &card = table.Cards[k];
        const bool wanted = options.cardIndex      ? *options.cardIndex == k
                            : options.cardPosition ? card.BUS == options.cardPosition->bus &&
                                                         card.SLOT == options.cardPosition->slot
                                                   : true;
        if (wanted) {
            selected.push_back(k);
        }
    }
    // A card beyond the table's last entry was never looked at, and one whose ID, bus or
    // slot could not be read was never known: neither is absent.
    const std::string unseen =
        table.CountAll > MaxCards
            ? "the driver library reported " + std::to_string(table.CountAll) +
                  " cards and only the first " + std::to_string(MaxCards) + " could be looked at"
            : "";
    const std::string unread = UnreadableText(table.Unreadable);
    const std::string unknown = unread + (unread.empty() || unseen.empty() ? "" : "; ") + unseen;
    if (table.CountFound == 0) {
        run.errorKind = unread.empty() ? "no_card" : "unreadable";
        run.error = unknown.empty() ? "no KRV-5316 card found (" + std::to_string(table.CountAll) +
                                          " other card(s) of the maker)"
                                    : "no KRV-5316 card among those looked at: " + unknown;
    } else if (selected.empty()) {
        run.errorKind = "selection";
        run.error = options.cardIndex
                        ? "no card " + std::to_string(*options.cardIndex) + ": " +
                              std::to_string(table.CountFound) + " KRV-5316 card(s) found"
                        : "no KRV-5316 card at position " +
                              CardPosition(options.cardPosition->bus, options.cardPosition->slot);
        run.error += unknown.empty() ? "" : " (" + unknown + ")";
    } else {
        // Whether an unreadable card is one asked for, or a KRV-5316 at all, is unknown:
        // the run cannot pass.
        run.errorKind = unread.empty() ? "" : "unreadable";
        run.error = unread;
        run.warning = unseen;
    }
    return selected;
}

void CheckSelectedCards(CheckRun &run) {
    TPoleKaret table;
    if (!FindCards(kKrv5316DeviceId, table)) {
        ExplainEnumeration(table.Outcome, run);
        return;
    }
    run.unreadable = table.Unreadable;
    const std::vector<unsigned> selected = SelectCards(table, run);
    const Terminal terminal = StandardErrorTerminal();
    std::size_t shown = 0; // the progress line's length, for a terminal without escapes
    const auto show = [&](const std::string &line) {
        WriteStandardError(terminal == Terminal::Escapes
                               ? "\r\033[K" + line
                               : "\r" + std::string(shown, ' ') + "\r" + line);
        shown = line.size();
    };
    CheckSettings settings;
    settings.runTime = run.options.runTime;
    settings.loopback = run.options.loopback;
    settings.expected = run.options.expected;
    settings.wait = SleepFor;
    settings.now = SteadyNow;
    settings.interrupted = [] { return InterruptingSignal() != 0; };
    if (terminal != Terminal::None) {
        settings.progress = [&](const CardResult &card, const std::string &step) {
            show("card " + std::to_string(card.index) + " at " + card.position() + ": " + step +
                 "...");
        };
    }
    for (unsigned k : selected) {
        if (InterruptingSignal() != 0) {
            break;
        }
        const std::string started = UtcTimestamp(std::time(nullptr));
        run.cards.push_back(CheckCard(table, k, settings));
        run.cards.back().started = started;
    }
    if (terminal != Terminal::None) {
        show("");
    }
}

// Standard output must take the text whole; a lost report is a failed check.
bool Print(const std::string &text) {
    const std::string failure = WriteStandardOutput(text);
    if (!failure.empty()) {
        WriteStandardError("krv5316-check: cannot write to standard output: " + failure + "\n");
    }
    return failure.empty();
}

bool WriteReport(const std::string &path, const std::string &text) {
    if (path.empty()) {
        return true;
    }
    std::string remark;
    const std::string failure = WriteReportFile(path, text, remark);
    if (!failure.empty()) {
        WriteStandardError("krv5316-check: cannot write " + path + ": " + failure + "\n");
    } else if (!remark.empty()) {
        WriteStandardError("krv5316-check: " + path + ": " + remark + "\n");
    }
    return failure.empty();
}

} // namespace

int Check(const std::vector<std::string> &arguments) {
    // Output that goes away is a failure to report, not a way to die before the reports.
    TurnWriteSignalsIntoErrors();
    const ParsedOptions parsed = ParseCheckOptions(arguments);
    if (!parsed.options) {
        WriteStandardError("krv5316-check: " + parsed.error + "\nTry 'krv5316-check --help'.\n");
        return NothingChecked;
    }
    if (parsed.options->help || parsed.options->version) {
        const std::string text = parsed.options->help
                                     ? std::string(kCheckUsage)
                                     : std::string("krv5316-check ") + OxVersion + "\n";
        return Print(text) ? AllPassed : NothingChecked;
    }
    // Known before the run, not after it: two reports cannot share a file.
    const CheckOptions &options = *parsed.options;
    if (!options.jsonFile.empty() && !options.junitFile.empty() &&
        SameFile(options.jsonFile, options.junitFile)) {
        WriteStandardError(
            oxtext::ControlsEscaped("krv5316-check: --json and --junit name the same file '" +
                                    options.jsonFile + "'") +
            "\nTry 'krv5316-check --help'.\n");
        return NothingChecked;
    }

    CheckRun run;
    run.version = OxVersion;
    run.host = HostName();
    run.started = UtcTimestamp(std::time(nullptr));
    run.options = *parsed.options;
    CatchInterruptions();
    // A run that cannot be judged is refused before any card is touched.
    run.error = RunTimeRefusal(run.options.runTime, run.options.expected);
    if (!run.error.empty()) {
        run.errorKind = "run_time";
    } else {
        CheckSelectedCards(run);
    }
    // Cards that were opened have been closed again; the reports say how far it got.
    const int signal = InterruptingSignal();
    if (signal != 0) {
        run.errorKind = "interrupted";
        run.error = "interrupted by " + InterruptingSignalName(signal);
    }

    bool delivered = true;
    if (!run.error.empty()) {
        WriteStandardError("krv5316-check: " + run.error + "\n");
    }
    if (!run.warning.empty()) {
        WriteStandardError("krv5316-check: warning: " + run.warning + "\n");
    }
    if (run.error.empty() || !run.cards.empty() || !run.unreadable.empty()) {
        delivered &= Print(TextReport(run));
    }
    delivered &= WriteReport(run.options.jsonFile, JsonReport(run));
    delivered &= WriteReport(run.options.junitFile, JUnitReport(run));
    if (signal != 0) {
        return 128 + signal; // as a shell gives for a program its signal ended
    }
    if (!run.error.empty() || !delivered) {
        return NothingChecked;
    }
    return run.failedCount() > 0 ? CardFailed : AllPassed;
}
