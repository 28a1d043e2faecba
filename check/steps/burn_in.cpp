#include "burn_in.h"

#include "check_settings.h"

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
    if (record.stepFailures.empty()) {
        for (const StepResult &step : cycle) {
            record.stepFailures.emplace_back(step.name, 0);
        }
    }
    bool failed = false;
    for (std::size_t k = 0; k < cycle.size(); ++k) {
        const StepResult &step = cycle[k];
        if (step.outcome != Outcome::Fail && step.outcome != Outcome::Error) {
            continue;
        }
        failed = true;
        ++record.stepFailures[k].second;
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
