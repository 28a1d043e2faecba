// Files from outside (the configuration, sysfs attributes) opened so that nothing odd in
// their place can hold or start anything: looked at before they are opened, so only a
// regular file is, opened without blocking, and looked at again through the descriptor
// to be sure it is the file that was looked at. A FIFO would block a reader for ever, a
// device may act on being opened (a watchdog starts).
#pragma once

#include "unique_fd.h"

#include <cstddef>
#include <optional>
#include <string>

namespace ox9162 {

enum class Links {
    Follow, // the path may be a symbolic link to the file
    Refuse, // the file itself, never a link in its place
};

struct CheckedFile {
    UniqueFd fd;     // empty when refused
    int error = 0;   // errno when the system refused it; 0 for a file of the wrong kind
    std::string why; // the reason when refused, e.g. "it is a FIFO, not a regular file"
};

// Opens `path` for `access` (O_RDONLY, O_WRONLY or O_RDWR) when it is a regular file.
CheckedFile OpenRegularFile(const std::string &path, int access, Links links);

// The first `limit` bytes of an open file and one more, so a caller sees when it is
// longer; nullopt with the reason in `why` when it cannot be read.
std::optional<std::string> ReadUpTo(const UniqueFd &fd, size_t limit, std::string &why);

} // namespace ox9162
