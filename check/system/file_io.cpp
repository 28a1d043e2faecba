#include "file_io.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

std::string ErrorText(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

std::string WriteAll(int fd, const std::string &text) {
    for (std::size_t done = 0; done < text.size();) {
        const auto chunk = std::min<std::size_t>(text.size() - done, 1u << 30);
        errno = 0;
        const auto n = write(fd, text.data() + done, static_cast<unsigned>(chunk));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return ErrorText(n == 0 ? ENOSPC : errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

std::string SyncFile(int fd) {
    if (SyncDescriptor(fd) != 0 && errno != EINVAL && errno != ENOTSUP) {
        return ErrorText(errno);
    }
    return {};
}

std::string NewTemporary(const std::function<bool(const std::string &name)> &create) {
    // Made with O_EXCL: a name needs to be unlikely to be taken, not unique.
    const auto now = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char name[24];
        std::snprintf(name, sizeof name, ".krv5316-%08llx",
                      (now ^ (attempt * 0x9E3779B97F4A7C15ull)) & 0xFFFFFFFFull);
        if (create(name)) {
            return name;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}
