// The console, the host's name and the clock as krv5316-check needs them, one
// implementation per system (console_posix.cpp, console_windows.cpp). A standard stream
// the program was started without is no number for a file it opens to take: output to
// it fails, as it would have.
#pragma once

#include <chrono>
#include <string>
#include <thread>

// What standard error shows: a file or pipe (None), a terminal that moves back to the
// line's start only (Plain: a Windows console that refuses virtual-terminal mode), or
// one that also takes "\033[K" (Escapes).
enum class Terminal { None, Plain, Escapes };
Terminal StandardErrorTerminal();
std::string HostName(); // empty when the system will not say

// Writes all of text (UTF-8) and makes sure it arrived: empty on success, otherwise the
// system's reason ("No space left on device"). A Windows console gets it as UTF-16,
// whatever its code page; a file or a pipe the UTF-8 bytes.
std::string WriteStandardOutput(const std::string &text);
std::string WriteStandardError(const std::string &text);

inline void SleepFor(std::chrono::microseconds time) {
    std::this_thread::sleep_for(time);
}
// The clock SleepFor lets pass.
inline std::chrono::nanoseconds SteadyNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}
