#include "trace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace oxsim::detail {

TraceFile::~TraceFile() {
    Close();
}

void TraceFile::Open(const char *path) {
    Close();
    if (path == nullptr || *path == '\0')
        return;
    fd_ = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0)
        std::fprintf(stderr, "libzovak_ox9162: cannot create trace file %s: %s\n", path,
                     std::strerror(errno));
}

bool TraceFile::IsOpen() const {
    return fd_ >= 0;
}

void TraceFile::Write(const char *text, std::size_t length) {
    while (fd_ >= 0 && length > 0) {
        const ssize_t n = write(fd_, text, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        length -= static_cast<std::size_t>(n);
    }
}

void TraceFile::Close() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

} // namespace oxsim::detail
