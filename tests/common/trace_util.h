// Reading the stand-in library's in-memory trace back as register accesses and library
// calls; shared by the card access and window tests.
#pragma once

#include "sim_control.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

struct Access {
    char op = 0; // 'R' or 'W'
    uint32_t card = 0;
    unsigned offset = 0;
    unsigned value = 0;
    bool operator==(const Access &) const = default;
};

inline Access R(unsigned offset, unsigned value, uint32_t card = 0) {
    return {'R', card, offset, value};
}
inline Access W(unsigned offset, unsigned value, uint32_t card = 0) {
    return {'W', card, offset, value};
}

inline void PrintTo(const Access &a, std::ostream *os) {
    *os << a.op << ' ' << a.card << ' ' << std::hex << a.offset << ' ' << a.value << std::dec;
}

namespace trace_detail {
inline bool IsHex(const std::string &s, std::size_t digits) {
    return s.size() == digits && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}
} // namespace trace_detail

// The register accesses since the trace was last cleared, in order. Every one must be a
// single byte access to an open card; anything else is reported as a test failure.
inline std::vector<Access> Accesses() {
    std::vector<Access> result;
    for (const std::string &line : oxsim::Trace()) {
        if (line.rfind("call ", 0) == 0) {
            continue;
        }
        std::istringstream in(line);
        std::string op, card, offset, value, rest;
        in >> op >> card >> offset >> value;
        const bool byteAccess = (op == "R" || op == "W") && !card.empty() &&
                                trace_detail::IsHex(offset, 3) && trace_detail::IsHex(value, 2) &&
                                !(in >> rest);
        if (!byteAccess) {
            ADD_FAILURE() << "not a single byte access to an open card: " << line;
            continue;
        }
        result.push_back({op[0], static_cast<uint32_t>(std::stoul(card)),
                          static_cast<unsigned>(std::stoul(offset, nullptr, 16)),
                          static_cast<unsigned>(std::stoul(value, nullptr, 16))});
    }
    return result;
}

// The lines of the trace that start with one of the prefixes, in trace order, less
// their first `strip` characters.
inline std::vector<std::string> traceLines(std::initializer_list<std::string_view> prefixes,
                                           std::size_t strip = 0) {
    std::vector<std::string> lines;
    EXPECT_EQ(oxsim::TraceDropped(), 0u) << "the trace ring dropped events";
    for (const std::string &line : oxsim::Trace()) {
        for (std::string_view prefix : prefixes) {
            if (line.starts_with(prefix)) {
                lines.push_back(line.substr(strip));
                break;
            }
        }
    }
    return lines;
}

// The register accesses of the trace as written (R, W, R!, W!), without the calls.
inline std::vector<std::string> registerLines() {
    return traceLines({"R", "W"});
}

// The library calls since the trace was last cleared, each "NAME ARGS = STATUS OUTS".
inline std::vector<std::string> Calls() {
    return traceLines({"call "}, 5);
}
