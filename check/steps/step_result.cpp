#include "step_result.h"

#include "zovak_ox9162.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<FigureName, const char *>, 15> kFigureKeys{{
    {FigureName::Bytes, "bytes"},
    {FigureName::Seconds, "seconds"},
    {FigureName::VersionByte, "version_byte"},
    {FigureName::RunMs, "run_ms"},
    {FigureName::RunSeconds, "run_seconds"},
    {FigureName::LevelSamples, "level_samples"},
    {FigureName::Counts, "counts"},
    {FigureName::RatesHz, "rates_hz"},
    {FigureName::RateUncertaintyHz, "rate_uncertainty_hz"},
    {FigureName::LongestReadGapSeconds, "longest_read_gap_seconds"},
    {FigureName::InputsWithSignal, "inputs_with_signal"},
    {FigureName::ExpectedHz, "expected_hz"},
    {FigureName::TolerancePct, "tolerance_pct"},
    {FigureName::PatternsPerPort, "patterns_per_port"},
    {FigureName::Loopback, "loopback"},
}};

} // namespace

const char *OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Pass:
        return "pass";
    case Outcome::Fail:
        return "fail";
    case Outcome::Interrupted:
        return "interrupted";
    case Outcome::Error:
        return "error";
    case Outcome::Skipped:
        break;
    }
    return "skipped";
}

const char *FigureKey(FigureName name) {
    for (const auto &[figure, key] : kFigureKeys) {
        if (figure == name) {
            return key;
        }
    }
    return "";
}

const FigureValue *StepResult::figure(FigureName figureName) const {
    for (const Figure &f : figures) {
        if (f.name == figureName) {
            return &f.value;
        }
    }
    return nullptr;
}

const FigureValue *StepResult::figure(const std::string &figureKey) const {
    for (const Figure &f : figures) {
        if (FigureKey(f.name) == figureKey) {
            return &f.value;
        }
    }
    return nullptr;
}

std::string CardResult::position() const {
    return CardPosition(bus, slot);
}

bool CardResult::passed() const {
    return firstFailure() == nullptr && firstError() == nullptr && !steps.empty() &&
           interruptedAt.empty();
}

const char *CardResult::verdict() const {
    return passed()                    ? "pass"
           : firstFailure() != nullptr ? "fail"
           : firstError() != nullptr   ? "error"
           : interruptedAt.empty()     ? "fail"
                                       : "interrupted";
}

const StepResult *CardResult::firstError() const {
    for (const StepResult &step : steps) {
        if (step.outcome == Outcome::Error) {
            return &step;
        }
    }
    return nullptr;
}

const StepResult *CardResult::firstFailure() const {
    for (const StepResult &step : steps) {
        if (step.outcome == Outcome::Fail) {
            return &step;
        }
    }
    return nullptr;
}
