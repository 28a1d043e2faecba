#include "signals.h"

#include <csignal>
#include <cstring>

namespace {

// A closed terminal or ssh session (SIGHUP) and Ctrl+\ (SIGQUIT) end a run as SIGTERM does.
constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCaught = sizeof kCaughtSignals / sizeof *kCaughtSignals;

// What the handler may touch: the signal that came, and which signals it had taken over.
volatile std::sig_atomic_t interruption = 0;
volatile std::sig_atomic_t takenOver[kCaught] = {};

// The signal mask outside the report file in hand.
sigset_t unheld;

extern "C" void OnInterruption(int signal) {
    interruption = signal;
    // The next signal of either kind finds its default action and ends the program.
    for (int k = 0; k < kCaught; ++k) {
        if (takenOver[k]) {
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            sigaction(kCaughtSignals[k], &fallback, nullptr);
        }
    }
}

} // namespace

void CatchInterruptions() {
    for (int k = 0; k < kCaught; ++k) {
        struct sigaction previous {};
        sigaction(kCaughtSignals[k], nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) {
            continue;
        }
        // Two signals at once: the second waits for the handler, then finds the default.
        struct sigaction action {};
        action.sa_handler = OnInterruption;
        sigemptyset(&action.sa_mask);
        for (const int other : kCaughtSignals) {
            sigaddset(&action.sa_mask, other);
        }
        action.sa_flags = SA_RESTART;
        sigaction(kCaughtSignals[k], &action, nullptr);
        takenOver[k] = 1;
    }
}

int InterruptingSignal() {
    return interruption;
}

std::string InterruptingSignalName(int signal) {
    const char *const name = sigabbrev_np(signal);
    return name != nullptr ? std::string("SIG") + name : std::to_string(signal);
}

void TurnWriteSignalsIntoErrors() {
    for (const int signal : {SIGPIPE, SIGXFSZ}) {
        std::signal(signal, SIG_IGN);
    }
}

void HoldInterruptions() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kCaughtSignals) {
        sigaddset(&held, signal);
    }
    sigprocmask(SIG_BLOCK, &held, &unheld);
}

void ReleaseInterruptions() {
    sigprocmask(SIG_SETMASK, &unheld, nullptr);
}
