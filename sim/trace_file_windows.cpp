#include "library_name.h"
#include "trace_file.h"
#include "wide_text.h"

#include <cstdio>
#include <windows.h>

namespace oxsim::detail {
namespace {

HANDLE AsHandle(std::intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
}

} // namespace

TraceFile::~TraceFile() {
    Close();
}

void TraceFile::Open(const char *path) {
    Close();
    if (path == nullptr || *path == '\0') {
        return;
    }
    // Others may read the file while the process runs, as on Linux. The path is UTF-8.
    HANDLE file =
        CreateFileW(oxtext::Utf16(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "%s: cannot create trace file %s: error %lu\n", kLibraryName, path,
                     GetLastError());
        return;
    }
    file_ = reinterpret_cast<std::intptr_t>(file);
    path_ = path;
}

bool TraceFile::IsOpen() const {
    return file_ != kClosed;
}

void TraceFile::Write(const char *text, std::size_t length) {
    while (file_ != kClosed && length > 0) {
        DWORD written = 0;
        const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
        if (!WriteFile(AsHandle(file_), text, chunk, &written, nullptr) || written == 0) {
            Stop("write failed");
            return;
        }
        text += written;
        length -= written;
    }
}

// Once, then no more tracing: the program goes on whatever the file does.
void TraceFile::Stop(const char *reason) {
    std::fprintf(stderr, "%s: cannot write trace file %s: %s (error %lu); tracing stopped\n",
                 kLibraryName, path_.c_str(), reason, GetLastError());
    Close();
}

void TraceFile::Close() {
    if (file_ != kClosed) {
        CloseHandle(AsHandle(file_));
    }
    file_ = kClosed;
}

} // namespace oxsim::detail
