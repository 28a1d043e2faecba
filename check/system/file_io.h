// Writing through file descriptors, the same on every system.
#pragma once

#include <functional>
#include <string>

#ifdef _WIN32
#include <io.h>
inline int SyncDescriptor(int fd) {
    return _commit(fd);
}
#else
#include <unistd.h>
inline int SyncDescriptor(int fd) {
    return fsync(fd);
}
#endif

std::string ErrorText(int error); // "No space left on device"

// Each returns empty on success, otherwise the reason.
std::string WriteAll(int fd, const std::string &text);
// Hands what was written to the disk; pipes, terminals and most devices have nothing to
// sync, which is no failure.
std::string SyncFile(int fd);

// A new file beside a report, made by create(name), which fails with EEXIST where the
// name is taken: its name, or empty with errno set. Names are short, so that a report's
// name of up to 255 bytes leaves room for them.
std::string NewTemporary(const std::function<bool(const std::string &name)> &create);
