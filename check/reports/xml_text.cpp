#include "xml_text.h"

#include "utf8_text.h"

std::string Xml(const std::string &text) {
    std::string out;
    for (unsigned char ch : ValidUtf8(text)) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += ch < 0x20 ? '?' : static_cast<char>(ch);
        }
    }
    return out;
}
