#include "check_platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include "wide_text.h"
#include <algorithm>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The signal that came; on Windows also read and written by the console's handler
// thread.
volatile std::sig_atomic_t interruption = 0;

#ifndef _WIN32
constexpr int kCaughtSignals[] = {SIGINT, SIGTERM};

// What the handler may touch: which signals it had taken over.
volatile std::sig_atomic_t takenOver[2] = {};

extern "C" void OnInterruption(int signal) {
    interruption = signal;
    // The next signal of either kind finds its default action and ends the program.
    for (int k = 0; k < 2; ++k) {
        if (takenOver[k]) {
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            sigaction(kCaughtSignals[k], &fallback, nullptr);
        }
    }
}
#endif

std::string Reason(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

#ifdef _WIN32
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

// Standard output's or error's console; null when it goes to a file, a pipe or NUL.
HANDLE ConsoleOf(std::FILE *file) {
    const HANDLE handle = GetStdHandle(file == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
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

// The console's closing, logoff and shutdown end the process as the handler returns.
bool EndsProcess(DWORD event) {
    return event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
}

SRWLOCK reportInHand = SRWLOCK_INIT;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const int signal = event == CTRL_C_EVENT       ? SIGINT
                       : event == CTRL_BREAK_EVENT ? SIGBREAK
                                                   : SIGTERM;
    if (interruption != 0) {
        AcquireSRWLockExclusive(&reportInHand);
        ExitProcess(static_cast<UINT>(128 + signal));
    }
    interruption = signal;
    if (EndsProcess(event)) {
        // The check closes the card, writes the reports and ends the process itself.
        Sleep(INFINITE);
    }
    return TRUE;
}
#endif

// Writes, flushes and hands the data to the device; the first failure's reason.
std::string Deliver(std::FILE *file, const std::string &text) {
#ifdef _WIN32
    if (const HANDLE console = ConsoleOf(file)) {
        std::fflush(file);
        return WriteConsoleText(console, text);
    }
#endif
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0) {
        return Reason(errno);
    }
    // Only a file on a disk is synced: terminals, pipes and devices need not be, and
    // some refuse.
#ifdef _WIN32
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (GetFileType(handle) == FILE_TYPE_DISK && _commit(_fileno(file)) != 0) {
#else
    struct stat status {};
    if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) && fsync(fileno(file)) != 0 &&
        errno != EINVAL && errno != ENOTSUP) {
#endif
        return Reason(errno);
    }
    return {};
}

} // namespace

Terminal StandardErrorTerminal() {
#ifdef _WIN32
    // A console that refuses virtual-terminal mode gets no escapes.
    const HANDLE console = ConsoleOf(stderr);
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
#else
    return isatty(STDERR_FILENO) != 0 ? Terminal::Escapes : Terminal::None;
#endif
}

std::string HostName() {
#ifdef _WIN32
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? oxtext::Utf8(std::wstring_view(name, size))
                                         : std::string();
#else
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
#endif
}

std::string UtcTimestamp(std::time_t at) {
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &at);
#else
    gmtime_r(&at, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void SleepFor(std::chrono::microseconds time) {
    std::this_thread::sleep_for(time);
}

void CatchInterruptions() {
#ifdef _WIN32
    // Ctrl+C ignored at start (a new process group) never reaches the handler.
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    for (int k = 0; k < 2; ++k) {
        struct sigaction previous {};
        sigaction(kCaughtSignals[k], nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = OnInterruption;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(kCaughtSignals[k], &action, nullptr);
        takenOver[k] = 1;
    }
#endif
}

#ifdef _WIN32
ReportInHand::ReportInHand() {
    AcquireSRWLockExclusive(&reportInHand);
}

ReportInHand::~ReportInHand() {
    ReleaseSRWLockExclusive(&reportInHand);
}
#endif

void TurnWriteSignalsIntoErrors() {
#ifndef _WIN32
    for (const int signal : {SIGPIPE, SIGXFSZ}) {
        std::signal(signal, SIG_IGN);
    }
#endif
}

int InterruptingSignal() {
    return interruption;
}

std::string InterruptingSignalName(int signal) {
#ifdef _WIN32
    return signal == SIGINT     ? "Ctrl+C"
           : signal == SIGBREAK ? "Ctrl+Break"
           : signal == SIGTERM  ? "the console closing"
                                : std::to_string(signal);
#else
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : std::to_string(signal);
#endif
}

std::chrono::nanoseconds SteadyNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

std::string WriteStandardOutput(const std::string &text) {
    return Deliver(stdout, text);
}

void WriteStandardError(const std::string &text) {
#ifdef _WIN32
    if (const HANDLE console = ConsoleOf(stderr)) {
        WriteConsoleText(console, text);
        return;
    }
#endif
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}
