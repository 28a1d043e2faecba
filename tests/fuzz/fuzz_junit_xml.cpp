// The JUnit report's escaper: its output holds only characters that XML 1.0 allows,
// no raw '<', '>' or '"', and '&' only as one of its own references; text that needs
// no replacing comes back whole when the references are read.
#include "fuzz_property.h"
#include "xml_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

constexpr std::pair<std::string_view, char> kReferences[] = {
    {"&amp;", '&'},  {"&lt;", '<'},  {"&gt;", '>'},   {"&quot;", '"'},
    {"&#10;", '\n'}, {"&#9;", '\t'}, {"&#13;", '\r'},
};

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The text that the output stands for, or none when an '&' begins no known reference.
std::optional<std::string> Unescaped(std::string_view xml) {
    std::string text;
    while (!xml.empty()) {
        const auto *reference =
            std::find_if(std::begin(kReferences), std::end(kReferences),
                         [&xml](const auto &r) { return xml.starts_with(r.first); });
        if (reference != std::end(kReferences)) {
            text += reference->second;
            xml.remove_prefix(reference->first.size());
        } else if (xml.front() == '&') {
            return std::nullopt;
        } else {
            text += xml.front();
            xml.remove_prefix(1);
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::string xml = Xml(text);
    const auto points = fuzz::CodePoints(xml);
    fuzz::Require(points && std::all_of(points->begin(), points->end(), IsXmlChar),
                  "the output holds only characters that XML 1.0 allows");
    fuzz::Require(xml.find_first_of("<>\"") == std::string::npos, "no raw '<', '>' or '\"'");
    const auto unescaped = Unescaped(xml);
    fuzz::Require(unescaped.has_value(), "every '&' begins a reference");
    const auto input = fuzz::CodePoints(text);
    if (input && std::all_of(input->begin(), input->end(),
                             [](char32_t c) { return IsXmlChar(c) && c != '\r'; })) {
        fuzz::Require(*unescaped == text, "text that needs no replacing comes back whole");
    }
    return 0;
}
