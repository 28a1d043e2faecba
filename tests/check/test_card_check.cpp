// The check's steps against healthy and broken simulated cards, in process and
// on the simulator's virtual clock.
#include "card_check_support.h"
#include "rate_check.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Checked {
    CardResult card;
    std::vector<std::string> trace;
};

// Checks the first card of `cards`; the inputs of CNT0 up to `silent` - 1 carry no signal.
// A stall holds the check up once, a second into the count.
Checked Check(std::string cards, bool loopback = false, unsigned silent = 0,
              CheckSettings settings = {}, std::chrono::seconds stall = {}) {
    for (unsigned n = 0; n < silent; ++n) {
        cards += (n > 0 || cards.find(':') != std::string::npos ? ",hz=" : ":hz=") +
                 std::to_string(n) + "@0";
    }
    settings.loopback = loopback;
    CheckedCards checked = CheckOnVirtualClock(cards, settings, stall);
    return {checked.cards.front(), std::move(checked.trace)};
}

const StepResult &Step(const CardResult &card, const std::string &name) {
    for (const StepResult &step : card.steps) {
        if (step.name == name) {
            return step;
        }
    }
    throw std::runtime_error("no step " + name);
}

bool Closed(const std::vector<std::string> &trace) {
    for (const std::string &line : trace) {
        if (line.rfind("call OX9162_Close 0 = 0", 0) == 0) {
            return true;
        }
    }
    return false;
}

TEST(CardCheck, HealthyCardPassesEveryStepAndIsClosed) {
    const Checked checked = Check("0123@2/13", true);
    EXPECT_EQ(Outcomes(checked.card), "ppppppppp");
    EXPECT_TRUE(checked.card.passed());
    EXPECT_EQ(checked.card.position(), "2/13");
    EXPECT_EQ(checked.card.firmwareVersion, "1.2");
    // With the default inputs from 1 Hz to 10 kHz, every input carries a signal.
    EXPECT_EQ(Step(checked.card, "count").seen, "signal on 24 inputs, all counted");
    EXPECT_TRUE(Closed(checked.trace));
    const oxsim::CardState state = oxsim::ReadCardState(0);
    EXPECT_EQ(state.startMask, 0u) << "the check leaves the counters stopped";
    EXPECT_EQ(state.dout, 0) << "and the outputs low";
}

TEST(CardCheck, InputsWithoutSignalAreNoFault) {
    const CardResult card = Check("0123@2/13", false, 12).card;
    EXPECT_TRUE(card.passed()) << Step(card, "count").seen;
    EXPECT_EQ(Step(card, "count").seen, "signal on 12 inputs, all counted");
}

TEST(CardCheck, NoSignalAnywhereFailsTheCountStep) {
    const CardResult card = Check("0123@2/13", false, 24).card;
    EXPECT_EQ(Outcomes(card), "ppppfpppp");
    EXPECT_EQ(Step(card, "count").seen, "no input carries a signal");
}

struct FaultCase {
    const char *faults;
    bool loopback;
    const char *outcomes; // p, f, s per step
    const char *seen;     // what the failing step reports, in part
};

class CardCheckFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CardCheckFault, FailsAtTheRightStep) {
    const FaultCase &fault = GetParam();
    const Checked checked = Check(std::string("0123@2/13:") + fault.faults, fault.loopback);
    EXPECT_EQ(Outcomes(checked.card), fault.outcomes);
    EXPECT_FALSE(checked.card.passed());
    const StepResult *failed = checked.card.firstFailure();
    ASSERT_NE(failed, nullptr);
    EXPECT_NE(failed->seen.find(fault.seen), std::string::npos) << failed->seen;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CardCheckFault,
    ::testing::Values(FaultCase{"noopen", false, "fssssssss",
                                "cannot open the card (OX9162_Open failed)"},
                      // The library opened the card, so it is closed again.
                      FaultCase{"nobar", false, "fsssssssp", "no register window address"},
                      FaultCase{"nodone", false, "pfssssssp", "configuration not complete"},
                      FaultCase{"stuck", false, "pfssssssp", "configuration not complete"},
                      FaultCase{"noclose", false, "ppppppppf", "close failed"},
                      FaultCase{"version=13", false, "ppfpppppp", "1.3"},
                      FaultCase{"deadcnt=5", false, "ppppfpppp", "counter does not count: CNT5"},
                      FaultCase{"stuckcnt=7@1234", false, "pppffpfpp", "CNT7 = 1234"},
                      FaultCase{"din0=3", true, "pppppppfp", "DIN.3 stuck at 0"},
                      FaultCase{"din1=6", true, "pppppppfp", "DIN.6 stuck at 1"}),
    [](const auto &info) {
        std::string name = info.param.faults;
        for (char &ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

TEST(CardCheck, StuckDinLineGoesUnnoticedWithoutLoopback) {
    const Checked checked = Check("0123@2/13:din0=3", false);
    EXPECT_TRUE(checked.card.passed());
    EXPECT_EQ(Step(checked.card, "outputs").seen, "32 writes; DIN not compared (no loopback plug)");
}

std::vector<double> ZeroThen(double hertz) {
    std::vector<double> rates(24, hertz);
    rates[0] = 0;
    return rates;
}

// The count step as a rate check, on inputs set by hz= words.
TEST(RateCheck, JudgesEveryCounterAgainstItsExpectedRate) {
    const struct {
        const char *faults;
        std::vector<double> expected; // one for all, or one per counter
        const char *seen;             // what the count step reports, in part
        bool passes;
    } cases[] = {
        {"hz=1000", {1000}, "all 24 rates within 0.1 %", true},
        {"hz=1000,hz=5@1000.5", {1000}, "all 24 rates within", true},
        {"hz=1000,hz=7@1002", {1000}, "rate off: CNT7 at 1001.3 Hz, expected 1000 Hz", false},
        {"hz=1000,hz=0@0", ZeroThen(1000), "all 24 rates within", true},
        {"hz=1000", ZeroThen(1000), "rate off: CNT0 at 1000.0 Hz, expected 0 Hz", false},
        {"hz=1000,deadcnt=4",
         {1000},
         "CNT4 at 0.0 Hz, expected 1000 Hz; input changes but counter does not count: CNT4",
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.faults);
        CheckSettings settings;
        settings.expected.hertz =
            c.expected.size() == 1 ? std::vector<double>(24, c.expected[0]) : c.expected;
        const CardResult card =
            Check(std::string("0123@2/13:") + c.faults, false, 0, settings).card;
        const StepResult &count = Step(card, "count");
        EXPECT_EQ(count.outcome == Outcome::Pass, c.passes) << count.seen;
        EXPECT_NE(count.seen.find(c.seen), std::string::npos) << count.seen;
        // On the virtual clock the run lasts exactly its 1.5 s: 1000 Hz gives 1500 counts.
        EXPECT_EQ(std::get<double>(*count.figure("run_seconds")), 1.5);
        EXPECT_DOUBLE_EQ(std::get<double>(*count.figure("rate_uncertainty_hz")), 1 / 1.5);
        const auto &rates = std::get<std::vector<double>>(*count.figure("rates_hz"));
        const auto &counts = std::get<std::vector<int64_t>>(*count.figure("counts"));
        ASSERT_EQ(rates.size(), 24u);
        ASSERT_EQ(counts.size(), 24u);
        for (unsigned n = 0; n < 24; ++n) {
            EXPECT_DOUBLE_EQ(rates[n], counts[n] / 1.5) << "CNT" << n;
            if (c.passes) {
                EXPECT_NEAR(rates[n], oxsim::InputFrequency(0, n), 1 / 1.5) << "CNT" << n;
            }
        }
    }
}

// At 91 MHz a 32-bit counter wraps every 47 s: a longer run still measures every count,
// with or without a rate expected. The input's period of 11 ns does not divide the
// virtual clock's level samples, so they see both levels.
TEST(RateCheck, CountsOnAcrossTheCounterWrap) {
    for (const std::vector<double> &expected : {std::vector<double>(24, 90909091), {}}) {
        CheckSettings settings;
        settings.runTime = std::chrono::milliseconds(50000);
        settings.expected = {expected, 1};
        const CardResult card = Check("0123@2/13:hz=90909091", false, 0, settings).card;
        const StepResult &count = Step(card, "count");
        EXPECT_EQ(count.outcome, Outcome::Pass) << count.seen;
        const auto &counts = std::get<std::vector<int64_t>>(*count.figure("counts"));
        EXPECT_NEAR(static_cast<double>(counts.at(23)), 50e9 / 11, 1);
    }
}

// A check held up longer than a counter takes to wrap at the fastest input (a stopped
// process, a suspended machine) cannot know the counts: it says so, and gives no rate.
TEST(RateCheck, AStallThatCouldHideAWrapLeavesTheRatesUnjudged) {
    CheckSettings settings;
    settings.expected = {std::vector<double>(24, 90909091), 1};
    for (const auto &[stall, outcome] : {std::pair{std::chrono::seconds(50), Outcome::Error},
                                         std::pair{std::chrono::seconds(30), Outcome::Pass}}) {
        const CardResult card = Check("0123@2/13:hz=90909091", false, 0, settings, stall).card;
        const StepResult &count = Step(card, "count");
        EXPECT_EQ(count.outcome, outcome) << count.seen;
        EXPECT_EQ(std::string(card.verdict()), outcome == Outcome::Error ? "error" : "pass");
    }
}

// Counters are read a byte at a time while they run: a read across a carry comes out
// low by up to 2^24, below the read before, which the modular sum would take for a wrap.
// It is read again.
TEST(RateCheck, ATornCounterReadIsReadAgain) {
    CheckSettings settings;
    settings.runTime = std::chrono::milliseconds(3000);
    settings.expected = {std::vector<double>(24, 999001), 0.01};
    const CardResult card = Check("0123@2/13:hz=999001,tear=5", false, 0, settings).card;
    const StepResult &count = Step(card, "count");
    EXPECT_EQ(count.outcome, Outcome::Pass) << count.seen;
}

// A run whose length the clock knows only to within microseconds cannot judge a rate to
// a millionth: the step says so rather than fail a sound card.
TEST(RateCheck, ARunKnownTooLooselyForTheToleranceIsNotJudged) {
    std::array<uint64_t, kCounterCount> counted{};
    counted.fill(20100000);
    const RateExpectation expected{std::vector<double>(24, 100e6), 0.0001};
    EXPECT_EQ(UnjudgedRates(MeasureRates(counted, 0.201, 0), expected), "");
    EXPECT_NE(UnjudgedRates(MeasureRates(counted, 0.201, 2e-6), expected), "");
}

TEST(RateCheck, RefusesRunTimesTooShortToJudgeAndNamesTheNeededOne) {
    using std::chrono::milliseconds;
    struct Case {
        milliseconds runTime;
        std::vector<double> hertz;
        double tolerancePct;
        const char *refusal; // empty: the run can be judged
    };
    const Case cases[] = {
        {milliseconds(40), {}, 0.1, "it needs --run-time 201 or more"},
        {kLeastRunTime, {}, 0.1, ""},
        // One count and the clock's slack at both ends are exactly 0.1 %.
        {milliseconds(1100), ZeroThen(1000), 0.1, ""},
        {milliseconds(1099), ZeroThen(1000), 0.1, "it needs --run-time 1100 or more"},
        {milliseconds(1500), {10, 2000}, 0.1, "cannot measure 10 Hz to 0.1 %"},
        {milliseconds(1500), {0.5}, 0.1, "--run-time 2000100 or more, beyond the longest"},
        {milliseconds(1500), {0.5}, 1, "it needs --run-time 200010 or more"},
        {milliseconds(1500), {0.5}, 0.1, "--tolerance 0.334 or more can judge it"},
        {milliseconds(1500), {1e-300}, 100, "1e-300 Hz is too low to measure"},
        {milliseconds(300), std::vector<double>(24, 0), 0.1, ""},
    };
    for (const Case &c : cases) {
        const std::string refusal = RunTimeRefusal(c.runTime, {c.hertz, c.tolerancePct});
        if (*c.refusal == '\0') {
            EXPECT_EQ(refusal, "") << c.runTime.count();
        } else {
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        }
    }
}

TEST(RateCheck, HzFaultWordsNeedAnInputAndADecimalRate) {
    for (const char *word : {"hz=", "hz=-1", "hz=1e3", "hz=abc", "hz=24@5", "hz=@5", "hz=3@"}) {
        std::string error;
        EXPECT_FALSE(oxsim::Configure(std::string("0123@2/13:") + word, &error)) << word;
        EXPECT_NE(error.find("hz needs HERTZ or INPUT@HERTZ"), std::string::npos) << error;
    }
    ASSERT_TRUE(oxsim::Configure("0123@2/13:hz=250.5,hz=3@0"));
    EXPECT_EQ(oxsim::InputFrequency(0, 2), 250.5);
    EXPECT_EQ(oxsim::InputFrequency(0, 3), 0.0);
    oxsim::Reset();
}

} // namespace
