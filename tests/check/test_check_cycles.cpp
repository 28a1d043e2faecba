// Several cards checked side by side, and burn-in cycles, on the simulator's virtual
// clock, which only the check's waits move.
#include "card_check_support.h"
#include "check_options.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace std::chrono_literals;

CheckSettings BurnIn(unsigned cycles, std::chrono::milliseconds runTime = 201ms) {
    CheckSettings settings;
    settings.burnIn = true;
    settings.cycles = cycles;
    settings.runTime = runTime;
    return settings;
}

TEST(CheckCards, CardsShareOneCountWindowAndAnEarlyFailureHoldsNoneBack) {
    CheckSettings settings;
    settings.runTime = 1000ms;
    const CheckedCards checked =
        CheckOnVirtualClock("0123@1/1;0123@2/2:noopen;0123@3/3:deadcnt=2", settings);
    ASSERT_EQ(checked.cards.size(), 3u);
    EXPECT_EQ(Outcomes(checked.cards[0]), "ppppppppp");
    EXPECT_EQ(Outcomes(checked.cards[1]), "fssssssss");
    EXPECT_EQ(Outcomes(checked.cards[2]), "ppppfpppp") << "its own fault, and no other's";
    // Both cards' counters start before either stops: one window, not one after another.
    // (DATA2, at 408, takes only the start mask.)
    const std::size_t started = FirstLine(checked.trace, "W 0 408 ff");
    EXPECT_LT(FirstLine(checked.trace, "W 2 408 ff"),
              FirstLine(checked.trace, "W 0 408 00", started));
    EXPECT_LT(checked.elapsed, 2 * settings.runTime) << "the window's time is spent once";
}

TEST(CheckCards, AnInterruptedWindowStopsAndClosesEveryCard) {
    CheckSettings settings;
    settings.runTime = 1000ms;
    const CheckedCards checked = CheckOnVirtualClock("0123@1/1;0123@2/2", settings, {}, 40);
    for (unsigned k = 0; k < 2; ++k) {
        EXPECT_EQ(Outcomes(checked.cards[k]), "ppppisssp") << "card " << k << " not closed";
        EXPECT_EQ(oxsim::ReadCardState(k).startMask, 0u) << "card " << k << " left counting";
    }
}

TEST(BurnIn, CatchesAFaultThatComesAndGoesOnItsCardAlone) {
    CheckSettings settings = BurnIn(12, 1000ms);
    settings.expected = {std::vector<double>(24, 1000.0), 1.0};
    // CNT0 of the first card loses its input in the fifth second of every five.
    const CheckedCards checked =
        CheckOnVirtualClock("0123@1/1:hz=1000,dropcnt=0@5;0123@2/2:hz=1000", settings);
    const BurnInRecord &flaky = *checked.cards[0].burnIn;
    EXPECT_GT(flaky.cyclesFailed, 0u);
    EXPECT_LT(flaky.cyclesFailed, 12u) << "a fault that comes and goes";
    for (const auto &[step, count] : flaky.stepFailures) {
        EXPECT_EQ(count, step == "count" ? flaky.cyclesFailed : 0u) << step;
    }
    EXPECT_LT(flaky.first()->cycle, flaky.last()->cycle);
    EXPECT_NE(flaky.first()->seen.find("CNT0"), std::string::npos) << flaky.first()->seen;
    EXPECT_STREQ(checked.cards[0].verdict(), "fail");
    EXPECT_STREQ(checked.cards[1].verdict(), "pass");
}

// The failure records of a card that fails every cycle, and the cycles a burn-in runs.
TEST(BurnIn, KeepsTheFirstAndLastFailuresAndEndsWhenToldTo) {
    struct Case {
        const char *name;
        CheckSettings settings;
        unsigned cyclesRun;
    };
    CheckSettings stopOnFailure = BurnIn(50);
    stopOnFailure.stopOnFailure = true;
    CheckSettings forAWhile = BurnIn(0, 1000ms);
    forAWhile.duration = 5s;
    for (const Case &c : {Case{"repeat", BurnIn(50), 50}, Case{"stop on failure", stopOnFailure, 1},
                          Case{"duration", forAWhile, 5}}) {
        SCOPED_TRACE(c.name);
        const CheckedCards checked = CheckOnVirtualClock("0123@1/1:deadcnt=23", c.settings);
        const BurnInRecord &record = *checked.cards[0].burnIn;
        EXPECT_EQ(record.cyclesRun, c.cyclesRun);
        EXPECT_EQ(record.last()->cycle, c.cyclesRun);
        EXPECT_EQ(record.firstFailures.size() + record.lastFailures.size(),
                  std::min<std::size_t>(c.cyclesRun, 2 * kKeptFailures));
        EXPECT_EQ(record.firstFailures.size() + record.lastFailures.size() + record.failuresLeftOut,
                  c.cyclesRun);
    }
}

TEST(BurnIn, OptionsTakeCyclesAndTimesWithinTheirLimits) {
    struct Case {
        std::vector<std::string> args;
        const char *error; // in part; null: accepted
    };
    for (const Case &c :
         std::initializer_list<Case>{{{"--duration", "90s", "--stop-on-failure"}, nullptr},
                                     {{"--duration", "720h", "--repeat", "4000000000"}, nullptr},
                                     {{"--duration", "721h"}, "--duration takes"},
                                     {{"--duration", "8"}, "--duration takes"},
                                     {{"--repeat", "0"}, "--repeat takes"},
                                     {{"--stop-on-failure"}, "needs --repeat or --duration"}}) {
        const ParsedOptions parsed = ParseCheckOptions(c.args);
        SCOPED_TRACE(c.args.back());
        if (c.error == nullptr) {
            EXPECT_TRUE(parsed.options) << parsed.error;
        } else {
            EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
        }
    }
    EXPECT_EQ(ParseCheckOptions({"--duration", "45m"}).options->duration, 45min);
}

} // namespace
