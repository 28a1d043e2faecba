// What the check found on one card: each step's outcome, expected and seen texts,
// and its typed figures.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// Interrupted: the step the check was in, or was about to begin, when it was asked to
// stop. Error: the step ran, but what it saw cannot judge the card either way.
enum class Outcome { Pass, Fail, Skipped, Interrupted, Error };

const char *OutcomeName(Outcome outcome); // "pass", "fail", "skipped", "interrupted", "error"

// Every figure a step gives; each has one name, the one all reports use.
enum class FigureName {
    Bytes,
    Seconds,
    VersionByte,
    RunMs,
    RunSeconds,
    LevelSamples,
    Counts,
    RatesHz,
    RateUncertaintyHz,
    LongestReadGapSeconds,
    InputsWithSignal,
    ExpectedHz,
    TolerancePct,
    PatternsPerPort,
    Loopback,
};

const char *FigureKey(FigureName name); // "rates_hz"

// A step's measured figure, typed so that reports can give numbers as numbers.
using FigureValue =
    std::variant<bool, int64_t, double, std::string, std::vector<int64_t>, std::vector<double>>;

struct Figure {
    Figure(FigureName figureName, FigureValue figureValue)
        : name(figureName), value(std::move(figureValue)) {}
    FigureName name;
    FigureValue value;
};

struct StepResult {
    std::string name;
    Outcome outcome = Outcome::Skipped;
    std::string expected;
    std::string seen;
    double seconds = 0;
    std::vector<Figure> figures;

    const FigureValue *figure(FigureName figureName) const;        // null when absent
    const FigureValue *figure(const std::string &figureKey) const; // by the reports' name
};

struct CardResult {
    unsigned index = 0;  // entry of Cards, as the window's grid numbers it
    uint32_t number = 0; // the library's card number
    uint32_t bus = 0;
    uint32_t slot = 0;
    std::string started;         // UTC, ISO 8601: set by the caller
    std::string firmwareVersion; // "1.2"; empty when never read
    std::vector<StepResult> steps;
    std::string interruptedAt; // the first step an interruption kept from its end

    std::string position() const;
    bool passed() const;
    const char *verdict() const; // "pass", "fail", "error" or "interrupted"
    const StepResult *firstFailure() const;
    const StepResult *firstError() const;
};
