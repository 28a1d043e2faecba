#include "vendor_config.h"

#include "escaped_text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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

// "0x" and one to four hexadecimal digits.
std::optional<uint16_t> VendorId(const std::string &word) {
    if (word.size() < 3 || word.size() > 6 || word[0] != '0' ||
        (word[1] != 'x' && word[1] != 'X')) {
        return std::nullopt;
    }
    unsigned value = 0;
    const char *end = word.data() + word.size();
    const auto [stop, failure] = std::from_chars(word.data() + 2, end, value, 16);
    if (failure != std::errc() || stop != end) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

const char *FileKind(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

// The whole file, or the reason it is not read. Non-blocking, so a FIFO cannot hold the
// caller in open(); only a regular file of bounded size is read.
std::optional<std::string> ReadBounded(const std::string &path, std::string &error) {
    const auto fail = [&](const std::string &reason) {
        error = oxtext::Escaped(path) + ": cannot read the configuration: " + reason;
        return std::nullopt;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        return fail(std::strerror(code));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        return fail(std::strerror(code));
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(std::string("it is ") + FileKind(info.st_mode) + ", not a regular file");
    }
    std::string text(kMaxBytes + 1, '\0');
    size_t used = 0;
    while (used < text.size()) {
        const ssize_t n = ::read(fd, text.data() + used, text.size() - used);
        if (n < 0) {
            const int code = errno;
            if (code == EINTR) {
                continue;
            }
            return fail(std::strerror(code));
        }
        if (n == 0) {
            break;
        }
        used += static_cast<size_t>(n);
    }
    if (used > kMaxBytes) {
        return fail("larger than " + std::to_string(kMaxBytes / 1024) +
                    " KiB, which no configuration is");
    }
    text.resize(used);
    return text;
}

} // namespace

std::string ConfigPath() {
    const char *path = std::getenv("OX9162_CONFIG");
    return path != nullptr && *path != '\0' ? path : kDefaultPath;
}

VendorConfig ReadVendorConfig(const std::string &path) {
    VendorConfig config;
    const std::optional<std::string> text = ReadBounded(path, config.error);
    if (!text) {
        return config;
    }
    std::istringstream lines(*text);
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
        const std::optional<uint16_t> vendor = VendorId(id);
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
