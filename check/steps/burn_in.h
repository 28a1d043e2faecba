// Burn-in's bookkeeping: what one card's cycle adds to its results and its record.
#pragma once

#include "step_result.h"

#include <string>
#include <vector>

// A cycle's step results taken into the card's: a step keeps the result of its first
// cycle that failed or could not judge, and otherwise takes its latest.
void MergeCycle(CardResult &card, std::vector<StepResult> &cycle);

// A cycle that ran to its end, counted in record: each step that failed or could not
// judge the card is counted, and recorded while it is among the first or the last
// kKeptFailures. Whether the cycle failed.
bool RecordCycle(BurnInRecord &record, const std::vector<StepResult> &cycle, unsigned number,
                 double seconds, const std::string &time);
