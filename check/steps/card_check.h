// The go/no-go check of KRV-5316 cards: their steps in order, side by side.
#pragma once

#include "check_settings.h"
#include "step_result.h"
#include "zovak_ox9162.h"

#include <vector>

// Checks the entries `indices` of table.Cards in one thread: each card is opened and
// its firmware downloaded, card by card; then every card that took its firmware runs the
// cycle (version, clear, count, stop, zero, outputs), with all their counters in one
// count window, once or, in a burn-in, again and again; then every card the library
// opened is closed. A card that fails early only leaves the others sooner. The results
// are in the order of indices.
std::vector<CardResult> CheckCards(TPoleKaret &table, const std::vector<unsigned> &indices,
                                   const CheckSettings &settings);
// One card alone.
CardResult CheckCard(TPoleKaret &table, unsigned index, const CheckSettings &settings);

inline constexpr unsigned kStepCount = 9;
