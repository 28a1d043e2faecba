#include "check_options.h"

#include <charconv>

const char *const CheckUsage = R"(Usage: krv5316-check [OPTIONS]

Checks KRV-5316 counter cards without an operator: every card found, or one.
For each card, in order: 1 open, 2 firmware download (timed), 3 firmware version
is 1.2, 4 clear all counters (all read 0), 5 start all counters for a short time
(every input that carries a signal must count and show both levels), 6 stop them
(values hold across two reads), 7 zero them while stopped (all read 0), 8 write
walking-one and walking-zero patterns to DOUT and X-DOUT (with --loopback, DIN
must follow DOUT), 9 close. A step that cannot run after an earlier failure is
reported as skipped.

Options:
  --card BUS/SLOT    check only the card at this PCI position, e.g. --card 2/13
  --card N           check only card N of the list (1 = first KRV-5316 found)
  --loopback         a loopback plug connects DOUT.0-7 to DIN.0-7: compare DIN
  --run-time MS      how long the counters run in step 5 (default 1500; a
                     1 Hz input needs about 1100 to show both of its levels)
  --json FILE        also write a machine-readable report to FILE
  --junit FILE       also write a JUnit XML report (one test per step) to FILE
  --help             show this text

The plain-text report goes to standard output, progress to a terminal on
standard error.

Exit status: 0 every checked card passed; 1 a card failed; 2 no card could be
checked (driver library failure, no KRV-5316 card, no card at the position
asked for) or the arguments are wrong.
)";

namespace {

std::optional<unsigned> Number(const std::string &text) {
    unsigned value = 0;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<CheckOptions::Position> Position(const std::string &text) {
    const auto slash = text.find('/');
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    const auto bus = Number(text.substr(0, slash));
    const auto slot = Number(text.substr(slash + 1));
    if (!bus || !slot) {
        return std::nullopt;
    }
    return CheckOptions::Position{*bus, *slot};
}

} // namespace

ParsedOptions ParseCheckOptions(const std::vector<std::string> &args) {
    CheckOptions options;
    auto fail = [](std::string error) { return ParsedOptions{std::nullopt, std::move(error)}; };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--loopback") {
            options.loopback = true;
        } else if (arg == "--card" || arg == "--json" || arg == "--junit" || arg == "--run-time") {
            if (!hasValue) {
                return fail(arg + " needs a value");
            }
            const std::string &value = args[++i];
            if (arg == "--json") {
                options.jsonFile = value;
            } else if (arg == "--junit") {
                options.junitFile = value;
            } else if (arg == "--run-time") {
                const auto ms = Number(value);
                if (!ms || *ms < 1 || *ms > 600000) {
                    return fail("--run-time takes milliseconds from 1 to 600000, not '" + value +
                                "'");
                }
                options.runTime = std::chrono::milliseconds(*ms);
            } else if (const auto position = Position(value)) {
                options.cardPosition = position;
            } else if (const auto n = Number(value); n && *n >= 1) {
                options.cardIndex = *n;
            } else {
                return fail("--card takes BUS/SLOT or a card number from 1, not '" + value + "'");
            }
        } else {
            return fail("unknown argument '" + arg + "'");
        }
    }
    return ParsedOptions{options, {}};
}
