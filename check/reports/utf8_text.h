// Texts from outside the program (a host name, a library's message) on their way into
// the reports, which must parse whatever those texts hold.
#pragma once

#include <string>
#include <string_view>

// text with every byte sequence that is no UTF-8 character (a stray byte, an overlong
// form, a surrogate, beyond U+10FFFF), and U+FFFE and U+FFFF, each replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// An exception's text from card access as UTF-8. On Windows the loader's own texts are
// UTF-8 and stay as they are, and a text that is not UTF-8 (the maker's DLL) is taken
// from the ANSI code page; elsewhere texts are taken as UTF-8 already.
std::string SystemTextToUtf8(const std::string &text);
