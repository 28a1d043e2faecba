// Interruptions, one implementation per system (signals_posix.cpp, signals_windows.cpp).
#pragma once

#include <string>

// From now on SIGINT and SIGTERM (on Windows Ctrl+C, Ctrl+Break and the console's
// closing, logoff or shutdown) only ask the check to stop; a second one ends the
// program at once, or once the report file in hand is complete. A signal ignored at
// start stays ignored. On Windows the console's closing waits until the program ends,
// which Windows allows for a few seconds.
void CatchInterruptions();
int InterruptingSignal();                       // the first one that came; 0: none
std::string InterruptingSignalName(int signal); // "SIGINT"; on Windows "Ctrl+C"

// From now on a write to a pipe whose reader is gone, or beyond the file size limit,
// fails with its reason instead of ending the program (SIGPIPE, SIGXFSZ; Windows has
// neither).
void TurnWriteSignalsIntoErrors();

// While one lives, whatever would end the program waits until it is gone, so that no
// report file is left half written and no temporary file behind.
void HoldInterruptions();
void ReleaseInterruptions();
class InterruptionsHeld {
  public:
    InterruptionsHeld() { HoldInterruptions(); }
    ~InterruptionsHeld() { ReleaseInterruptions(); }
    InterruptionsHeld(const InterruptionsHeld &) = delete;
    InterruptionsHeld &operator=(const InterruptionsHeld &) = delete;
};
