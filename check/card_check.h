// The go/no-go check of one KRV-5316 card: its steps, their outcomes and figures.
#pragma once

#include "zovak_ox9162.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

enum class Outcome { Pass, Fail, Skipped };

const char *OutcomeName(Outcome outcome); // "pass", "fail", "skipped"

// A step's measured figure, typed so that reports can give numbers as numbers.
using FigureValue =
    std::variant<bool, int64_t, double, std::string, std::vector<int64_t>, std::vector<double>>;

struct Figure {
    std::string name;
    FigureValue value;
};

struct StepResult {
    std::string name;
    Outcome outcome = Outcome::Skipped;
    std::string expected;
    std::string seen;
    double seconds = 0;
    std::vector<Figure> figures;

    const FigureValue *figure(const std::string &figureName) const; // null when absent
};

struct CardResult {
    unsigned index = 0; // entry of Cards, as the window's grid numbers it
    uint32_t bus = 0;
    uint32_t slot = 0;
    std::string started;         // UTC, ISO 8601: set by the caller
    std::string firmwareVersion; // "1.2"; empty when never read
    std::vector<StepResult> steps;

    std::string position() const;
    bool passed() const;
    const StepResult *firstFailure() const;
};

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
    // Told the name of each step as it begins.
    std::function<void(const CardResult &, const std::string &step)> progress;
};

// Level samples come at a period that is no whole multiple of any input's period,
// so that even a 10 kHz input shows both of its levels.
inline constexpr std::chrono::microseconds LevelSamplePeriod{10037};
// A healthy fast input is seen at one level only with a chance that halves with each
// sample; from 20 samples on it is below one in 500,000 per input.
inline constexpr unsigned LeastLevelSamples = 20;
inline constexpr std::chrono::milliseconds LeastRunTime =
    std::chrono::ceil<std::chrono::milliseconds>(LevelSamplePeriod * LeastLevelSamples);
inline constexpr std::chrono::milliseconds MostRunTime{600000};

// Runs every step on entry `index` of table.Cards and closes the card again.
CardResult CheckCard(TPoleKaret &table, unsigned index, const CheckSettings &settings);

inline constexpr unsigned StepCount = 9;
