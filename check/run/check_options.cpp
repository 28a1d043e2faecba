#include "check_options.h"

#include "KRV5316_regs.h"
#include "escaped_text.h"
#include "number_text.h"

#include <charconv>
#include <cmath>
#include <set>
#include <string_view>

const char *const kCheckUsage = R"(Usage: krv5316-check [OPTIONS]

Checks KRV-5316 counter cards without an operator: every card found, or one.
Every card is checked at once: their counters run in one window. For each
card, in order: 1 open, 2 firmware download (timed), 3 firmware version
is 1.2, 4 clear all counters (all read 0), 5 start all counters for the run time
and measure their rates (every input that carries a signal must count and show
both levels; with --expect-hz every rate must match), 6 stop them (values hold
across two reads), 7 zero them while stopped (all read 0), 8 write walking-one
and walking-zero patterns to DOUT and X-DOUT (with --loopback, DIN must follow
DOUT), 9 close. A step that cannot run after an earlier failure is reported as
skipped, the step a signal stopped as interrupted, and a count step that cannot
judge the rates (the counters went unread long enough to wrap, or the run's
length is known too loosely for the tolerance) as error.

Options (--opt VALUE or --opt=VALUE; each at most once):
  --card BUS/SLOT      check only the card at this PCI position, e.g. --card 2/13
  --card N             check only card N of the list (1 = first KRV-5316 found)
  --loopback           a loopback plug connects DOUT.0-7 to DIN.0-7: compare DIN
  --run-time MS        how long the counters run in step 5: from 201 to 600000
                       (default 1500; a 1 Hz input needs about 1100 to show both
                       of its levels)
  --expect-hz F        the rate every input must have, in Hz, or 24 rates
                       separated by commas, CNT0 first (0: no signal allowed)
  --tolerance PCT      how far a rate may lie from the one expected, in per cent
                       of it: above 0 and up to 100 (default 0.1); one count,
                       and 0.1 ms of the clock's slack, in the run time must not
                       be more than this at the lowest rate expected
  --property NAME=VALUE
                       add where the check ran to every report (a station, a
                       fixture, an operator); repeatable, each NAME once: letters,
                       digits, '_', '-' and '.', up to 64 of them
  --repeat N           burn-in: run steps 3 to 8 N times on every card (each card
                       is opened and takes its firmware once): from 1 to 4000000000
  --duration TIME      burn-in: repeat steps 3 to 8 until TIME is over (a cycle
                       begun runs to its end): a whole number with s, m or h,
                       e.g. 90s, 45m, 8h, up to 720h; with --repeat, whichever
                       ends first
  --stop-on-failure    end a burn-in after the first cycle in which a card failed
  --json FILE          also write a machine-readable report to FILE
  --junit FILE         also write a JUnit XML report (one test per step) to FILE
  --version            show the version
  --help               show this text

A burn-in's reports give, for each card, the cycles run and failed, how often
each step failed, and its first and last 8 failures (cycle, time, step, what was
seen); each step's result is that of its first failing cycle, or its last.
A signal ends a burn-in at the step in hand and keeps every finished cycle.

The plain-text report goes to standard output, progress to a terminal on
standard error. A report file asked for is written also when no card could be
checked.

Exit status: 0 every checked card passed; 1 a card failed (in any cycle); 2 not every card
could be checked or judged (driver library failure, a card whose ID, bus or
slot cannot be read, no KRV-5316 card, no card at the position asked for, a
run time too short, more cards than the check can look at), a report cannot be
written where it is named (known before any card is touched), or the arguments
are wrong; 129 interrupted by SIGHUP, 130 by SIGINT (Ctrl+C on Windows), 131
by SIGQUIT, 143 by SIGTERM (on Windows the console's closing, logoff or
shutdown), 149 by Ctrl+Break on Windows: the card is closed and the reports
are written first. Until a run writes its reports, each report file named says
that the run has not finished.
)";

namespace {

enum Option : int {
    OptCard,
    OptLoopback,
    OptRunTime,
    OptExpectHz,
    OptTolerance,
    OptJson,
    OptJunit,
    OptProperty,
    OptRepeat,
    OptDuration,
    OptStopOnFailure,
    OptVersion,
    OptHelp,
};

struct OptionDef {
    const char *name;
    bool takesValue;
    Option id;
};

constexpr OptionDef kOptions[] = {
    {"card", true, OptCard},
    {"loopback", false, OptLoopback},
    {"run-time", true, OptRunTime},
    {"expect-hz", true, OptExpectHz},
    {"tolerance", true, OptTolerance},
    {"json", true, OptJson},
    {"junit", true, OptJunit},
    {"property", true, OptProperty},
    {"repeat", true, OptRepeat},
    {"duration", true, OptDuration},
    {"stop-on-failure", false, OptStopOnFailure},
    {"version", false, OptVersion},
    {"help", false, OptHelp},
};

std::string NameOf(Option id) {
    for (const OptionDef &o : kOptions) {
        if (o.id == id) {
            return std::string("--") + o.name;
        }
    }
    return {};
}

// The option that a long name spells out or begins; null and why not when none or
// more than one. given: the argument as the user wrote it.
const OptionDef *FindOption(const std::string &name, const std::string &given, std::string &why) {
    std::vector<const OptionDef *> begun;
    for (const OptionDef &o : kOptions) {
        if (name == o.name) {
            return &o;
        }
        if (!name.empty() && std::string_view(o.name).starts_with(name)) {
            begun.push_back(&o);
        }
    }
    if (begun.size() == 1) {
        return begun.front();
    }
    if (begun.empty()) {
        why = "unknown argument '" + given + "'";
        return nullptr;
    }
    why = "--" + name + " is ambiguous:";
    for (const OptionDef *o : begun) {
        why += std::string(" --") + o->name;
    }
    return nullptr;
}

std::optional<unsigned> Number(const std::string &text) {
    unsigned value = 0;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> Decimal(const std::string &text) {
    double value = 0;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || text.empty() || !std::isfinite(value)) {
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

// "90s", "45m", "8h": above 0 and up to the longest burn-in.
std::optional<std::chrono::seconds> Duration(const std::string &text) {
    constexpr std::pair<char, unsigned> kUnits[] = {{'s', 1}, {'m', 60}, {'h', 3600}};
    for (const auto &[unit, seconds] : kUnits) {
        if (text.size() > 1 && text.back() == unit) {
            const auto n = Number(text.substr(0, text.size() - 1));
            if (n && *n > 0 && *n <= std::chrono::seconds(kMostDuration).count() / seconds) {
                return std::chrono::seconds(uint64_t{*n} * seconds);
            }
        }
    }
    return std::nullopt;
}

// One rate for every counter, or one for each.
std::optional<std::vector<double>> Rates(const std::string &text) {
    std::vector<double> rates;
    for (std::size_t from = 0;;) {
        const std::size_t comma = text.find(',', from);
        const auto rate = Decimal(text.substr(from, comma - from));
        if (!rate || *rate < 0) {
            return std::nullopt;
        }
        rates.push_back(*rate);
        if (comma == std::string::npos) {
            break;
        }
        from = comma + 1;
    }
    if (rates.size() == 1) {
        rates.assign(kCounterCount, rates.front());
    }
    return rates.size() == kCounterCount ? std::optional(rates) : std::nullopt;
}

// Empty when the value suits the option, otherwise why not.
std::string TakeValue(Option opt, const std::string &value, CheckOptions &options) {
    switch (opt) {
    case OptCard:
        options.card = value;
        if ((options.cardPosition = Position(value))) {
            return {};
        }
        if (const auto n = Number(value); n && *n >= 1) {
            options.cardIndex = *n;
            return {};
        }
        return "--card takes BUS/SLOT or a card number from 1, not '" + value + "'";
    case OptRunTime:
        if (const auto ms = Number(value);
            ms && *ms >= kLeastRunTime.count() && *ms <= kMostRunTime.count()) {
            options.runTime = std::chrono::milliseconds(*ms);
            return {};
        }
        return "--run-time takes milliseconds from " + std::to_string(kLeastRunTime.count()) +
               " to " + std::to_string(kMostRunTime.count()) + ", not '" + value + "'";
    case OptExpectHz:
        if (const auto rates = Rates(value)) {
            options.expected.hertz = *rates;
            return {};
        }
        return "--expect-hz takes one rate in Hz or " + std::to_string(kCounterCount) +
               " separated by commas, each a decimal number of 0 or more, not '" + value + "'";
    case OptTolerance:
        if (const auto pct = Decimal(value); pct && *pct > 0 && *pct <= kMostTolerancePct) {
            options.expected.tolerancePct = *pct;
            return {};
        }
        return "--tolerance takes per cent above 0 and up to " +
               cardstep::NumberText(kMostTolerancePct) + ", not '" + value + "'";
    case OptProperty: {
        const std::size_t equals = value.find('=');
        const std::string name = value.substr(0, equals);
        const bool named = equals != std::string::npos && !name.empty() && name.size() <= 64 &&
                           name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuv"
                                                  "wxyz0123456789_-.") == std::string::npos;
        if (!named) {
            return "--property takes NAME=VALUE, NAME of letters, digits, '_', '-' and '.', up "
                   "to 64 of them, not '" +
                   value + "'";
        }
        for (const auto &[given, _] : options.properties) {
            if (given == name) {
                return "--property " + name + " given more than once";
            }
        }
        options.properties.emplace_back(name, value.substr(equals + 1));
        return {};
    }
    case OptRepeat:
        if (const auto n = Number(value); n && *n >= 1 && *n <= kMostCycles) {
            options.repeat = *n;
            return {};
        }
        return "--repeat takes a number of cycles from 1 to " + std::to_string(kMostCycles) +
               ", not '" + value + "'";
    case OptDuration:
        if (const auto time = Duration(value)) {
            options.duration = *time;
            return {};
        }
        return "--duration takes a whole number with s, m or h, above 0 and up to " +
               std::to_string(kMostDuration.count()) + "h, not '" + value + "'";
    case OptJson:
    case OptJunit:
        if (value.empty()) {
            return NameOf(opt) + " needs a file name, not an empty one";
        }
        (opt == OptJson ? options.jsonFile : options.junitFile) = value;
        return {};
    default:
        return {};
    }
}

} // namespace

// The same parser on every system, so that every message is the same everywhere.
ParsedOptions ParseCheckOptions(const std::vector<std::string> &args) {
    // Arguments are quoted in the message: none may split its line or reach a terminal raw.
    auto fail = [](const std::string &error) {
        return ParsedOptions{std::nullopt, oxtext::ControlsEscaped(error)};
    };
    CheckOptions options;
    std::set<int> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--") {
            if (i + 1 < args.size()) {
                return fail("unexpected argument '" + args[i + 1] + "'");
            }
            break;
        }
        const OptionDef *option = nullptr;
        std::optional<std::string> value;
        std::string why;
        if (arg == "-h" || arg == "/?") { // "/?": as Windows' own programs are asked
            option = FindOption("help", arg, why);
        } else if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            option = FindOption(arg.substr(2, equals == std::string::npos ? equals : equals - 2),
                                arg, why);
            if (option == nullptr) {
                return fail(why);
            }
            if (equals != std::string::npos) {
                if (!option->takesValue) {
                    return fail(NameOf(option->id) + " takes no value");
                }
                value = arg.substr(equals + 1);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown argument '" + arg + "'");
        } else {
            return fail("unexpected argument '" + arg + "'");
        }
        if (option->takesValue && !value) {
            if (i + 1 == args.size()) {
                return fail(NameOf(option->id) + " needs a value");
            }
            value = args[++i];
        }
        if (!given.insert(option->id).second && option->id != OptProperty) {
            return fail(NameOf(option->id) + " given more than once");
        }
        options.help |= option->id == OptHelp;
        options.version |= option->id == OptVersion;
        options.loopback |= option->id == OptLoopback;
        options.stopOnFailure |= option->id == OptStopOnFailure;
        if (const std::string why = TakeValue(option->id, value.value_or(""), options);
            !why.empty()) {
            return fail(why);
        }
    }
    if (given.count(OptTolerance) && !given.count(OptExpectHz)) {
        return fail("--tolerance needs --expect-hz");
    }
    if (options.stopOnFailure && !options.repeat && !options.duration) {
        return fail("--stop-on-failure needs --repeat or --duration");
    }
    return ParsedOptions{options, {}};
}
