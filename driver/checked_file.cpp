#include "checked_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace ox9162 {

namespace {

std::string KindOf(mode_t mode) {
    const char *kind = S_ISDIR(mode)                    ? "a directory"
                       : S_ISFIFO(mode)                 ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                       : S_ISLNK(mode)                  ? "a symbolic link"
                                                        : "of another kind";
    return std::string("it is ") + kind + ", not a regular file";
}

CheckedFile Refused(int error, std::string why = {}) {
    CheckedFile file;
    file.error = error;
    file.why = why.empty() ? std::strerror(error) : std::move(why);
    return file;
}

} // namespace

CheckedFile OpenRegularFile(const std::string &path, int access, Links links) {
    const bool follow = links == Links::Follow;
    struct stat seen {};
    if ((follow ? ::stat(path.c_str(), &seen) : ::lstat(path.c_str(), &seen)) != 0) {
        return Refused(errno);
    }
    if (!S_ISREG(seen.st_mode)) {
        return Refused(0, KindOf(seen.st_mode));
    }
    CheckedFile file;
    file.fd =
        UniqueFd(::open(path.c_str(), access | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW)));
    struct stat opened {};
    if (!file.fd || ::fstat(file.fd.get(), &opened) != 0) {
        return Refused(errno);
    }
    if (!S_ISREG(opened.st_mode)) {
        return Refused(0, KindOf(opened.st_mode));
    }
    if (opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
        return Refused(0, "it was replaced while being opened");
    }
    return file;
}

std::optional<std::string> ReadUpTo(const UniqueFd &fd, size_t limit, std::string &why) {
    std::string text(limit + 1, '\0');
    size_t used = 0;
    while (used < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + used, text.size() - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            why = std::strerror(errno);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<size_t>(n);
    }
    text.resize(used);
    return text;
}

} // namespace ox9162
