#include "step_tools.h"

namespace cardstep {

std::vector<int64_t> CounterNumbers(uint32_t mask) {
    std::vector<int64_t> numbers;
    for (unsigned n = 0; n < kCounterCount; ++n) {
        if (mask & (1u << n)) {
            numbers.push_back(n);
        }
    }
    return numbers;
}

std::string CounterList(uint32_t mask) {
    const std::string list = ListOf(mask, [](unsigned n) { return "CNT" + Decimal(n); });
    return list.empty() ? "none" : list;
}

Counters ReadAllCounters(uintptr_t base) {
    Counters values{};
    for (unsigned n = 0; n < kCounterCount; ++n) {
        values[n] = ReadCounter(base, n);
    }
    return values;
}

uint32_t Levels(uintptr_t base) {
    return MaskBits(ReadInputLevels(base));
}

void StopAll(uintptr_t base) {
    WriteStartStop(base, 0x00, 0x00, 0x00);
}
void ClearAll(uintptr_t base) {
    WriteClearMask(base, 0xFF, 0xFF, 0xFF);
}

void Judge(StepResult &step, bool ok, std::string expected, std::string seen) {
    step.outcome = ok ? Outcome::Pass : Outcome::Fail;
    step.expected = std::move(expected);
    step.seen = std::move(seen);
}

void Unjudged(StepResult &step, std::string expected, std::string seen) {
    Judge(step, false, std::move(expected), std::move(seen));
    step.outcome = Outcome::Error;
}

} // namespace cardstep
