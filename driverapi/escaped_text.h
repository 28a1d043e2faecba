// Text from outside (a configuration's line, a file's path, a name read from sysfs) as a
// message or a generated file of either driver library shows it: anything but printable
// ASCII escaped, so odd bytes can neither cut, split nor disguise the line, nor reach a
// terminal raw.
#pragma once

#include <string>
#include <string_view>

namespace oxtext {

// Backslash, newline and tab as \\, \n and \t; other bytes outside printable ASCII as \xHH.
std::string Escaped(std::string_view text);

// Control characters alone escaped, as Escaped does; UTF-8, backslashes and the rest kept
// as they are, for a message that may name a file in any language or a Windows path.
std::string ControlsEscaped(std::string_view text);

// The bad part of a line: in double quotes, escaped, at most 60 characters of it.
std::string Quoted(std::string_view part);

} // namespace oxtext
