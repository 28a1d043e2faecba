// How the check runs: what it is told, what it expects, and the limits of a run.
#pragma once

#include "step_result.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// The rates that the count step must find: one per counter (0: no signal allowed),
// each within tolerancePct per cent. An empty list asks only whether inputs count.
struct RateExpectation {
    std::vector<double> hertz;
    double tolerancePct = 0.1;
};

struct CheckSettings {
    std::chrono::milliseconds runTime{1500}; // how long the counters run in the count step
    bool loopback = false;                   // a plug connects DOUT to DIN
    RateExpectation expected;
    // Lets time pass; the real one sleeps, tests advance the simulator's clock.
    std::function<void(std::chrono::microseconds)> wait;
    // The clock on which wait lets time pass: the count step's run is measured on it.
    std::function<std::chrono::nanoseconds()> now;
    // Whether the check was asked to stop: the card is then left as soon as it safely
    // can, and closed. Unset: never.
    std::function<bool()> interrupted;
    // Told what the check is doing as each step begins ("card 1 at 2/13: count").
    std::function<void(const std::string &doing)> progress;
    // Burn-in: the cycle of steps between download and close runs this many times (0: no
    // limit) and for at most this long on the clock of now (0: no limit). The reports
    // give each card's cycles and failures only when burnIn is set.
    bool burnIn = false;
    unsigned cycles = 1;
    std::chrono::nanoseconds duration{0};
    bool stopOnFailure = false; // after the cycle in which any card failed
};

// Level samples come at a period that is no whole multiple of any input's period,
// so that even a 10 kHz input shows both of its levels.
inline constexpr std::chrono::microseconds kLevelSamplePeriod{10037};
// A healthy fast input is seen at one level only with a chance that halves with each
// sample; from 20 samples on it is below one in 500,000 per input.
inline constexpr unsigned kLeastLevelSamples = 20;
inline constexpr std::chrono::milliseconds kLeastRunTime =
    std::chrono::ceil<std::chrono::milliseconds>(kLevelSamplePeriod * kLeastLevelSamples);
inline constexpr std::chrono::milliseconds kMostRunTime{600000};
inline constexpr double kMostTolerancePct = 100; // a rate anywhere from 0 to twice the one expected
// The 32-bit counters wrap (at 100 MHz every 43 s): they are read every so many level
// samples, about once a second, and a wrap between two reads is unwrapped, which holds
// up to 4.29 GHz, far beyond what any input can carry.
inline constexpr unsigned kLevelSamplesPerCounterRead = 100;
// The fastest the card's inputs count. It bounds what a counter can move between two
// reads: a read beyond it was torn by a carry and is read again, and a gap between two
// reads that could hold a wrap at it (43 s) leaves the counts unknown.
inline constexpr double kFastestCountHz = 100e6;
// How far the counters' start or stop may lie from the clock read beside it on a sound
// system, for the run times judged before a run; a run measures its own.
inline constexpr std::chrono::microseconds kClockSlack{50};
// Burn-in's limits: as many cycles as a 32-bit count holds, for up to 30 days.
inline constexpr unsigned kMostCycles = 4000000000u;
inline constexpr std::chrono::hours kMostDuration{720};
// A burn-in keeps the first and the last failures of each card, so that an 8-hour run's
// memory and reports stay flat; the rest are counted.
inline constexpr std::size_t kKeptFailures = 8; // at each end
