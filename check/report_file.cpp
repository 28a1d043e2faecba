#include "report_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string Reason(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

// The file's own identity where it exists, else its directory's and its name's.
struct Identity {
    bool known = false;
    unsigned long long device = 0;
    unsigned long long file = 0;
    std::string name; // empty for an existing file
    bool operator==(const Identity &) const = default;
};

// Writes all of text to a descriptor and hands it to the disk.
std::string WriteAndSync(int fd, const std::string &text) {
    for (std::size_t done = 0; done < text.size();) {
        errno = 0;
#ifdef _WIN32
        const int n = _write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
#else
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
#endif
        if (n <= 0) {
            return Reason(n == 0 ? ENOSPC : errno);
        }
        done += static_cast<std::size_t>(n);
    }
#ifdef _WIN32
    if (_commit(fd) != 0) {
#else
    if (fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) {
#endif
        return Reason(errno);
    }
    return {};
}

#ifdef _WIN32

// A device takes the text where it stands: it cannot be renamed over, nor synced.
std::string WriteInPlace(const std::string &path, const std::string &text) {
    errno = 0;
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return Reason(errno);
    }
    errno = 0;
    const bool written =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    std::string failure = written ? std::string() : Reason(errno);
    errno = 0;
    if (std::fclose(file) != 0 && failure.empty()) {
        failure = Reason(errno);
    }
    return failure;
}

std::string WindowsReason(DWORD error) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == '.' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

// An open handle of what path names, without the right to read or write it.
HANDLE Probe(const std::string &path) {
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool ExistingIdentity(const std::string &path, Identity &identity) {
    const HANDLE handle = Probe(path);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    identity = {known,
                info.dwVolumeSerialNumber,
                (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                {}};
    return known;
}

bool IsDevice(const std::string &path) {
    const HANDLE handle = Probe(path);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool device = GetFileType(handle) != FILE_TYPE_DISK;
    CloseHandle(handle);
    return device;
}

// The file systems of Windows ignore case: they compare names upper-cased, whatever
// the language.
std::string NameKey(const std::string &name) {
    const int size = static_cast<int>(name.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), length);
    std::wstring upper(wide.size(), L'\0');
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, upper.data(), length);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, upper.data(), length, nullptr, 0, nullptr, nullptr);
    std::string key(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, upper.data(), length, key.data(), bytes, nullptr, nullptr);
    return key;
}

fs::path Resolved(const std::string &path) {
    return fs::path(path);
}

#else

bool ExistingIdentity(const std::string &path, Identity &identity) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return false;
    }
    identity = {true, status.st_dev, status.st_ino, {}};
    return true;
}

bool IsDevice(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

std::string NameKey(const std::string &name) {
    return name;
}

// The file a name leads to through symbolic links, also a link to a file not made yet,
// so that the report replaces that file and not the link.
fs::path Resolved(const std::string &path) {
    fs::path resolved = path;
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(resolved, error); ++hops) {
        const fs::path target = fs::read_symlink(resolved, error);
        if (error) {
            break;
        }
        resolved = target.is_absolute() ? target : resolved.parent_path() / target;
    }
    return resolved;
}

// Opens what path names to be written where it stands. Without a reader a pipe would
// hold the open forever: it fails at once instead, and writes wait as usual.
int OpenInPlace(const std::string &path) {
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

std::string WriteTo(int fd, const std::string &text) {
    std::string failure = WriteAndSync(fd, text);
    errno = 0;
    if (close(fd) != 0 && failure.empty()) {
        failure = Reason(errno);
    }
    return failure;
}

std::string WriteInPlace(const std::string &path, const std::string &text) {
    errno = 0;
    const int fd = OpenInPlace(path);
    if (fd < 0) {
        return errno == ENXIO ? "nothing reads from that pipe" : Reason(errno);
    }
    return WriteTo(fd, text);
}

// The folder forbids a new file or a rename, where the file itself may still be written.
bool Refused(int error) {
    return error == EACCES || error == EPERM;
}

// A new file beside the old one, renamed over it, keeps the old one's owner, group and
// permissions. Where the folder or the owner forbids that, a file that may be written
// is written where it stands: not in one step, but as before.
std::string Replace(const fs::path &target, const std::string &text) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    struct stat old {};
    const bool exists = stat(target.c_str(), &old) == 0;
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const auto inPlaceOr = [&](int error, const std::string &why) {
        const int direct = exists && Refused(error) ? OpenInPlace(target) : -1;
        if (direct >= 0) {
            return WriteTo(direct, text);
        }
        return Refused(error) ? Reason(error) + " (" + why + ")" : Reason(error);
    };
    errno = 0;
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return inPlaceOr(errno, "no new file can be made in " + folder.string());
    }
    bool kept = true;
    mode_t mode = 0;
    if (exists) {
        // Only root may give a file away; others keep at most a group of their own.
        if ((old.st_uid != geteuid() || old.st_gid != getegid()) &&
            fchown(fd, old.st_uid, old.st_gid) != 0) {
            kept = false;
        }
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    // Set after the owner, which clears set-user-ID and set-group-ID.
    if (fchmod(fd, mode) != 0 && exists) {
        kept = false;
    }
    if (!kept) {
        const int direct = OpenInPlace(target);
        if (direct >= 0) {
            close(fd);
            unlink(temporary.c_str());
            return WriteTo(direct, text);
        }
    }
    std::string failure = WriteTo(fd, text);
    if (!failure.empty()) {
        unlink(temporary.c_str());
        return failure;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return inPlaceOr(error, folder.string() + " lets no file be replaced");
    }
    return {};
}

#endif

Identity IdentityOf(const std::string &name) {
    const fs::path path = Resolved(name);
    Identity identity;
    if (ExistingIdentity(path.string(), identity)) {
        return identity;
    }
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (ExistingIdentity(parent.string(), identity)) {
        identity.name = NameKey(path.filename().string());
    }
    return identity;
}

} // namespace

bool SameFile(const std::string &a, const std::string &b) {
    const Identity first = IdentityOf(a);
    const Identity second = IdentityOf(b);
    if (first.known && second.known) {
        return first == second;
    }
    // Neither the file nor its folder exists: then only the spelling can tell.
    std::error_code error;
    return NameKey(fs::absolute(a, error).lexically_normal().string()) ==
           NameKey(fs::absolute(b, error).lexically_normal().string());
}

std::string WriteReportFile(const std::string &path, const std::string &text) {
    const fs::path target = Resolved(path);
    if (IsDevice(target.string())) {
        return WriteInPlace(target.string(), text);
    }
#ifdef _WIN32
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = (folder / ("." + target.filename().string())).string();
    std::string temporary;
    errno = 0;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = prefix + "." + std::to_string(_getpid()) + "-" + std::to_string(attempt);
        fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        return Reason(errno);
    }
    std::string failure = WriteAndSync(fd, text);
    errno = 0;
    if (_close(fd) != 0 && failure.empty()) {
        failure = Reason(errno);
    }
    if (failure.empty() && !MoveFileExA(temporary.c_str(), target.string().c_str(),
                                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = WindowsReason(GetLastError());
    }
    if (!failure.empty()) {
        std::remove(temporary.c_str());
    }
    return failure;
#else
    return Replace(target, text);
#endif
}
