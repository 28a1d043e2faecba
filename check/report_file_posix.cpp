// Report files on Linux and other POSIX systems. A report goes only where the shell's
// `>` would put it: the name is opened for writing first, so the kernel's rules
// (permissions, protected links and files in sticky folders, link loops) decide, and
// what was opened decides how it is written.
#include "check_platform.h"
#include "report_file.h"
#include "report_file_system.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

using cardstep::detail::Reason;

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    Descriptor &operator=(Descriptor &&other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

// The signals that would end the program wait while a report file is changed, so that
// no exit leaves a temporary name or half a report behind; they act once it is done.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            sigaddset(&held, signal);
        }
        sigprocmask(SIG_BLOCK, &held, &saved_);
    }
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

  private:
    sigset_t saved_{};
};

bool SameInode(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What standard output is open on, seen by a descriptor other than standard output.
bool IsStandardOutput(const struct stat &status, int fd = -1) {
    struct stat out {};
    return fd != STDOUT_FILENO && fstat(STDOUT_FILENO, &out) == 0 && SameInode(out, status);
}

// Only a regular file is replaced, and not standard output's: what is appended to it
// must stay.
bool Replaceable(const struct stat &status, int fd = -1) {
    return S_ISREG(status.st_mode) && !IsStandardOutput(status, fd);
}

std::string WriteAll(int fd, const std::string &text) {
    for (std::size_t done = 0; done < text.size();) {
        errno = 0;
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Reason(n == 0 ? ENOSPC : errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

// Hands what was written to the disk; pipes and most devices have nothing to sync.
std::string Sync(int fd) {
    if (fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) {
        return Reason(errno);
    }
    return {};
}

// A device or a pipe takes the report where it stands; a write may wait for its reader.
std::string WriteStream(int fd, const std::string &text) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return Reason(errno);
    }
    const std::string failure = WriteAll(fd, text);
    return failure.empty() ? Sync(fd) : failure;
}

// Why a name cannot be opened for writing; a pipe nobody reads fails at once.
std::string OpenFailure(const std::string &path, int error) {
    struct stat status {};
    if (error == ENXIO && stat(path.c_str(), &status) == 0) {
        if (S_ISFIFO(status.st_mode)) {
            return "nothing reads from that pipe";
        }
        if (S_ISSOCK(status.st_mode)) {
            return "that is a socket, which takes no file";
        }
    }
    return Reason(error);
}

// Written in place, the old report is gone once writing starts: the room for the new one
// is reserved first, and where that fails the old one stays as it was.
std::string WriteInPlace(int fd, const std::string &text) {
    const auto size = static_cast<off_t>(text.size());
    if (size > 0 && fallocate(fd, 0, 0, size) != 0) {
        return Reason(errno) +
               " (the report can only be written in place, and no room can be reserved for "
               "it: the old one is kept)";
    }
    std::string failure = WriteAll(fd, text);
    if (failure.empty() && ftruncate(fd, size) != 0) {
        failure = Reason(errno);
    }
    return failure.empty() ? Sync(fd) : failure;
}

// The folder and the name of the file actually opened, as the kernel reached it.
struct Location {
    Descriptor folder;
    bool syncable = true; // the folder could be opened to be synced
    bool byKernel = true; // found through /proc, which also links an unnamed file
    std::string name;
    std::string failure;
};

void Locate(int fd, const std::string &path, Location &at) {
    std::string where(PATH_MAX, '\0');
    const ssize_t length =
        readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), where.data(), where.size());
    if (length > 0 && length < static_cast<ssize_t>(where.size())) {
        where.resize(static_cast<std::size_t>(length));
    } else if (const std::unique_ptr<char, decltype(&std::free)> real(
                   realpath(path.c_str(), nullptr), &std::free);
               real) {
        where = real.get();
        at.byKernel = false;
    } else {
        at.failure = Reason(errno);
        return;
    }
    const std::size_t slash = where.rfind('/');
    const std::string folder = slash == 0 ? "/" : where.substr(0, slash);
    at.name = where.substr(slash + 1);
    at.folder = Descriptor(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (at.folder.get() < 0) {
        // A folder that may be searched but not read still takes the new file.
        at.syncable = false;
        at.folder = Descriptor(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    if (at.folder.get() < 0) {
        at.failure = Reason(errno);
    }
}

// The new report's file in the folder. Where the file system allows, it has no name
// until it is complete, so no exit, not even SIGKILL, leaves it behind; a name it has
// is removed unless it was renamed over the report.
class Temporary {
  public:
    explicit Temporary(const Location &at) : folder_(at.folder.get()) {
        if (at.byKernel) {
            file_ = Descriptor(openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
            if (file_.get() >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
                return;
            }
        }
        Name([&](const std::string &name) {
            file_ = Descriptor(
                openat(folder_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            return file_.get() >= 0;
        });
    }
    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;
    ~Temporary() {
        if (!name_.empty()) {
            unlinkat(folder_, name_.c_str(), 0);
        }
    }
    int get() const { return file_.get(); }

    // The name to rename over the report; empty, with errno set, if it cannot have one.
    const std::string &Named() {
        if (name_.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
            Name([&](const std::string &name) {
                return linkat(AT_FDCWD, self.c_str(), folder_, name.c_str(), AT_SYMLINK_FOLLOW) ==
                       0;
            });
        }
        return name_;
    }
    void Renamed() { name_.clear(); }

  private:
    template <class Make> void Name(Make make) {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::string name = cardstep::detail::TemporaryName(attempt);
            if (make(name)) {
                name_ = name;
                return;
            }
            if (errno != EEXIST) {
                return;
            }
        }
    }

    int folder_;
    Descriptor file_;
    std::string name_;
};

// The folder forbids a new file or a rename, or the owner a new file of theirs.
bool Refused(int error) {
    return error == EACCES || error == EPERM;
}

// A new file beside the old one, with its owner, group and mode, synced and renamed over
// it, so that a failure leaves the old one as it was. Where the folder or the owner
// forbids that, the file, which may be written, is written in place.
std::string ReplaceAt(int fd, const struct stat &old, const Location &at, const std::string &text) {
    Temporary temporary(at);
    if (temporary.get() < 0) {
        return Refused(errno) ? WriteInPlace(fd, text) : Reason(errno);
    }
    // Only root may give a file away, others keep at most a group of their own; the mode
    // after the owner, which clears set-user-ID and set-group-ID.
    if (fchown(temporary.get(), old.st_uid, old.st_gid) != 0 ||
        fchmod(temporary.get(), old.st_mode & 07777) != 0) {
        return WriteInPlace(fd, text);
    }
    std::string failure = WriteAll(temporary.get(), text);
    if (failure.empty()) {
        failure = Sync(temporary.get());
    }
    if (!failure.empty()) {
        return failure;
    }
    const std::string &name = temporary.Named();
    if (name.empty()) {
        return Reason(errno);
    }
    struct stat now {};
    if (fstatat(at.folder.get(), at.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !SameInode(now, old)) {
        return "it was moved or replaced while the report was written";
    }
    if (renameat(at.folder.get(), name.c_str(), at.folder.get(), at.name.c_str()) != 0) {
        return Refused(errno) ? WriteInPlace(fd, text) : Reason(errno);
    }
    temporary.Renamed();
    return at.syncable ? Sync(at.folder.get()) : std::string();
}

} // namespace

namespace cardstep::detail {

bool ExistingReach(const std::string &path, Reach &reach) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return false;
    }
    reach = {true, !Replaceable(status), status.st_dev, status.st_ino, {}};
    return true;
}

fs::path PathOf(const std::string &name) {
    return name;
}

std::string NameOf(const fs::path &path) {
    return path.string();
}

std::string NameKey(const std::string &name) {
    return name;
}

fs::path LinkTarget(const std::string &path) {
    fs::path target = path;
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(target, error); ++hops) {
        const fs::path next = fs::read_symlink(target, error);
        if (error) {
            break;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

} // namespace cardstep::detail

std::string WriteReportFile(const std::string &path, const std::string &text) {
    std::optional<SignalsHeld> held(std::in_place);
    constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_CLOEXEC;
    errno = 0;
    Descriptor file(open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666));
    const bool created = file.get() >= 0;
    if (!created && errno == EEXIST) {
        file = Descriptor(open(path.c_str(), kFlags | O_CREAT, 0666));
    }
    struct stat status {};
    if (file.get() < 0) {
        // Standard output may be a socket, which has no file to open.
        const int error = errno;
        held.reset();
        return error == ENXIO && stat(path.c_str(), &status) == 0 && IsStandardOutput(status)
                   ? WriteStandardOutput(text)
                   : OpenFailure(path, error);
    }
    if (fstat(file.get(), &status) != 0) {
        return Reason(errno);
    }
    if (!Replaceable(status, file.get())) {
        held.reset();
        return IsStandardOutput(status, file.get()) ? WriteStandardOutput(text)
                                                    : WriteStream(file.get(), text);
    }
    Location at;
    Locate(file.get(), path, at);
    std::string failure = at.failure.empty() ? ReplaceAt(file.get(), status, at, text) : at.failure;
    // A report that never got into the file it made leaves no empty file.
    struct stat now {};
    if (!failure.empty() && created && at.failure.empty() &&
        fstatat(at.folder.get(), at.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameInode(now, status)) {
        unlinkat(at.folder.get(), at.name.c_str(), 0);
    }
    return failure;
}
