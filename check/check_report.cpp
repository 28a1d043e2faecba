#include "check_report.h"

#include <cstdio>
#include <iomanip>

namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string Escaped(const std::string &text, bool xml) {
    std::string out;
    for (unsigned char ch : text) {
        if (xml) {
            switch (ch) {
            case '&':
                out += "&amp;";
                continue;
            case '<':
                out += "&lt;";
                continue;
            case '>':
                out += "&gt;";
                continue;
            case '"':
                out += "&quot;";
                continue;
            default:
                break;
            }
        } else if (ch == '"' || ch == '\\') {
            out += '\\';
        } else if (ch < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", ch);
            out += code;
            continue;
        }
        out += static_cast<char>(ch);
    }
    return out;
}

std::string Json(const std::string &text) {
    return "\"" + Escaped(text, false) + "\"";
}
std::string Xml(const std::string &text) {
    return Escaped(text, true);
}

std::string Verdict(const CardResult &card) {
    return card.passed() ? "pass" : "fail";
}

} // namespace

unsigned CheckRun::failedCount() const {
    unsigned failed = 0;
    for (const CardResult &card : cards) {
        failed += card.passed() ? 0 : 1;
    }
    return failed;
}

std::string SummaryLine(const CheckRun &run) {
    const auto checked = static_cast<unsigned>(run.cards.size());
    return "Summary: " + std::to_string(checked) + (checked == 1 ? " card" : " cards") +
           " checked, " + std::to_string(checked - run.failedCount()) + " passed, " +
           std::to_string(run.failedCount()) + " failed";
}

void WriteTextReport(std::ostream &out, const CheckRun &run) {
    out << "KRV-5316 check, " << run.timestamp
        << (run.loopback ? ", loopback plug fitted" : ", no loopback plug") << "\n";
    for (const CardResult &card : run.cards) {
        out << "\nCard " << card.index << " at " << card.position() << "\n";
        for (std::size_t i = 0; i < card.steps.size(); ++i) {
            const StepResult &step = card.steps[i];
            out << "  " << i + 1 << " " << std::left << std::setw(9) << step.name << " "
                << std::setw(7) << OutcomeName(step.outcome);
            if (step.outcome != Outcome::Skipped) {
                out << " " << step.seen;
                if (step.outcome == Outcome::Fail) {
                    out << " (expected: " << step.expected << ")";
                }
            }
            out << "\n";
        }
        out << "  Verdict: " << (card.passed() ? "PASS" : "FAIL");
        if (const StepResult *failed = card.firstFailure()) {
            out << " at step " << failed->name;
        }
        out << "\n";
    }
    out << "\n" << SummaryLine(run) << "\n";
}

void WriteJsonReport(std::ostream &out, const CheckRun &run) {
    out << "{\n  \"tool\": \"krv5316-check\",\n  \"timestamp\": " << Json(run.timestamp)
        << ",\n  \"loopback\": " << (run.loopback ? "true" : "false") << ",\n  \"cards\": [";
    for (std::size_t c = 0; c < run.cards.size(); ++c) {
        const CardResult &card = run.cards[c];
        out << (c ? "," : "") << "\n    {\n      \"index\": " << card.index
            << ",\n      \"position\": " << Json(card.position())
            << ",\n      \"bus\": " << card.bus << ",\n      \"slot\": " << card.slot
            << ",\n      \"firmware_version\": " << Json(card.firmwareVersion)
            << ",\n      \"verdict\": " << Json(Verdict(card)) << ",\n      \"steps\": [";
        for (std::size_t s = 0; s < card.steps.size(); ++s) {
            const StepResult &step = card.steps[s];
            out << (s ? "," : "") << "\n        {\"number\": " << s + 1
                << ", \"name\": " << Json(step.name)
                << ", \"outcome\": " << Json(OutcomeName(step.outcome))
                << ", \"expected\": " << Json(step.expected) << ", \"seen\": " << Json(step.seen)
                << ", \"seconds\": " << Seconds(step.seconds) << ", \"figures\": {";
            for (std::size_t f = 0; f < step.figures.size(); ++f) {
                out << (f ? ", " : "") << Json(step.figures[f].first) << ": "
                    << Json(step.figures[f].second);
            }
            out << "}}";
        }
        out << "\n      ]\n    }";
    }
    out << "\n  ],\n  \"summary\": {\"checked\": " << run.cards.size()
        << ", \"passed\": " << run.cards.size() - run.failedCount()
        << ", \"failed\": " << run.failedCount() << "}\n}\n";
}

void WriteJUnitReport(std::ostream &out, const CheckRun &run) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"krv5316-check\" "
           "timestamp=\""
        << Xml(run.timestamp) << "\">\n";
    for (const CardResult &card : run.cards) {
        unsigned failures = 0;
        unsigned skipped = 0;
        double time = 0;
        for (const StepResult &step : card.steps) {
            failures += step.outcome == Outcome::Fail ? 1 : 0;
            skipped += step.outcome == Outcome::Skipped ? 1 : 0;
            time += step.seconds;
        }
        const std::string suite = "KRV-5316 " + card.position();
        out << "  <testsuite name=\"" << Xml(suite) << "\" tests=\"" << card.steps.size()
            << "\" failures=\"" << failures << "\" skipped=\"" << skipped << "\" time=\""
            << Seconds(time) << "\">\n";
        for (std::size_t s = 0; s < card.steps.size(); ++s) {
            const StepResult &step = card.steps[s];
            out << "    <testcase classname=\"" << Xml(suite) << "\" name=\"" << s + 1 << " "
                << Xml(step.name) << "\" time=\"" << Seconds(step.seconds) << "\"";
            if (step.outcome == Outcome::Pass) {
                out << "/>\n";
                continue;
            }
            out << ">\n";
            if (step.outcome == Outcome::Fail) {
                out << "      <failure message=\"" << Xml(step.seen)
                    << "\">expected: " << Xml(step.expected) << "\nseen: " << Xml(step.seen)
                    << "</failure>\n";
            } else {
                out << "      <skipped message=\"an earlier step failed\"/>\n";
            }
            out << "    </testcase>\n";
        }
        out << "  </testsuite>\n";
    }
    out << "</testsuites>\n";
}
