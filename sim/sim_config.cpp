#include "sim_config.h"

#include "escaped_text.h"

#include <charconv>

namespace oxsim::detail {
namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseNumber(std::string_view s, int base, uint32_t &out) {
    if (s.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
    return ec == std::errc() && end == s.data() + s.size();
}

// A frequency in hertz: plain decimal, a fraction allowed, 0 for no signal.
bool ParseHertz(std::string_view s, double &out) {
    if (s.empty()) {
        return false;
    }
    const auto [end, ec] =
        std::from_chars(s.data(), s.data() + s.size(), out, std::chars_format::fixed);
    return ec == std::errc() && end == s.data() + s.size() && out >= 0 && out <= 1e8;
}

// A time on the simulator's clock in seconds, a fraction allowed, as nanoseconds.
bool ParseSeconds(std::string_view s, int64_t &ns) {
    double seconds = 0;
    if (s.empty()) {
        return false;
    }
    const auto [end, ec] =
        std::from_chars(s.data(), s.data() + s.size(), seconds, std::chars_format::fixed);
    if (ec != std::errc() || end != s.data() + s.size() || seconds < 0 || seconds > 1e9) {
        return false;
    }
    ns = static_cast<int64_t>(seconds * 1e9);
    return true;
}

// Empty text when the fault word is understood, otherwise why not.
std::string ApplyFault(std::string_view word, CardFaults &f) {
    struct Flag {
        std::string_view name;
        bool CardFaults::*member;
    };
    static constexpr Flag kFlags[] = {
        {"nodid", &CardFaults::noDid},       {"nobus", &CardFaults::noBus},
        {"noslot", &CardFaults::noSlot},     {"throwdid", &CardFaults::throwDid},
        {"throwbus", &CardFaults::throwBus}, {"throwslot", &CardFaults::throwSlot},
        {"noopen", &CardFaults::noOpen},     {"nobar", &CardFaults::noBar},
        {"noclose", &CardFaults::noClose},   {"stuck", &CardFaults::stuck},
        {"nodone", &CardFaults::noDone},
    };
    for (const Flag &flag : kFlags) {
        if (word == flag.name) {
            f.*flag.member = true;
            return {};
        }
    }
    const auto eq = word.find('=');
    const std::string_view name = word.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? "" : word.substr(eq + 1);
    uint32_t n = 0;
    if (name == "slow") {
        if (!ParseNumber(value, 10, n) || n == 0) {
            return "slow needs a decimal count of 1 or more";
        }
        f.slow = n;
    } else if (name == "tear") {
        if (!ParseNumber(value, 10, n) || n == 0) {
            return "tear needs a decimal count of 1 or more";
        }
        f.tearEvery = n;
    } else if (name == "deadcnt") {
        if (!ParseNumber(value, 10, n) || n >= kCounterCount) {
            return "deadcnt needs a counter number from 0 to 23";
        }
        f.deadCounters |= 1u << n;
    } else if (name == "stuckcnt") {
        const auto at = value.find('@');
        uint32_t stuck = 0;
        if (at == std::string_view::npos || !ParseNumber(value.substr(0, at), 10, n) ||
            n >= kCounterCount || !ParseNumber(value.substr(at + 1), 10, stuck)) {
            return "stuckcnt needs COUNTER@VALUE, counter 0 to 23, value decimal";
        }
        f.stuckCounters |= 1u << n;
        f.stuckValue[n] = stuck;
    } else if (name == "dropcnt") {
        const auto at = value.find('@');
        int64_t every = 0;
        if (at == std::string_view::npos || !ParseNumber(value.substr(0, at), 10, n) ||
            n >= kCounterCount || !ParseSeconds(value.substr(at + 1), every) ||
            every < 2'000'000'000) {
            return "dropcnt needs COUNTER@SECONDS, counter 0 to 23, seconds 2 or more";
        }
        f.dropCounters |= 1u << n;
        f.dropEvery[n] = every;
    } else if (name == "dinflip") {
        const auto at = value.find('@');
        const auto dash = value.find('-', at);
        if (at == std::string_view::npos || dash == std::string_view::npos ||
            !ParseNumber(value.substr(0, at), 10, n) || n >= 8 ||
            !ParseSeconds(value.substr(at + 1, dash - at - 1), f.dinFlipFrom) ||
            !ParseSeconds(value.substr(dash + 1), f.dinFlipTo) || f.dinFlipTo <= f.dinFlipFrom) {
            return "dinflip needs LINE@FROM-TO, line 0 to 7, FROM before TO in seconds";
        }
        f.dinFlip = static_cast<uint8_t>(1u << n);
    } else if (name == "lostat") {
        if (!ParseSeconds(value, f.lostAt)) {
            return "lostat needs seconds";
        }
    } else if (name == "din0" || name == "din1") {
        if (!ParseNumber(value, 10, n) || n >= 8) {
            return std::string(name) + " needs a DIN line from 0 to 7";
        }
        (name == "din0" ? f.dinLow : f.dinHigh) |= static_cast<uint8_t>(1u << n);
    } else if (name == "hz") {
        // hz=F for every input, hz=N@F for input N alone.
        const auto at = value.find('@');
        const std::string_view text = at == std::string_view::npos ? value : value.substr(at + 1);
        double hertz = 0;
        if ((at != std::string_view::npos &&
             (!ParseNumber(value.substr(0, at), 10, n) || n >= f.inputHz.size())) ||
            !ParseHertz(text, hertz)) {
            return "hz needs HERTZ or INPUT@HERTZ, input 0 to 23, hertz a decimal number from 0 to "
                   "100000000";
        }
        for (unsigned input = 0; input < f.inputHz.size(); ++input) {
            if (at == std::string_view::npos || input == n) {
                f.inputHz[input] = hertz;
                f.inputHzSet |= 1u << input;
            }
        }
    } else if (name == "version") {
        if (!ParseNumber(value, 16, n) || n > 0xFF) {
            return "version needs a hexadecimal byte";
        }
        f.version = static_cast<uint8_t>(n);
    } else {
        return "unknown fault " + oxtext::Quoted(word);
    }
    return {};
}

// Empty text when the entry is a card, otherwise why not.
std::string ParseCard(std::string_view entry, CardSpec &card) {
    std::string_view faults;
    if (const auto colon = entry.find(':'); colon != std::string_view::npos) {
        faults = entry.substr(colon + 1);
        entry = entry.substr(0, colon);
    }
    const auto at = entry.find('@');
    const auto slash = entry.find('/');
    if (at == std::string_view::npos || slash == std::string_view::npos || slash < at) {
        return "expected DID@BUS/SLOT";
    }
    if (!ParseNumber(Trim(entry.substr(0, at)), 16, card.did)) {
        return "DID is not a hexadecimal number";
    }
    if (!ParseNumber(Trim(entry.substr(at + 1, slash - at - 1)), 10, card.bus)) {
        return "BUS is not a decimal number";
    }
    if (!ParseNumber(Trim(entry.substr(slash + 1)), 10, card.slot)) {
        return "SLOT is not a decimal number";
    }
    if (faults.data() == nullptr) {
        return {};
    }
    while (true) {
        const auto comma = faults.find(',');
        std::string why = ApplyFault(Trim(faults.substr(0, comma)), card.faults);
        if (!why.empty()) {
            return why;
        }
        if (comma == std::string_view::npos) {
            return {};
        }
        faults.remove_prefix(comma + 1);
    }
}

} // namespace

SimConfig ParseConfig(std::string_view text) {
    SimConfig config;
    text = Trim(text);
    if (text.empty()) {
        return config;
    }
    if (text == "fail" || text == "throw") {
        config.whole = text == "fail" ? Whole::Fail : Whole::Throw;
        return config;
    }
    while (true) {
        const auto semicolon = text.find(';');
        const std::string_view entry = Trim(text.substr(0, semicolon));
        CardSpec card;
        std::string why = ParseCard(entry, card);
        if (why.empty() && config.cards.size() == kMaxCards) {
            why = "more than " + std::to_string(kMaxCards) + " cards";
        }
        if (!why.empty()) {
            config.whole = Whole::Malformed;
            config.cards.clear();
            config.error = "bad card " + oxtext::Quoted(entry) + ": " + why;
            return config;
        }
        config.cards.push_back(card);
        if (semicolon == std::string_view::npos) {
            return config;
        }
        text.remove_prefix(semicolon + 1);
    }
}

} // namespace oxsim::detail
