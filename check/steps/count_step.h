// Step 5 of the check: every counter runs for the run time while the input levels are
// sampled; their rates are measured and judged.
#pragma once

#include "check_settings.h"

#include <cstdint>

void CountStep(uintptr_t base, const CheckSettings &settings, StepResult &step);
