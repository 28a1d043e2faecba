// Step 5 of the check: every counter of every card runs for the run time in one common
// window while the input levels are sampled; their rates are measured and judged card
// by card.
#pragma once

#include "check_settings.h"

#include <cstdint>
#include <vector>

struct CountedCard {
    uintptr_t base;
    StepResult *step; // judged, or left skipped when the run is cut short
};

void CountStep(const std::vector<CountedCard> &cards, const CheckSettings &settings);
