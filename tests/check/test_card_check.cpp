// The check's steps against healthy and broken simulated cards, in process and
// on the simulator's virtual clock.
#include "card_check.h"
#include "sim_control.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Checked {
    CardResult card;
    std::vector<std::string> trace;
};

// Checks the first card of `cards`; the inputs of CNT0 up to `silent` - 1 carry no
// signal.
Checked Check(const std::string &cards, bool loopback = false, unsigned silent = 0) {
    std::string error;
    oxsim::KeepTrace();
    EXPECT_TRUE(oxsim::Configure(cards, &error)) << error;
    oxsim::UseVirtualClock();
    for (unsigned n = 0; n < silent; ++n) {
        oxsim::SetInputFrequency(0, n, 0);
    }
    TPoleKaret table;
    EXPECT_TRUE(FindCards(0x0123, table));
    CheckSettings settings;
    settings.loopback = loopback;
    settings.wait = [](std::chrono::microseconds time) { oxsim::AdvanceClock(time); };
    Checked checked{CheckCard(table, 1, settings), {}};
    checked.trace = oxsim::Trace();
    return checked;
}

std::string Outcomes(const CardResult &card) {
    std::string text;
    for (const StepResult &step : card.steps) {
        text += std::string(OutcomeName(step.outcome)).substr(0, 1);
    }
    return text; // one letter a step: p, f, s
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
    ::testing::Values(
        FaultCase{"noopen", false, "fssssssss", "Nelze otevřít vybranou kartu na pozici 2/13"},
        FaultCase{"nobar", false, "fssssssss", "Nelze zjistit bázovou adresu karty na pozici 2/13"},
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

} // namespace
