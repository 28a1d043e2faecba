#include "console.h"
#include "file_io.h"
#include "wide_text.h"

#include <algorithm>
#include <cstdlib>
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

// Standard output's or error's console; null when it goes to a file, a pipe or NUL.
HANDLE ConsoleOf(DWORD stream) {
    const HANDLE handle = GetStdHandle(stream);
    DWORD mode = 0;
    return handle != nullptr && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// A console shows UTF-16 as it is, whatever its code page.
std::string WriteConsoleText(HANDLE console, const std::string &text) {
    const std::wstring wide = oxtext::Utf16(text);
    for (std::size_t done = 0; done < wide.size();) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
        if (!WriteConsoleW(console, wide.data() + done, chunk, &written, nullptr) || written == 0) {
            return "cannot write to the console (error " + std::to_string(GetLastError()) + ")";
        }
        done += written;
    }
    return {};
}

// The console is shared with the shell: it gets its mode back when the check ends.
HANDLE modedConsole = nullptr;
DWORD consoleMode = 0;

extern "C" void RestoreConsoleMode() {
    SetConsoleMode(modedConsole, consoleMode);
}

} // namespace

Terminal StandardErrorTerminal() {
    // A console that refuses virtual-terminal mode gets no escapes.
    const HANDLE console = ConsoleOf(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (console == nullptr || !GetConsoleMode(console, &mode)) {
        return Terminal::None;
    }
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
        return Terminal::Escapes;
    }
    if (modedConsole != nullptr ||
        !SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        return Terminal::Plain;
    }
    modedConsole = console;
    consoleMode = mode;
    std::atexit(RestoreConsoleMode);
    return Terminal::Escapes;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? oxtext::Utf8(std::wstring_view(name, size))
                                         : std::string();
}

std::string WriteStandardOutput(const std::string &text) {
    if (const HANDLE console = ConsoleOf(STD_OUTPUT_HANDLE)) {
        return WriteConsoleText(console, text);
    }
    const std::string failure = WriteAll(1, text);
    // Only a file on a disk is synced: pipes and devices need not be, and some refuse.
    if (failure.empty() && GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_DISK) {
        return SyncFile(1);
    }
    return failure;
}

std::string WriteStandardError(const std::string &text) {
    if (const HANDLE console = ConsoleOf(STD_ERROR_HANDLE)) {
        return WriteConsoleText(console, text);
    }
    return WriteAll(2, text);
}
