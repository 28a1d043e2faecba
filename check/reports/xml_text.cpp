#include "xml_text.h"

#include "utf8_text.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr std::pair<char, const char *> kReferences[] = {
    {'&', "&amp;"},  {'<', "&lt;"},  {'>', "&gt;"},   {'"', "&quot;"},
    {'\n', "&#10;"}, {'\t', "&#9;"}, {'\r', "&#13;"},
};

} // namespace

std::string Xml(const std::string &text) {
    std::string out;
    for (char ch : ValidUtf8(text)) {
        const auto *reference = std::find_if(std::begin(kReferences), std::end(kReferences),
                                             [ch](const auto &r) { return r.first == ch; });
        if (reference != std::end(kReferences)) {
            out += reference->second;
        } else {
            out += static_cast<unsigned char>(ch) < 0x20 ? '?' : ch;
        }
    }
    return out;
}
