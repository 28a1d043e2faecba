// The configuration file that names the maker's PCI vendor IDs: one line
// "vendor 0xHHHH" per ID, "#" comments, blank lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ox9162 {

struct VendorConfig {
    std::vector<uint16_t> vendors; // in file order, without repeats
    std::string error;             // one line naming the file; empty when read
};

// OX9162_CONFIG when set and not empty, else /etc/ox9162.conf.
std::string ConfigPath();

// Reads the file; a missing or unreadable file, one that is not a regular file (not
// opened then), a malformed line or no vendor line at all gives an error.
VendorConfig ReadVendorConfig(const std::string &path);

// The configuration's text as read from `path`, which its messages name.
VendorConfig ParseVendorConfig(std::string_view text, std::string_view path);

} // namespace ox9162
