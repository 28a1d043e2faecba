// What the library reads from sysfs attributes and its configuration, parsed from text
// alone: no file, no state, so each takes any bytes and gives a value or says why not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ox9162 {

// "0x" and one to four hexadecimal digits: a vendor or device ID as sysfs' vendor and
// device files and the configuration write it.
std::optional<uint16_t> HexId(std::string_view word);

// A function's sysfs vendor or device file: an ID and its newline.
std::optional<uint16_t> IdFileValue(std::string_view text);

struct ResourceBar {
    uint64_t start = 0; // its address, without the flag bits
    uint64_t size = 0;  // 0: no such BAR
    bool isIo = false;  // an I/O port BAR, which cannot be mapped
    std::string error;  // what is wrong with its line; empty when read
};

// BAR4 from a function's sysfs resource file, one line "start end flags" in hexadecimal
// per resource from BAR0 on: none when there is no fifth line or its range is empty.
ResourceBar ParseResourceBar4(std::string_view text);

} // namespace ox9162
