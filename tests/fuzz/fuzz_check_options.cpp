// krv5316-check's command line, the input split at NUL bytes into arguments: options or
// an error, never both, never an empty error; the options given back as a command line
// parse to the same.
#include "check_options.h"
#include "fuzz_property.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>

namespace {

auto Fields(const CheckOptions &o) {
    const auto position = o.cardPosition.value_or(CheckOptions::Position{~0u, ~0u});
    return std::make_tuple(o.card, position.bus, position.slot, o.cardIndex, o.loopback, o.jsonFile,
                           o.junitFile, o.runTime, o.expected.hertz, o.expected.tolerancePct,
                           o.help, o.version);
}

std::string Decimal(double value) {
    char text[400];
    return {text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr};
}

std::vector<std::string> CommandLine(const CheckOptions &o) {
    std::vector<std::string> args{"--run-time=" + std::to_string(o.runTime.count())};
    const std::pair<bool, std::string> given[] = {
        {!o.card.empty(), "--card=" + o.card},
        {o.loopback, "--loopback"},
        {!o.jsonFile.empty(), "--json=" + o.jsonFile},
        {!o.junitFile.empty(), "--junit=" + o.junitFile},
        {o.help, "--help"},
        {o.version, "--version"},
        {!o.expected.hertz.empty(), "--tolerance=" + Decimal(o.expected.tolerancePct)},
    };
    for (const auto &[on, arg] : given) {
        if (on) {
            args.push_back(arg);
        }
    }
    std::string rates;
    for (const double hertz : o.expected.hertz) {
        rates += (rates.empty() ? "--expect-hz=" : ",") + Decimal(hertz);
    }
    if (!rates.empty()) {
        args.push_back(rates);
    }
    return args;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> args;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t nul = std::min(text.find('\0', from), text.size());
        args.emplace_back(text.substr(from, nul - from));
        from = nul + 1;
    }
    const ParsedOptions parsed = ParseCheckOptions(args);
    fuzz::Require(parsed.options.has_value() == parsed.error.empty(), "options or an error");
    fuzz::Require(std::none_of(parsed.error.begin(), parsed.error.end(),
                               [](char c) { return c >= 0 && c < 0x20; }),
                  "the error is one line without control characters");
    if (parsed.options) {
        const ParsedOptions again = ParseCheckOptions(CommandLine(*parsed.options));
        fuzz::Require(again.options && Fields(*again.options) == Fields(*parsed.options),
                      "the options as a command line parse to the same");
    }
    return 0;
}
