#include "escaped_text.h"

namespace oxtext {

namespace {

constexpr std::size_t kQuotedChars = 60;

} // namespace

std::string Escaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\t') {
            escaped += "\\t";
        } else if (byte < 0x20 || byte >= 0x7F) {
            escaped += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        } else {
            escaped += c;
        }
    }
    return escaped;
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
