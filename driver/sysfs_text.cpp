#include "sysfs_text.h"

#include "escaped_text.h"

#include <charconv>
#include <vector>

namespace ox9162 {

namespace {

constexpr uint64_t kIoResource = 0x100; // the kernel's IORESOURCE_IO in a resource line
constexpr size_t kBar4Line = 4;         // counted from 0

// "0x" and at most `digits` hexadecimal digits, the whole word.
std::optional<uint64_t> HexNumber(std::string_view word, size_t digits) {
    if (word.size() < 3 || word.size() > 2 + digits || word[0] != '0' ||
        (word[1] != 'x' && word[1] != 'X')) {
        return std::nullopt;
    }
    uint64_t value = 0;
    const char *end = word.data() + word.size();
    const auto [stop, failure] = std::from_chars(word.data() + 2, end, value, 16);
    if (failure != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    for (size_t at = 0; at < line.size();) {
        const size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t stop = std::min(line.find_first_of(" \t", start), line.size());
        words.push_back(line.substr(start, stop - start));
        at = stop;
    }
    return words;
}

} // namespace

std::optional<uint16_t> HexId(std::string_view word) {
    const std::optional<uint64_t> value = HexNumber(word, 4);
    return value ? std::optional<uint16_t>(static_cast<uint16_t>(*value)) : std::nullopt;
}

std::optional<uint16_t> IdFileValue(std::string_view text) {
    return text.ends_with('\n') ? HexId(text.substr(0, text.size() - 1)) : std::nullopt;
}

ResourceBar ParseResourceBar4(std::string_view text) {
    size_t at = 0;
    for (size_t skip = 0; skip < kBar4Line && at != std::string_view::npos; ++skip) {
        at = text.find('\n', at);
        at = at == std::string_view::npos ? at : at + 1;
    }
    ResourceBar bar;
    if (at == std::string_view::npos || at >= text.size()) {
        return bar; // no BAR4 line: no BAR4
    }
    const std::string_view line = text.substr(at, text.find('\n', at) - at);
    const std::vector<std::string_view> words = Words(line);
    std::optional<uint64_t> start, end, flags;
    if (words.size() == 3) {
        start = HexNumber(words[0], 16);
        end = HexNumber(words[1], 16);
        flags = HexNumber(words[2], 16);
    }
    if (!start || !end || !flags) {
        bar.error = "line 5 is not \"start end flags\": " + oxtext::Quoted(line);
        return bar;
    }
    bar.start = *start;
    bar.size = *end > *start ? *end - *start + 1 : 0;
    bar.isIo = (*flags & kIoResource) != 0;
    return bar;
}

} // namespace ox9162
