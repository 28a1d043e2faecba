// Small pieces that the check's steps share: all counters at once, counters named,
// a step judged.
#pragma once

#include "number_text.h"
#include "step_result.h"

#include "KRV5316_regs.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cardstep {

using Counters = std::array<uint32_t, kCounterCount>;
inline constexpr uint32_t kAllCounters = (1u << kCounterCount) - 1;

// Bit n set where has(n) holds, for each counter n.
template <class Has> uint32_t CounterMask(Has has) {
    uint32_t mask = 0;
    for (unsigned n = 0; n < kCounterCount; ++n) {
        mask |= has(n) ? 1u << n : 0;
    }
    return mask;
}

// item(n) of each bit n set in mask, separated by ", "; empty when none is.
template <class Item> std::string ListOf(uint32_t mask, Item item) {
    std::string list;
    for (unsigned n = 0; n < kCounterCount; ++n) {
        if (mask & (1u << n)) {
            list += (list.empty() ? "" : ", ") + item(n);
        }
    }
    return list;
}

std::vector<int64_t> CounterNumbers(uint32_t mask);
std::string CounterList(uint32_t mask); // "CNT3, CNT7"; "none"

Counters ReadAllCounters(uintptr_t base);
uint32_t Levels(uintptr_t base); // bit n: CNTn's input is high
void StopAll(uintptr_t base);
void ClearAll(uintptr_t base);

void Judge(StepResult &step, bool ok, std::string expected, std::string seen);
// The step ran, and what it saw judges the card neither way.
void Unjudged(StepResult &step, std::string expected, std::string seen);

} // namespace cardstep
