// Report files on Windows: a device (NUL, CON) takes the report where it stands; a file
// is replaced by a new one beside it, written, committed and moved over it.
#include "report_file.h"
#include "report_file_system.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

using cardstep::detail::Reason;

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

std::string WriteAndCommit(int fd, const std::string &text) {
    for (std::size_t done = 0; done < text.size();) {
        errno = 0;
        const int n = _write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
        if (n <= 0) {
            return Reason(n == 0 ? ENOSPC : errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return _commit(fd) != 0 ? Reason(errno) : std::string();
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

bool IsDevice(const std::string &path) {
    const HANDLE handle = Probe(path);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool device = GetFileType(handle) != FILE_TYPE_DISK;
    CloseHandle(handle);
    return device;
}

} // namespace

namespace cardstep::detail {

bool ExistingReach(const std::string &path, Reach &reach) {
    const HANDLE handle = Probe(path);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    const bool device = GetFileType(handle) != FILE_TYPE_DISK;
    CloseHandle(handle);
    reach = {known || device,
             device,
             info.dwVolumeSerialNumber,
             (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
             {}};
    return reach.known;
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

fs::path LinkTarget(const std::string &path) {
    return fs::path(path);
}

} // namespace cardstep::detail

std::string WriteReportFile(const std::string &path, const std::string &text) {
    if (IsDevice(path)) {
        return WriteInPlace(path, text);
    }
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temporary;
    errno = 0;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = (folder / cardstep::detail::TemporaryName(attempt)).string();
        fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        return Reason(errno);
    }
    std::string failure = WriteAndCommit(fd, text);
    errno = 0;
    if (_close(fd) != 0 && failure.empty()) {
        failure = Reason(errno);
    }
    if (failure.empty() && !MoveFileExA(temporary.c_str(), path.c_str(),
                                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = WindowsReason(GetLastError());
    }
    if (!failure.empty()) {
        std::remove(temporary.c_str());
    }
    return failure;
}
