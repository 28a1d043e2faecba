#include "vendor_config.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

namespace ox9162 {

namespace {

constexpr const char *kDefaultPath = "/etc/ox9162.conf";

std::string Trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// "0x" and one to four hexadecimal digits.
std::optional<uint16_t> VendorId(const std::string &word) {
    if (word.size() < 3 || word.size() > 6 || word[0] != '0' || (word[1] != 'x' && word[1] != 'X'))
        return std::nullopt;
    unsigned value = 0;
    const char *end = word.data() + word.size();
    const auto [stop, failure] = std::from_chars(word.data() + 2, end, value, 16);
    if (failure != std::errc() || stop != end)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

} // namespace

std::string ConfigPath() {
    const char *path = std::getenv("OX9162_CONFIG");
    return path != nullptr && *path != '\0' ? path : kDefaultPath;
}

VendorConfig ReadVendorConfig(const std::string &path) {
    VendorConfig config;
    std::ifstream file(path);
    if (!file) {
        const std::string reason = std::strerror(errno);
        config.error = path + ": cannot read the configuration: " + reason;
        return config;
    }
    std::string raw;
    for (int number = 1; std::getline(file, raw); ++number) {
        const std::string line = Trimmed(raw.substr(0, raw.find('#')));
        if (line.empty())
            continue;
        std::istringstream words(line);
        std::string keyword, id, extra;
        words >> keyword >> id >> extra;
        const std::optional<uint16_t> vendor = VendorId(id);
        if (keyword != "vendor" || !vendor || !extra.empty()) {
            config.error =
                path + ":" + std::to_string(number) +
                ": expected \"vendor 0xHHHH\" (one to four hexadecimal digits), found \"" + line +
                "\"";
            config.vendors.clear();
            return config;
        }
        if (std::find(config.vendors.begin(), config.vendors.end(), *vendor) ==
            config.vendors.end())
            config.vendors.push_back(*vendor);
    }
    if (file.bad())
        config.error = path + ": cannot read the configuration: " + std::strerror(errno);
    else if (config.vendors.empty())
        config.error = path + ": no \"vendor 0xHHHH\" line, so no card can be recognised";
    return config;
}

} // namespace ox9162
