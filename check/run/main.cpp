// krv5316-check: checks KRV-5316 cards without an operator and reports a verdict.
#include "card_check.h"
#include "check_main.h"
#include "check_options.h"
#include "check_report.h"
#include "check_run.h"
#include "console.h"
#include "number_text.h"
#include "rate_check.h"
#include "report_file.h"
#include "signals.h"
#include "utf8_text.h"

#include "KRV5316_regs.h"
#include "escaped_text.h"
#include "ox_version.h"

#include <chrono>
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
                  " cards and only the first " + std::to_string(MaxCards) +
                  " could be looked at: library card" +
                  (table.CountAll - MaxCards > 1 ? "s " + std::to_string(MaxCards) + " to " : " ") +
                  std::to_string(table.CountAll - 1) + " not checked"
            : "";
    const std::string unread = UnreadableText(table.Unreadable);
    const std::string unknown = unread + (unread.empty() || unseen.empty() ? "" : "; ") + unseen;
    // A place in the list is ambiguous while a card of it cannot be read.
    if (options.cardIndex && !unread.empty()) {
        std::string positions;
        for (unsigned k = 1; k <= table.CountFound; ++k) {
            positions +=
                (k > 1 ? ", " : "") + CardPosition(table.Cards[k].BUS, table.Cards[k].SLOT);
        }
        run.errorKind = "selection";
        run.error = "--card " + std::to_string(*options.cardIndex) +
                    " cannot tell which card is meant while " + unread +
                    "; name the card by its position with --card BUS/SLOT (KRV-5316 cards at " +
                    positions + ")";
        return {};
    }
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
        // Whether a card unread or unseen is one asked for, or a KRV-5316 at all, is
        // unknown: the run cannot pass.
        run.errorKind = !unread.empty() ? "unreadable" : !unseen.empty() ? "unseen" : "";
        run.error = unknown;
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
    const CheckOptions &options = run.options;
    settings.runTime = options.runTime;
    settings.loopback = options.loopback;
    settings.expected = options.expected;
    settings.burnIn = options.repeat || options.duration;
    settings.cycles = options.repeat.value_or(options.duration ? 0 : 1);
    settings.duration = options.duration.value_or(std::chrono::seconds(0));
    settings.stopOnFailure = options.stopOnFailure;
    settings.wait = SleepFor;
    settings.now = SteadyNow;
    settings.interrupted = [] { return InterruptingSignal() != 0; };
    if (terminal != Terminal::None) {
        settings.progress = [&](const std::string &doing) { show(doing + "..."); };
    }
    if (!selected.empty()) {
        run.cards = CheckCards(table, selected, settings);
    }
    if (terminal != Terminal::None) {
        show("");
    }
}

// A message on standard error: outside texts in it (names, a library's words) can
// neither split its line nor reach a terminal raw.
void Say(const std::string &message) {
    WriteStandardError("krv5316-check: " + oxtext::ControlsEscaped(message) + "\n");
}

// Standard output must take the text whole; a lost report is a failed check.
bool Print(const std::string &text) {
    const std::string failure = WriteStandardOutput(text);
    if (!failure.empty()) {
        Say("cannot write to standard output: " + failure);
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
        Say("cannot write " + path + ": " + failure);
    } else if (!remark.empty()) {
        Say(path + ": " + remark);
    }
    return failure.empty();
}

// Each report named, before any card is touched: it must be able to go where it is
// named, and until the run writes it, it says that the run has not finished, so that a
// run ended by SIGKILL or a power cut leaves no earlier verdict. The reason when one
// cannot be written in run, and its name returned.
std::string PrepareReports(CheckRun &run) {
    CheckRun unfinished = run;
    unfinished.errorKind = "unfinished";
    unfinished.error = "the check has not finished: it is running, or was ended before it "
                       "could write its report";
    for (const auto &[path, text] : {std::pair(run.options.jsonFile, JsonReport(unfinished)),
                                     std::pair(run.options.junitFile, JUnitReport(unfinished))}) {
        const std::string failure = path.empty() ? "" : PrepareReportFile(path, text);
        if (!failure.empty() && run.errorKind != "report") {
            run.errorKind = "report";
            run.error = "cannot write " + path + ": " + failure;
            return path;
        }
    }
    return {};
}

} // namespace

int Check(const std::vector<std::string> &arguments) {
    // Output that goes away is a failure to report, not a way to die before the reports.
    TurnWriteSignalsIntoErrors();
    const ParsedOptions parsed = ParseCheckOptions(arguments);
    if (!parsed.options) {
        Say(parsed.error);
        WriteStandardError("Try 'krv5316-check --help'.\n");
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
        Say("--json and --junit name the same file '" + options.jsonFile + "'");
        WriteStandardError("Try 'krv5316-check --help'.\n");
        return NothingChecked;
    }

    CheckRun run;
    run.version = OxVersion;
    run.host = HostName();
    run.started = UtcTimestamp(std::time(nullptr));
    run.options = *parsed.options;
    CatchInterruptions();
    // A run that cannot be judged, or whose reports cannot be written, is refused before
    // any card is touched.
    run.error = RunTimeRefusal(run.options.runTime, run.options.expected);
    if (!run.error.empty()) {
        run.errorKind = "run_time";
    }
    const std::string unwritable = PrepareReports(run);
    if (run.error.empty()) {
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
        Say(run.error);
    }
    if (run.error.empty() || !run.cards.empty() || !run.unreadable.empty()) {
        delivered &= Print(TextReport(run));
    }
    for (const auto &[path, text] : {std::pair(run.options.jsonFile, JsonReport(run)),
                                     std::pair(run.options.junitFile, JUnitReport(run))}) {
        delivered &= path == unwritable || WriteReport(path, text);
    }
    if (signal != 0) {
        return 128 + signal; // as a shell gives for a program its signal ended
    }
    if (!run.error.empty() || !delivered || run.countOf("error") > 0) {
        return NothingChecked;
    }
    return run.failedCount() > 0 ? CardFailed : AllPassed;
}
