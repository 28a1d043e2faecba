#include "signals.h"

#include <csignal>
#include <windows.h>

namespace {

// The signal that came; read and written by the console's handler thread too.
volatile std::sig_atomic_t interruption = 0;

SRWLOCK reportInHand = SRWLOCK_INIT;

// The console's closing, logoff and shutdown end the process as the handler returns.
bool EndsProcess(DWORD event) {
    return event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
}

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

} // namespace

void CatchInterruptions() {
    // Ctrl+C ignored at start (a new process group) never reaches the handler.
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int InterruptingSignal() {
    return interruption;
}

std::string InterruptingSignalName(int signal) {
    return signal == SIGINT     ? "Ctrl+C"
           : signal == SIGBREAK ? "Ctrl+Break"
           : signal == SIGTERM  ? "the console closing"
                                : std::to_string(signal);
}

void TurnWriteSignalsIntoErrors() {}

void HoldInterruptions() {
    AcquireSRWLockExclusive(&reportInHand);
}

void ReleaseInterruptions() {
    ReleaseSRWLockExclusive(&reportInHand);
}
