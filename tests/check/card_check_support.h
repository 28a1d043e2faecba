// The check's steps run in process on the simulator's virtual clock, which only the
// check's waits move: what the card-check tests share.
#pragma once

#include "card_check.h"
#include "sim_control.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

struct CheckedCards {
    std::vector<CardResult> cards;
    std::vector<std::string> trace;
    std::chrono::nanoseconds elapsed{};
};

// Checks every KRV-5316 of `cards`. The check is held up for `stall` at its 100th wait,
// as a stopped process would be, and interrupted from its `stopAt`-th wait on (0: never).
inline CheckedCards CheckOnVirtualClock(const std::string &cards, CheckSettings settings,
                                        std::chrono::microseconds stall = {}, unsigned stopAt = 0) {
    std::string error;
    oxsim::KeepTrace();
    EXPECT_TRUE(oxsim::Configure(cards, &error)) << error;
    oxsim::UseVirtualClock();
    TPoleKaret table;
    EXPECT_TRUE(FindCards(0x0123, table));
    std::vector<unsigned> all;
    for (unsigned k = 1; k <= table.CountFound; ++k) {
        all.push_back(k);
    }
    auto elapsed = std::make_shared<std::chrono::nanoseconds>(0);
    auto waits = std::make_shared<unsigned>(0);
    settings.wait = [elapsed, waits, stall](std::chrono::microseconds time) {
        const auto held = ++*waits == 100 ? stall : time.zero();
        oxsim::AdvanceClock(time + held);
        *elapsed += time + held;
    };
    settings.now = [elapsed] { return *elapsed; };
    if (stopAt != 0) {
        settings.interrupted = [waits, stopAt] { return *waits >= stopAt; };
    }
    CheckedCards checked{CheckCards(table, all, settings), {}, {}};
    checked.trace = oxsim::Trace();
    checked.elapsed = *elapsed;
    return checked;
}

// One letter a step: p, f, s, i, e.
inline std::string Outcomes(const CardResult &card) {
    std::string text;
    for (const StepResult &step : card.steps) {
        text += std::string(OutcomeName(step.outcome)).substr(0, 1);
    }
    return text;
}

// The first line of the trace from `from` on that begins so; the trace's size if none.
inline std::size_t FirstLine(const std::vector<std::string> &trace, const std::string &begin,
                             std::size_t from = 0) {
    for (std::size_t k = from; k < trace.size(); ++k) {
        if (trace[k].rfind(begin, 0) == 0) {
            return k;
        }
    }
    return trace.size();
}
