// The go/no-go check of one KRV-5316 card: its steps in order.
#pragma once

#include "check_settings.h"
#include "step_result.h"
#include "zovak_ox9162.h"

// Runs every step on entry `index` of table.Cards and closes the card again.
CardResult CheckCard(TPoleKaret &table, unsigned index, const CheckSettings &settings);

inline constexpr unsigned kStepCount = 9;
