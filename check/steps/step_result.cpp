#include "step_result.h"

#include "zovak_ox9162.h"

#include <algorithm>

namespace {

// The first of items that match takes; null when none does.
template <class Item, class Match>
const Item *FirstOf(const std::vector<Item> &items, Match match) {
    const auto found = std::find_if(items.begin(), items.end(), match);
    return found == items.end() ? nullptr : &*found;
}

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

const FigureValue *StepResult::figure(std::string_view figureName) const {
    const Figure *found =
        FirstOf(figures, [figureName](const Figure &f) { return f.name == figureName; });
    return found == nullptr ? nullptr : &found->value;
}

bool StepResult::ran() const {
    return outcome == Outcome::Pass || outcome == Outcome::Fail || outcome == Outcome::Error;
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
    return FirstOf(steps, [](const StepResult &step) { return step.outcome == Outcome::Error; });
}

const StepResult *CardResult::firstFailure() const {
    return FirstOf(steps, [](const StepResult &step) { return step.outcome == Outcome::Fail; });
}

const FailureRecord *BurnInRecord::first() const {
    return firstFailures.empty() ? nullptr : &firstFailures.front();
}

const FailureRecord *BurnInRecord::last() const {
    return !lastFailures.empty()   ? &lastFailures.back()
           : firstFailures.empty() ? nullptr
                                   : &firstFailures.back();
}
