// What the fuzz targets share: a broken property ends the run so that libFuzzer keeps
// the input, and the character rules checked apart from the code under test.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

inline void Require(bool holds, const char *property) {
    if (!holds) {
        std::fprintf(stderr, "broken property: %s\n", property);
        std::abort();
    }
}

// A message line as the parsers promise it: printable ASCII, nothing that could split
// the line or reach a terminal raw.
inline bool IsPrintableLine(std::string_view text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

// The code points of text, or none when it is no UTF-8 (shortest forms only, no
// surrogates, nothing beyond U+10FFFF), decoded bit by bit.
inline std::optional<std::u32string> CodePoints(std::string_view text) {
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    std::u32string points;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t more = lead < 0x80           ? 0
                                 : (lead >> 5) == 0x6  ? 1
                                 : (lead >> 4) == 0xE  ? 2
                                 : (lead >> 3) == 0x1E ? 3
                                                       : 4;
        if (more == 4 || text.size() - i <= more) {
            return std::nullopt;
        }
        char32_t point = lead & (more == 0 ? 0x7Fu : 0x3Fu >> more);
        for (std::size_t k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            point = point << 6 | (next & 0x3Fu);
        }
        if (point < kLeast[more] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return std::nullopt;
        }
        points += point;
        i += more + 1;
    }
    return points;
}

} // namespace fuzz
