// What krv5316-check needs of the operating system, in one place: POSIX on Linux,
// the Windows API under mingw-w64.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

// What standard error shows: a file or pipe (None), a terminal that moves back to the
// line's start only (Plain: a Windows console that refuses virtual-terminal mode), or
// one that also takes "\033[K" (Escapes).
enum class Terminal { None, Plain, Escapes };
Terminal StandardErrorTerminal();
std::string HostName();                   // empty when the system will not say
std::string UtcTimestamp(std::time_t at); // ISO 8601: "2026-12-07T08:00:30Z"

void SleepFor(std::chrono::microseconds time);

// From now on SIGINT and SIGTERM (on Windows Ctrl+C, Ctrl+Break and the console's
// closing, logoff or shutdown) only ask the check to stop; a second one ends the
// program at once, or once the report file in hand is complete. A signal ignored at
// start stays ignored. On Windows the console's closing waits until the program ends,
// which Windows allows for a few seconds.
void CatchInterruptions();
#ifdef _WIN32
// While one lives, a second interruption waits for it before it ends the program, so
// that no report file is left half written (POSIX blocks the signals instead).
class ReportInHand {
  public:
    ReportInHand();
    ~ReportInHand();
    ReportInHand(const ReportInHand &) = delete;
    ReportInHand &operator=(const ReportInHand &) = delete;
};
#endif
// From now on a write to a pipe whose reader is gone, or beyond the file size limit,
// fails with its reason instead of ending the program (SIGPIPE, SIGXFSZ; Windows has
// neither).
void TurnWriteSignalsIntoErrors();
int InterruptingSignal();                       // the first one that came; 0: none
std::string InterruptingSignalName(int signal); // "SIGINT"; on Windows "Ctrl+C"
std::chrono::nanoseconds SteadyNow();           // the clock SleepFor lets pass

// Writes all of text (UTF-8) and makes sure it arrived: empty on success, otherwise the
// system's reason ("No space left on device"). A Windows console gets it as UTF-16,
// whatever its code page; a file or a pipe the UTF-8 bytes.
std::string WriteStandardOutput(const std::string &text);
void WriteStandardError(const std::string &text); // as well as it can
