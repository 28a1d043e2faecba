#include "check_report.h"
#include "xml_text.h"

#include <cstdio>
#include <sstream>
#include <vector>

namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

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
               "\" time=\"" + Seconds(time) + "\"";
    }
};

Totals CardTotals(const CardResult &card) {
    Totals totals;
    for (const StepResult &step : card.steps) {
        ++totals.tests;
        totals.failures += step.outcome == Outcome::Fail ? 1 : 0;
        totals.errors += step.outcome == Outcome::Error ? 1 : 0;
        totals.skipped +=
            step.outcome == Outcome::Skipped || step.outcome == Outcome::Interrupted ? 1 : 0;
        totals.time += step.seconds;
    }
    return totals;
}

// A suite's start, with its properties: where the run was made, then its own.
std::string SuiteStart(const std::string &name, const Totals &totals, const std::string &started,
                       const CheckRun &run,
                       const std::vector<std::pair<std::string, std::string>> &own = {}) {
    std::string start = "  <testsuite name=\"" + Xml(name) + "\" " + totals.attributes() +
                        " timestamp=\"" + Xml(Timestamp(started)) + "\" hostname=\"" +
                        Xml(run.host) + "\">\n";
    std::string properties;
    for (const auto &list : {run.options.properties, own}) {
        for (const auto &[property, value] : list) {
            properties +=
                "      <property name=\"" + Xml(property) + "\" value=\"" + Xml(value) + "\"/>\n";
        }
    }
    return properties.empty() ? start
                              : start + "    <properties>\n" + properties + "    </properties>\n";
}

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

void WriteCard(std::ostream &out, const CardResult &card, const CheckRun &run) {
    const std::string suite = SuiteName(card, run);
    out << SuiteStart(suite, CardTotals(card), card.started, run,
                      {{"position", card.position()}, {"firmware_version", card.firmwareVersion}});
    for (std::size_t s = 0; s < card.steps.size(); ++s) {
        const StepResult &step = card.steps[s];
        out << "    <testcase classname=\"" << suite << "\" name=\"" << s + 1 << " "
            << Xml(step.name) << "\" time=\"" << Seconds(step.seconds) << "\">\n";
        if (step.outcome == Outcome::Fail) {
            out << "      <failure type=\"krv5316." << Xml(step.name) << "\" message=\""
                << Xml(step.seen) << "\">expected: " << Xml(step.expected)
                << "\nseen: " << Xml(step.seen) << "</failure>\n";
        } else if (step.outcome == Outcome::Error) {
            out << "      <error type=\"krv5316." << Xml(step.name) << "\" message=\""
                << Xml(step.seen) << "\">expected: " << Xml(step.expected)
                << "\nseen: " << Xml(step.seen) << "</error>\n";
        } else if (step.outcome == Outcome::Interrupted) {
            out << "      <skipped message=\"the check was interrupted\"/>\n";
        } else if (step.outcome == Outcome::Skipped) {
            out << "      <skipped message=\""
                << (card.firstFailure() == nullptr && !card.interruptedAt.empty()
                        ? "the check was interrupted"
                        : "an earlier step failed")
                << "\"/>\n";
        }
        if (!step.figures.empty()) {
            out << "      <system-out>";
            for (const Figure &figure : step.figures) {
                out << Xml(FigureKey(figure.name)) << ": " << Xml(FigureText(figure.value)) << "\n";
            }
            out << "</system-out>\n";
        }
        out << "    </testcase>\n";
    }
    out << "  </testsuite>\n";
}

struct ErrorCase {
    std::string name;
    std::string type;
    std::string message;
};

// What kept cards from the check: why none or not every card could be checked, and
// each card the library reported but that could not be read, which is its own case.
std::vector<ErrorCase> ErrorCases(const CheckRun &run) {
    std::vector<ErrorCase> cases;
    if (!run.error.empty() && run.errorKind != "unreadable") {
        cases.push_back({"cards to check", run.errorKind, run.error});
    }
    for (const UnreadableCard &card : run.unreadable) {
        cases.push_back({"library card " + std::to_string(card.CardNo), "unreadable",
                         FailedCallText(card.Failure)});
    }
    return cases;
}

Totals ErrorTotals(const std::vector<ErrorCase> &cases) {
    Totals totals;
    totals.tests = totals.errors = cases.size();
    return totals;
}

void WriteErrors(std::ostream &out, const CheckRun &run, const std::vector<ErrorCase> &cases) {
    if (cases.empty()) {
        return;
    }
    out << SuiteStart("krv5316.check", ErrorTotals(cases), run.started, run);
    for (const ErrorCase &c : cases) {
        out << "    <testcase classname=\"krv5316.check\" name=\"" << Xml(c.name)
            << "\" time=\"0.000\">\n      <error type=\"krv5316." << Xml(c.type) << "\" message=\""
            << Xml(c.message) << "\">" << Xml(c.message) << "</error>\n    </testcase>\n";
    }
    out << "  </testsuite>\n";
}

} // namespace

std::string JUnitReport(const CheckRun &run) {
    const std::vector<ErrorCase> errors = ErrorCases(run);
    Totals all = ErrorTotals(errors);
    std::ostringstream suites;
    WriteErrors(suites, run, errors);
    for (const CardResult &card : run.cards) {
        WriteCard(suites, card, run);
        all.add(CardTotals(card));
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"krv5316-check\" " +
           all.attributes() + " timestamp=\"" + Xml(Timestamp(run.started)) + "\">\n" +
           suites.str() + "</testsuites>\n";
}
