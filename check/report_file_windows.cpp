// Report files on Windows: a device (NUL, CON) takes the report where it stands; a file
// is replaced by a new one beside it, written, committed and moved over it.
#include "check_platform.h"
#include "report_file.h"
#include "report_file_system.h"
#include "wide_text.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

using cardstep::detail::Reason;
using oxtext::Utf16;

// A device takes the text where it stands: it cannot be renamed over, nor synced.
std::string WriteInPlace(const std::string &path, const std::string &text) {
    errno = 0;
    std::FILE *file = _wfopen(Utf16(path).c_str(), L"wb");
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
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, 512, nullptr);
    std::string reason = oxtext::Utf8(std::wstring_view(text, length));
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == '.' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

// An open handle of what path names, without the right to read or write it.
HANDLE Probe(const std::string &path) {
    return CreateFileW(Utf16(path).c_str(), 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

fs::path PathOf(const std::string &name) {
    return fs::path(Utf16(name));
}

std::string NameOf(const fs::path &path) {
    return oxtext::Utf8(path.native());
}

// The file systems of Windows ignore case: they compare names upper-cased, whatever
// the language.
std::string NameKey(const std::string &name) {
    const std::wstring wide = Utf16(name);
    const int length = static_cast<int>(wide.size());
    std::wstring upper(wide.size(), L'\0');
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, upper.data(), length);
    return oxtext::Utf8(upper);
}

// Windows drops a name's trailing dots and spaces ("r.json. " is "r.json") as it makes
// the full path.
fs::path LinkTarget(const std::string &path) {
    const std::wstring wide = Utf16(path);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return PathOf(path);
        }
        if (length < full.size()) {
            full.resize(length);
            return fs::path(full);
        }
        full.resize(length);
    }
}

} // namespace cardstep::detail

std::string WriteReportFile(const std::string &path, const std::string &text) {
    const ReportInHand hold;
    if (IsDevice(path)) {
        return WriteInPlace(path, text);
    }
    const fs::path target = cardstep::detail::PathOf(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::wstring temporary;
    errno = 0;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = (folder / cardstep::detail::TemporaryName(attempt)).native();
        fd = _wopen(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
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
    if (failure.empty() && !MoveFileExW(temporary.c_str(), Utf16(path).c_str(),
                                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = WindowsReason(GetLastError());
    }
    if (!failure.empty()) {
        _wremove(temporary.c_str());
    }
    return failure;
}
