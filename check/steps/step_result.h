// What the check found on one card: each step's outcome, expected and seen texts,
// and its typed figures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// Interrupted: the step the check was in, or was about to begin, when it was asked to
// stop. Error: the step ran, but what it saw cannot judge the card either way.
enum class Outcome { Pass, Fail, Skipped, Interrupted, Error };

const char *OutcomeName(Outcome outcome); // "pass", "fail", "skipped", "interrupted", "error"

// Every figure a step gives, by its one name, the one all reports use.
namespace figure {
inline constexpr const char *kBytes = "bytes";
inline constexpr const char *kSeconds = "seconds";
inline constexpr const char *kVersionByte = "version_byte";
inline constexpr const char *kRunMs = "run_ms";
inline constexpr const char *kRunSeconds = "run_seconds";
inline constexpr const char *kLevelSamples = "level_samples";
inline constexpr const char *kCounts = "counts";
inline constexpr const char *kRatesHz = "rates_hz";
inline constexpr const char *kRateUncertaintyHz = "rate_uncertainty_hz";
inline constexpr const char *kLongestReadGapSeconds = "longest_read_gap_seconds";
inline constexpr const char *kInputsWithSignal = "inputs_with_signal";
inline constexpr const char *kExpectedHz = "expected_hz";
inline constexpr const char *kTolerancePct = "tolerance_pct";
inline constexpr const char *kPatternsPerPort = "patterns_per_port";
inline constexpr const char *kLoopback = "loopback";
} // namespace figure

// A step's measured figure, typed so that reports can give numbers as numbers.
using FigureValue =
    std::variant<bool, int64_t, double, std::string, std::vector<int64_t>, std::vector<double>>;

struct Figure {
    Figure(std::string figureName, FigureValue figureValue)
        : name(std::move(figureName)), value(std::move(figureValue)) {}
    std::string name; // one of the names in figure
    FigureValue value;
};

struct StepResult {
    std::string name;
    Outcome outcome = Outcome::Skipped;
    std::string expected;
    std::string seen;
    double seconds = 0;
    std::vector<Figure> figures;

    const FigureValue *figure(std::string_view figureName) const; // null when absent
    bool ran() const; // to its end: it passed, failed or could not judge, and says what it saw
};

// One step of one burn-in cycle that failed or could not judge the card.
struct FailureRecord {
    unsigned cycle = 0; // from 1
    std::string time;   // UTC, ISO 8601
    double seconds = 0; // into the run, on the check's clock
    std::string step;
    Outcome outcome = Outcome::Fail;
    std::string seen;
};

// What a burn-in found on one card: its cycles, and its failures, of which the first and
// the last kKeptFailures are kept and the rest only counted.
struct BurnInRecord {
    unsigned cyclesRun = 0; // to their end
    unsigned cyclesFailed = 0;
    std::vector<std::pair<std::string, unsigned>> stepFailures; // each cycle step's, in order
    std::vector<FailureRecord> firstFailures;
    std::vector<FailureRecord> lastFailures; // oldest first, after firstFailures
    unsigned long long failuresLeftOut = 0;  // between the first and the last kept

    const FailureRecord *first() const;
    const FailureRecord *last() const;
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
    // With burn-in: each step's result is that of its first failing cycle, or else of its
    // last cycle; the cycles and failures are here.
    std::optional<BurnInRecord> burnIn;

    std::string position() const;
    bool passed() const;
    const char *verdict() const; // "pass", "fail", "error" or "interrupted"
    const StepResult *firstFailure() const;
    const StepResult *firstError() const;
};
