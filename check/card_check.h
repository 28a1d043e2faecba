// The go/no-go check of one KRV-5316 card: its steps, their outcomes and figures.
#pragma once

#include "zovak_ox9162.h"

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

enum class Outcome { Pass, Fail, Skipped };

const char *OutcomeName(Outcome outcome); // "pass", "fail", "skipped"

struct StepResult {
    std::string name;
    Outcome outcome = Outcome::Skipped;
    std::string expected;
    std::string seen;
    double seconds = 0;
    std::vector<std::pair<std::string, std::string>> figures; // name, value
};

struct CardResult {
    unsigned index = 0; // entry of Cards, as the window's grid numbers it
    uint32_t bus = 0;
    uint32_t slot = 0;
    std::string firmwareVersion; // "1.2"; empty when never read
    std::vector<StepResult> steps;

    std::string position() const;
    bool passed() const;
    const StepResult *firstFailure() const;
};

struct CheckSettings {
    std::chrono::milliseconds runTime{1500}; // how long the counters run in the count step
    bool loopback = false;                   // a plug connects DOUT to DIN
    // Lets time pass; the real one sleeps, tests advance the simulator's clock.
    std::function<void(std::chrono::microseconds)> wait;
    // Told the name of each step as it begins.
    std::function<void(const CardResult &, const std::string &step)> progress;
};

// Runs every step on entry `index` of table.Cards and closes the card again.
CardResult CheckCard(TPoleKaret &table, unsigned index, const CheckSettings &settings);

inline constexpr unsigned StepCount = 9;
