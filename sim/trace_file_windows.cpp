#include "trace_file.h"

#include <cstdio>
#include <windows.h>

namespace oxsim::detail {

TraceFile::~TraceFile() {
    Close();
}

void TraceFile::Open(const char *path) {
    Close();
    if (path == nullptr || *path == '\0')
        return;
    // Others may read the file while the process runs, as on Linux.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "ZOVAK_OX9162.DLL: cannot create trace file %s: error %lu\n", path,
                     GetLastError());
        return;
    }
    handle_ = file;
}

bool TraceFile::IsOpen() const {
    return handle_ != nullptr;
}

void TraceFile::Write(const char *text, std::size_t length) {
    while (handle_ != nullptr && length > 0) {
        DWORD written = 0;
        const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
        if (!WriteFile(handle_, text, chunk, &written, nullptr) || written == 0)
            break;
        text += written;
        length -= written;
    }
}

void TraceFile::Close() {
    if (handle_ != nullptr)
        CloseHandle(handle_);
    handle_ = nullptr;
}

} // namespace oxsim::detail
