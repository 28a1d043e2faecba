#include "vendor_config.h"

#include "checked_file.h"
#include "escaped_text.h"
#include "sysfs_text.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sstream>

namespace ox9162 {

namespace {

constexpr const char *kDefaultPath = "/etc/ox9162.conf";
// A configuration is a few short lines; these bounds keep a wrong file from being read.
constexpr size_t kMaxBytes = 64 * 1024;
constexpr size_t kMaxLineBytes = 256;

std::string Trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace

std::string ConfigPath() {
    const char *path = std::getenv("OX9162_CONFIG");
    return path != nullptr && *path != '\0' ? path : kDefaultPath;
}

VendorConfig ReadVendorConfig(const std::string &path) {
    const auto fail = [&](const std::string &reason) {
        return VendorConfig{{},
                            oxtext::Escaped(path) + ": cannot read the configuration: " + reason};
    };
    const CheckedFile file = OpenRegularFile(path, O_RDONLY, Links::Follow);
    if (!file.fd) {
        return fail(file.why);
    }
    std::string why;
    const std::optional<std::string> text = ReadUpTo(file.fd, kMaxBytes, why);
    if (!text) {
        return fail(why);
    }
    if (text->size() > kMaxBytes) {
        return fail("larger than " + std::to_string(kMaxBytes / 1024) +
                    " KiB, which no configuration is");
    }
    return ParseVendorConfig(*text, path);
}

VendorConfig ParseVendorConfig(std::string_view text, std::string_view path) {
    VendorConfig config;
    std::istringstream lines{std::string(text)};
    std::string raw;
    for (int number = 1; std::getline(lines, raw); ++number) {
        const std::string where = oxtext::Escaped(path) + ":" + std::to_string(number) + ": ";
        if (raw.size() > kMaxLineBytes) {
            config.error = where + "longer than " + std::to_string(kMaxLineBytes) +
                           " bytes: " + oxtext::Quoted(raw);
            config.vendors.clear();
            return config;
        }
        const std::string line = Trimmed(raw.substr(0, raw.find('#')));
        if (line.empty()) {
            continue;
        }
        std::istringstream words(line);
        std::string keyword, id, extra;
        words >> keyword >> id >> extra;
        const std::optional<uint16_t> vendor = HexId(id);
        if (keyword != "vendor" || !vendor || !extra.empty()) {
            config.error = where +
                           "expected \"vendor 0xHHHH\" (one to four hexadecimal digits), found " +
                           oxtext::Quoted(line);
            config.vendors.clear();
            return config;
        }
        if (*vendor == 0x0000 || *vendor == 0xFFFF) {
            config.error = where + id + " is not a vendor ID (0x0000 and 0xFFFF mean none)";
            config.vendors.clear();
            return config;
        }
        if (std::find(config.vendors.begin(), config.vendors.end(), *vendor) ==
            config.vendors.end()) {
            config.vendors.push_back(*vendor);
        }
    }
    if (config.vendors.empty()) {
        config.error =
            oxtext::Escaped(path) + ": no \"vendor 0xHHHH\" line, so no card can be recognised";
    }
    return config;
}

} // namespace ox9162
