#include "check_platform.h"
#include "utf8_text.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM};

// What the handler may touch: the signal that came, and which ones it had taken over.
volatile std::sig_atomic_t interruption = 0;
volatile std::sig_atomic_t takenOver[2] = {};

extern "C" void OnInterruption(int signal) {
    interruption = signal;
    // The next signal of either kind finds its default action and ends the program.
    for (int k = 0; k < 2; ++k) {
        if (takenOver[k]) {
#ifdef _WIN32
            std::signal(kCaughtSignals[k], SIG_DFL);
#else
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            sigaction(kCaughtSignals[k], &fallback, nullptr);
#endif
        }
    }
}

std::string Reason(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

// Writes, flushes and hands the data to the device; the first failure's reason.
std::string Deliver(std::FILE *file, const std::string &text) {
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

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

std::string HostName() {
#ifdef _WIN32
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? SystemTextToUtf8(std::string(name, size))
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
    for (int k = 0; k < 2; ++k) {
#ifdef _WIN32
        // The C runtime turns Ctrl+C into SIGINT through the console's control handler.
        const auto previous = std::signal(kCaughtSignals[k], OnInterruption);
        if (previous == SIG_IGN) {
            std::signal(kCaughtSignals[k], SIG_IGN);
            continue;
        }
#else
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
#endif
        takenOver[k] = 1;
    }
}

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
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : std::to_string(signal);
}

std::chrono::nanoseconds SteadyNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

std::string WriteStandardOutput(const std::string &text) {
    return Deliver(stdout, text);
}
