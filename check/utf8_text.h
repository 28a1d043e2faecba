// Texts from outside the program (a host name, a library's message) on their way into
// the reports, which must parse whatever those texts hold.
#pragma once

#include <string>
#include <string_view>

// text with every byte sequence that is no UTF-8 character (a stray byte, an overlong
// form, a surrogate, beyond U+10FFFF), and U+FFFE and U+FFFF, each replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// A text the system gave in its own code page, as UTF-8: on Windows from the ANSI code
// page; elsewhere the system's texts are taken as UTF-8 already.
std::string SystemTextToUtf8(const std::string &text);
