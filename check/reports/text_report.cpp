#include "check_report.h"
#include "number_text.h"
#include "rate_check.h"
#include "utf8_text.h"

#include "escaped_text.h"

#include "KRV5316_regs.h"

#include <iomanip>
#include <sstream>

namespace {

// The count step's rates, a line for each group of counters.
void WriteRates(std::ostream &out, const StepResult &step) {
    const FigureValue *rates = step.figure(figure::kRatesHz);
    const FigureValue *uncertainty = step.figure(figure::kRateUncertaintyHz);
    const FigureValue *seconds = step.figure(figure::kRunSeconds);
    if (rates == nullptr || uncertainty == nullptr || seconds == nullptr) {
        return;
    }
    const auto &hertz = std::get<std::vector<double>>(*rates);
    const double plusMinus = std::get<double>(*uncertainty);
    out << "               rates in Hz over " << cardstep::Fixed(std::get<double>(*seconds), 3)
        << " s, each +/-" << RateText(plusMinus, plusMinus) << ":\n";
    for (std::size_t n = 0; n < hertz.size(); ++n) {
        if (n % kCountersPerGroup == 0) {
            const std::string group =
                "CNT" + std::to_string(n) + "-" + std::to_string(n + kCountersPerGroup - 1);
            out << "               " << std::left << std::setw(9) << group;
        }
        out << " " << std::right << std::setw(10) << RateText(hertz[n], plusMinus);
        if (n % kCountersPerGroup == kCountersPerGroup - 1 || n + 1 == hertz.size()) {
            out << "\n";
        }
    }
}

} // namespace

std::string TextReport(const CheckRun &run) {
    std::ostringstream out;
    out << "KRV-5316 check, " << run.started
        << (run.options.loopback ? ", loopback plug fitted" : ", no loopback plug") << "\n";
    for (const auto &[name, value] : run.options.properties) {
        out << "Property " << name << ": " << oxtext::ControlsEscaped(ValidUtf8(value)) << "\n";
    }
    for (const CardResult &card : run.cards) {
        out << "\nCard " << card.index << " at " << card.position() << "\n";
        for (std::size_t i = 0; i < card.steps.size(); ++i) {
            const StepResult &step = card.steps[i];
            out << "  " << i + 1 << " " << std::left << std::setw(9) << step.name << " "
                << std::setw(7) << OutcomeName(step.outcome) << (step.ran() ? " " + step.seen : "")
                << (step.outcome == Outcome::Fail ? " (expected: " + step.expected + ")" : "")
                << "\n";
            WriteRates(out, step);
        }
        if (card.burnIn) {
            out << "  Burn-in: " << BurnInLine(*card.burnIn) << "\n";
            if (const FailureRecord *first = card.burnIn->first()) {
                out << "  First failure: " << FailureLine(*first) << "\n"
                    << "  Last failure: " << FailureLine(*card.burnIn->last()) << "\n";
            }
        }
        const StepResult *failed = card.firstFailure();
        const StepResult *unjudged = card.firstError();
        out << "  Verdict: "
            << (failed     ? "FAIL at step " + failed->name
                : unjudged ? "ERROR at step " + unjudged->name + ": the card could not be judged"
                : !card.interruptedAt.empty() ? "INTERRUPTED at step " + card.interruptedAt
                                              : std::string("PASS"))
            << "\n";
    }
    for (const UnreadableCard &card : run.unreadable) {
        out << "\nLibrary card " << card.CardNo << " not read: " << FailedCallText(card.Failure)
            << "\n  Verdict: ERROR\n";
    }
    out << "\n" << SummaryLine(run) << "\n";
    return out.str();
}
