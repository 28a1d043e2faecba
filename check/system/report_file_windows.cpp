// Report files on Windows: a device (NUL, CON) takes the report where it stands; a file
// is replaced by a new one beside it, written, committed and moved over it.
#include "file_io.h"
#include "report_file.h"
#include "report_file_system.h"
#include "signals.h"
#include "wide_text.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

using oxtext::Utf16;

// A device takes the text where it stands: it cannot be renamed over, nor synced.
std::string WriteDevice(const std::string &path, const std::string &text) {
    errno = 0;
    const int fd = _wopen(Utf16(path).c_str(), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        return ErrorText(errno);
    }
    std::string failure = WriteAll(fd, text);
    errno = 0;
    if (_close(fd) != 0 && failure.empty()) {
        failure = ErrorText(errno);
    }
    return failure;
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

// The console by its device names (CON, CONOUT$, CONIN$), which take no file: Windows
// opens them only as the console's own handles.
bool IsConsole(const std::string &path) {
    const std::wstring name = fs::path(Utf16(path)).filename().native();
    std::wstring upper(name.size(), L'\0');
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()),
                 upper.data(), static_cast<int>(upper.size()));
    return upper == L"CON" || upper == L"CONOUT$" || upper == L"CONIN$";
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

namespace {

// Writes text as WriteReportFile says; a device only where it should take text now.
std::string WriteTo(const std::string &path, const std::string &text, bool devices) {
    const InterruptionsHeld held;
    if (IsConsole(path)) {
        return "the console takes no report file: the text report is on standard output";
    }
    if (IsDevice(path)) {
        return WriteDevice(path, devices ? text : std::string());
    }
    // A read-only report is refused, as cmd's `>` refuses it; a hidden or system one stays
    // so once replaced.
    const DWORD attributes = GetFileAttributesW(Utf16(path).c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return "the file is read-only";
    }
    const fs::path target = cardstep::detail::PathOf(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::wstring temporary;
    int fd = -1;
    errno = 0;
    if (NewTemporary([&](const std::string &name) {
            temporary = (folder / cardstep::detail::PathOf(name)).native();
            fd = _wopen(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
            return fd >= 0;
        }).empty()) {
        return ErrorText(errno);
    }
    std::string failure = WriteAll(fd, text);
    if (failure.empty()) {
        failure = SyncFile(fd);
    }
    errno = 0;
    if (_close(fd) != 0 && failure.empty()) {
        failure = ErrorText(errno);
    }
    if (failure.empty() && !MoveFileExW(temporary.c_str(), Utf16(path).c_str(),
                                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = WindowsReason(GetLastError());
    }
    if (!failure.empty()) {
        _wremove(temporary.c_str());
    } else if (const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
               existed && kept != 0) {
        SetFileAttributesW(Utf16(path).c_str(), kept);
    }
    return failure;
}

} // namespace

std::string WriteReportFile(const std::string &path, const std::string &text, std::string &) {
    return WriteTo(path, text, true);
}

std::string PrepareReportFile(const std::string &path, const std::string &placeholder) {
    return WriteTo(path, placeholder, false);
}
