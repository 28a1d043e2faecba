#include "burn_in.h"

#include "check_settings.h"

#include <algorithm>

void MergeCycle(CardResult &card, std::vector<StepResult> &cycle) {
    for (StepResult &fresh : cycle) {
        for (StepResult &kept : card.steps) {
            if (kept.name == fresh.name &&
                (kept.outcome == Outcome::Pass || kept.outcome == Outcome::Skipped)) {
                kept = std::move(fresh);
            }
        }
    }
}

bool RecordCycle(BurnInRecord &record, const std::vector<StepResult> &cycle, unsigned number,
                 double seconds, const std::string &time) {
    bool failed = false;
    for (const StepResult &step : cycle) {
        if (step.outcome != Outcome::Fail && step.outcome != Outcome::Error) {
            continue;
        }
        failed = true;
        auto counted =
            std::find_if(record.stepFailures.begin(), record.stepFailures.end(),
                         [&step](const auto &entry) { return entry.first == step.name; });
        if (counted == record.stepFailures.end()) {
            counted = record.stepFailures.insert(counted, {step.name, 0});
        }
        ++counted->second;
        FailureRecord failure{number, time, seconds, step.name, step.outcome, step.seen};
        if (record.firstFailures.size() < kKeptFailures) {
            record.firstFailures.push_back(std::move(failure));
            continue;
        }
        if (record.lastFailures.size() == kKeptFailures) {
            record.lastFailures.erase(record.lastFailures.begin());
            ++record.failuresLeftOut;
        }
        record.lastFailures.push_back(std::move(failure));
    }
    ++record.cyclesRun;
    record.cyclesFailed += failed ? 1 : 0;
    return failed;
}
