// What krv5316-check needs of the operating system, in one place: POSIX on Linux,
// the Windows API under mingw-w64.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

bool StderrIsTerminal();
std::string HostName();                   // empty when the system will not say
std::string UtcTimestamp(std::time_t at); // ISO 8601: "2026-12-07T08:00:30Z"

void SleepFor(std::chrono::microseconds time);

// From now on SIGINT and SIGTERM (on Windows Ctrl+C) only ask the check to stop; a
// second one ends the program at once, or once the report file in hand is complete. A
// signal ignored at start stays ignored.
void CatchInterruptions();
// From now on a write to a pipe whose reader is gone, or beyond the file size limit,
// fails with its reason instead of ending the program (SIGPIPE, SIGXFSZ; Windows has
// neither).
void TurnWriteSignalsIntoErrors();
int InterruptingSignal();                       // the first one that came; 0: none
std::string InterruptingSignalName(int signal); // "SIGINT"
std::chrono::nanoseconds SteadyNow();           // the clock SleepFor lets pass

// Writes all of text and makes sure it arrived: empty on success, otherwise the
// system's reason ("No space left on device").
std::string WriteStandardOutput(const std::string &text);
