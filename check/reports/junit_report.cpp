#include "check_report.h"
#include "number_text.h"
#include "xml_text.h"

#include <utility>
#include <vector>

namespace {

using cardstep::Fixed;
using Properties = std::vector<std::pair<std::string, std::string>>;

// The attributes' common time form has no zone; every time here is UTC.
std::string Timestamp(const std::string &utc) {
    return !utc.empty() && utc.back() == 'Z' ? utc.substr(0, utc.size() - 1) : utc;
}

struct Totals {
    std::size_t tests = 0;
    std::size_t failures = 0;
    std::size_t errors = 0;
    std::size_t skipped = 0;
    double time = 0;

    void add(const Totals &other) {
        tests += other.tests;
        failures += other.failures;
        errors += other.errors;
        skipped += other.skipped;
        time += other.time;
    }
    std::string attributes() const {
        return "tests=\"" + std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
               "\" errors=\"" + std::to_string(errors) + "\" skipped=\"" + std::to_string(skipped) +
               "\" time=\"" + Fixed(time, 3) + "\"";
    }
};

// A testsuite, counted as its cases are added.
struct Suite {
    std::string name;
    std::string started;
    Properties own{}; // after those of the run
    Totals totals{};
    std::string cases{};

    // kind: what the case counts as besides a test; null for a pass.
    void add(const std::string &caseName, double seconds, std::size_t Totals::*kind,
             const std::string &content) {
        ++totals.tests;
        if (kind != nullptr) {
            ++(totals.*kind);
        }
        totals.time += seconds;
        cases += "    <testcase classname=\"" + name + "\" name=\"" + Xml(caseName) + "\" time=\"" +
                 Fixed(seconds, 3) + "\">\n" + content + "    </testcase>\n";
    }

    std::string text(const CheckRun &run) const {
        std::string properties;
        for (const Properties &list : {run.options.properties, own}) {
            for (const auto &[property, value] : list) {
                properties += "      <property name=\"" + Xml(property) + "\" value=\"" +
                              Xml(value) + "\"/>\n";
            }
        }
        return "  <testsuite name=\"" + Xml(name) + "\" " + totals.attributes() + " timestamp=\"" +
               Xml(Timestamp(started)) + "\" hostname=\"" + Xml(run.host) + "\">\n" +
               (properties.empty() ? ""
                                   : "    <properties>\n" + properties + "    </properties>\n") +
               cases + "  </testsuite>\n";
    }
};

// Dotted, so that CI systems file each card as a class of the package krv5316; cards
// that share a bus and slot (in two PCI domains) are told apart by the library's number.
std::string SuiteName(const CardResult &card, const CheckRun &run) {
    std::string name = "krv5316.card_" + std::to_string(card.bus) + "_" + std::to_string(card.slot);
    for (const CardResult &other : run.cards) {
        if (&other != &card && other.bus == card.bus && other.slot == card.slot) {
            return name + "_lib" + std::to_string(card.number);
        }
    }
    return name;
}

// A failure or an error: its type, its message, and its text, already escaped.
std::string Problem(const std::string &element, const std::string &type, const std::string &message,
                    const std::string &text) {
    return "      <" + element + " type=\"krv5316." + Xml(type) + "\" message=\"" + Xml(message) +
           "\">" + text + "</" + element + ">\n";
}

// A failed or unjudged step: what it expected and what it saw.
std::string Finding(const std::string &element, const StepResult &step) {
    return Problem(element, step.name, step.seen,
                   "expected: " + Xml(step.expected) + "\nseen: " + Xml(step.seen));
}

Suite CardSuite(const CardResult &card, const CheckRun &run) {
    Suite suite{SuiteName(card, run),
                card.started,
                {{"position", card.position()}, {"firmware_version", card.firmwareVersion}}};
    if (card.burnIn) {
        const BurnInRecord &burnIn = *card.burnIn;
        suite.own.emplace_back("burn_in", BurnInLine(burnIn));
        if (burnIn.first() != nullptr) {
            suite.own.emplace_back("first_failure", FailureLine(*burnIn.first()));
            suite.own.emplace_back("last_failure", FailureLine(*burnIn.last()));
        }
    }
    const bool interrupted = card.firstFailure() == nullptr && !card.interruptedAt.empty();
    for (std::size_t s = 0; s < card.steps.size(); ++s) {
        const StepResult &step = card.steps[s];
        const std::string name = std::to_string(s + 1) + " " + step.name;
        std::string figures;
        for (const Figure &figure : step.figures) {
            figures += Xml(figure.name) + ": " + Xml(FigureText(figure.value)) + "\n";
        }
        const std::string out =
            figures.empty() ? "" : "      <system-out>" + figures + "</system-out>\n";
        const bool failed = step.outcome == Outcome::Fail;
        if (step.outcome == Outcome::Pass) {
            suite.add(name, step.seconds, nullptr, out);
        } else if (failed || step.outcome == Outcome::Error) {
            suite.add(name, step.seconds, failed ? &Totals::failures : &Totals::errors,
                      Finding(failed ? "failure" : "error", step) + out);
        } else {
            suite.add(name, step.seconds, &Totals::skipped,
                      std::string("      <skipped message=\"") +
                          (interrupted || step.outcome == Outcome::Interrupted
                               ? "the check was interrupted"
                               : "an earlier step failed") +
                          "\"/>\n" + out);
        }
    }
    return suite;
}

// What kept cards from the check: why none or not every card could be checked, and
// each card the library reported but that could not be read, which is its own case.
Suite ErrorSuite(const CheckRun &run) {
    Suite suite{"krv5316.check", run.started};
    const auto add = [&suite](const std::string &name, const std::string &type,
                              const std::string &message) {
        suite.add(name, 0, &Totals::errors, Problem("error", type, message, Xml(message)));
    };
    if (!run.error.empty() && run.errorKind != "unreadable") {
        add("cards to check", run.errorKind, run.error);
    }
    for (const UnreadableCard &card : run.unreadable) {
        add("library card " + std::to_string(card.CardNo), "unreadable",
            FailedCallText(card.Failure));
    }
    return suite;
}

} // namespace

std::string JUnitReport(const CheckRun &run) {
    const Suite errors = ErrorSuite(run);
    Totals all = errors.totals;
    std::string suites = errors.cases.empty() ? "" : errors.text(run);
    for (const CardResult &card : run.cards) {
        const Suite suite = CardSuite(card, run);
        all.add(suite.totals);
        suites += suite.text(run);
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"krv5316-check\" " +
           all.attributes() + " timestamp=\"" + Xml(Timestamp(run.started)) + "\">\n" + suites +
           "</testsuites>\n";
}
