// Report files on Linux and other POSIX systems. A report goes only where the shell's
// `>` would put it: the name is opened for writing first, so the kernel's rules
// (permissions, protected links and files in sticky folders, link loops) decide, and
// what was opened decides how it is written.
#include "console.h"
#include "file_io.h"
#include "report_file.h"
#include "report_file_system.h"
#include "signals.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
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

// Which standard stream, output (1) or error (2), is open on the file, seen by another
// descriptor; 0: neither.
int StandardStreamOf(const struct stat &status, int fd = -1) {
    for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat open {};
        if (fd != stream && fstat(stream, &open) == 0 && open.st_dev == status.st_dev &&
            open.st_ino == status.st_ino) {
            return stream;
        }
    }
    return 0;
}

// Only a regular file is replaced, and not a standard stream's: what is appended to it
// must stay.
bool Replaceable(const struct stat &status, int fd = -1) {
    return S_ISREG(status.st_mode) && StandardStreamOf(status, fd) == 0;
}

std::string WriteStandardStream(int stream, const std::string &text) {
    return stream == STDOUT_FILENO ? WriteStandardOutput(text) : WriteStandardError(text);
}

// A device or a pipe takes the report where it stands; a write may wait for its reader.
std::string WriteStream(int fd, const std::string &text) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return ErrorText(errno);
    }
    const std::string failure = WriteAll(fd, text);
    return failure.empty() ? SyncFile(fd) : failure;
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
    return ErrorText(error);
}

// Written in place, the old report is gone once writing starts: the room for the new one
// is reserved first, and where there is none the old one stays as it was. A file system
// that cannot reserve room (NFSv3, vfat) still takes the report.
std::string WriteInPlace(int fd, const std::string &text, std::string &remark) {
    const auto size = static_cast<off_t>(text.size());
    if (size > 0 && fallocate(fd, 0, 0, size) != 0) {
        if (errno != EOPNOTSUPP) {
            return ErrorText(errno) +
                   " (the report can only be written in place, and no room can be reserved for "
                   "it: the old one is kept)";
        }
        remark = "written in place, without room reserved first: the file system cannot reserve it";
    }
    std::string failure = WriteAll(fd, text);
    if (failure.empty() && ftruncate(fd, size) != 0) {
        failure = ErrorText(errno);
    }
    return failure.empty() ? SyncFile(fd) : failure;
}

// The folder of the file that path reaches through any links, to be synced and to take a
// new file beside it, and the file's name there.
struct Place {
    Descriptor folder;
    std::string folderName;
    std::string name;
};

Place PlaceOf(const std::string &path) {
    Place place;
    std::string where = path;
    // A name that is no link is found through its own folder, also one deeper than any
    // full name may be.
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || S_ISLNK(status.st_mode)) {
        const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                               &std::free);
        if (!real) {
            return place;
        }
        where = real.get();
    }
    const std::size_t slash = where.rfind('/');
    place.name = slash == std::string::npos ? where : where.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : where.substr(0, slash);
    place.folder = Descriptor(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    place.folderName = folder;
    return place;
}

// The new report's file beside the old one, removed unless it was renamed over it.
class Temporary {
  public:
    explicit Temporary(int folder) : folder_(folder) {
        name_ = NewTemporary([&](const std::string &name) {
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
    // Renames it over name; errno set where that fails.
    bool RenameOver(const std::string &name) {
        if (renameat(folder_, name_.c_str(), folder_, name.c_str()) != 0) {
            return false;
        }
        name_.clear();
        return true;
    }

  private:
    int folder_;
    Descriptor file_;
    std::string name_;
};

// The folder forbids a new file or a rename, or the owner a new file of theirs; or the
// file is mounted where it stands (a container's bind mount), which no rename replaces.
bool Refused(int error) {
    return error == EACCES || error == EPERM || error == EBUSY;
}

// A new file beside the old one, with its owner, group and mode, synced and renamed over
// it, so that a failure leaves the old one as it was. Where the folder or the owner
// forbids that, the file, which may be written, is written in place.
std::string Replace(int fd, const struct stat &old, const std::string &path,
                    const std::string &text, std::string &remark) {
    // A second name, an ACL or other extended attributes would not pass to a new file.
    if (old.st_nlink > 1 || flistxattr(fd, nullptr, 0) > 0) {
        return WriteInPlace(fd, text, remark);
    }
    const Place place = PlaceOf(path);
    if (place.folder.get() < 0) {
        return Refused(errno) ? WriteInPlace(fd, text, remark) : ErrorText(errno);
    }
    Temporary temporary(place.folder.get());
    if (temporary.get() < 0) {
        // A folder of the kernel's (/proc, /sys) has files that take no report.
        return Refused(errno) ? WriteInPlace(fd, text, remark)
                              : "no new file can be made beside it, in " + place.folderName +
                                    ", to replace it whole: " + ErrorText(errno);
    }
    // Only root may give a file away, others keep at most a group of their own; the mode
    // after the owner, which clears set-user-ID and set-group-ID.
    if (fchown(temporary.get(), old.st_uid, old.st_gid) != 0 ||
        fchmod(temporary.get(), old.st_mode & 07777) != 0) {
        return WriteInPlace(fd, text, remark);
    }
    std::string failure = WriteAll(temporary.get(), text);
    if (failure.empty()) {
        failure = SyncFile(temporary.get());
    }
    if (!failure.empty()) {
        return failure;
    }
    if (!temporary.RenameOver(place.name)) {
        return Refused(errno) ? WriteInPlace(fd, text, remark) : ErrorText(errno);
    }
    return SyncFile(place.folder.get());
}

// A file the check has just made holds no earlier report: the report goes straight into
// it, and a report that does not get in whole takes the file with it.
std::string WriteNew(int fd, const std::string &path, const std::string &text) {
    std::string failure = WriteAll(fd, text);
    if (failure.empty()) {
        failure = SyncFile(fd);
    }
    const Place place = PlaceOf(path);
    if (failure.empty() && place.folder.get() >= 0) {
        failure = SyncFile(place.folder.get());
    }
    if (!failure.empty()) {
        unlink(path.c_str());
    }
    return failure;
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

namespace {

// Writes text as WriteReportFile says; a stream only where it should take text now.
std::string WriteTo(const std::string &path, const std::string &text, bool streams,
                    std::string &remark) {
    std::optional<InterruptionsHeld> held(std::in_place);
    constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_CLOEXEC;
    errno = 0;
    Descriptor file(open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666));
    const bool created = file.get() >= 0;
    if (!created && errno == EEXIST) {
        file = Descriptor(open(path.c_str(), kFlags | O_CREAT, 0666));
    }
    struct stat status {};
    if (file.get() < 0) {
        // A standard stream may be a socket, which has no file to open.
        const int error = errno;
        held.reset();
        const int stream =
            error == ENXIO && stat(path.c_str(), &status) == 0 ? StandardStreamOf(status) : 0;
        return stream == 0 ? OpenFailure(path, error)
               : streams   ? WriteStandardStream(stream, text)
                           : std::string();
    }
    if (fstat(file.get(), &status) != 0) {
        return ErrorText(errno);
    }
    if (!Replaceable(status, file.get())) {
        // A stream may wait for its reader: a signal must still end the program then.
        held.reset();
        if (!streams) {
            return {};
        }
        const int stream = StandardStreamOf(status, file.get());
        return stream != 0 ? WriteStandardStream(stream, text) : WriteStream(file.get(), text);
    }
    return created ? WriteNew(file.get(), path, text)
                   : Replace(file.get(), status, path, text, remark);
}

} // namespace

std::string WriteReportFile(const std::string &path, const std::string &text, std::string &remark) {
    return WriteTo(path, text, true, remark);
}

std::string PrepareReportFile(const std::string &path, const std::string &placeholder) {
    std::string remark;
    return WriteTo(path, placeholder, false, remark);
}
