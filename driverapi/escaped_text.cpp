#include "escaped_text.h"

namespace oxtext {

namespace {

constexpr std::size_t kQuotedChars = 60;

// Bytes from keptFrom up are kept as they are; a backslash is doubled where an escape
// could otherwise be taken for the text.
std::string EscapedBelow(std::string_view text, unsigned keptFrom, bool doubleBackslash) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' && doubleBackslash) {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\t') {
            escaped += "\\t";
        } else if (byte < 0x20 || (byte >= 0x7F && byte < keptFrom)) {
            escaped += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

std::string Escaped(std::string_view text) {
    return EscapedBelow(text, 0x100, true);
}

std::string ControlsEscaped(std::string_view text) {
    return EscapedBelow(text, 0x80, false);
}

std::string Quoted(std::string_view part) {
    std::string text = "\"";
    for (const char c : part.substr(0, kQuotedChars)) {
        text += c == '"' ? std::string("\\\"") : Escaped(std::string_view(&c, 1));
    }
    text += '"';
    if (part.size() > kQuotedChars) {
        text += "... (" + std::to_string(part.size()) + " characters)";
    }
    return text;
}

} // namespace oxtext
