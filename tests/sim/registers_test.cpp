// The configured card's registers: counters, latch, clear, input levels and ports.
#include "sim_test_support.h"

#include "firmware_image.h"

#include <chrono>
#include <cmath>
#include <thread>

using namespace simtest;
using namespace std::chrono_literals;

namespace {

uint32_t ReadCounter(uintptr_t w, uint8_t n) {
    Wr(w, SEL, n);
    uint32_t value = uint32_t{Rd(w, DATA3)} << 24;
    value |= uint32_t{Rd(w, DATA2)} << 16;
    value |= uint32_t{Rd(w, DATA1)} << 8;
    return value | Rd(w, DATA0);
}

void StartStop(uintptr_t w, uint32_t mask) {
    Wr(w, DATA0, mask & 0xFF);
    Wr(w, DATA1, mask >> 8 & 0xFF);
    Wr(w, DATA2, mask >> 16 & 0xFF);
}

uint32_t Levels(uintptr_t w) {
    Wr(w, SEL, 0x80);
    return Rd(w, DATA0) | uint32_t{Rd(w, DATA1)} << 8 | uint32_t{Rd(w, DATA2)} << 16;
}

// Card 0 configured, at virtual time 0.
class ConfiguredCard : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        w = OpenWindow(0);
        ASSERT_EQ(Download(w, FirmwareImage) & 0x10, 0x10);
    }
    uintptr_t w = 0;
};

} // namespace

TEST_F(ConfiguredCard, CountersCountRisingEdgesOnlyWhileStarted) {
    oxsim::SetInputFrequency(0, 5, 1000.0);
    oxsim::SetInputFrequency(0, 9, 250.0);
    StartStop(w, 1u << 5 | 1u << 9);
    EXPECT_EQ(oxsim::ReadCardState(0).startMask, 1u << 5 | 1u << 9);
    oxsim::AdvanceClock(10ms);
    EXPECT_EQ(ReadCounter(w, 5), 10u);
    EXPECT_EQ(ReadCounter(w, 9), 2u);
    EXPECT_EQ(ReadCounter(w, 23), 0u) << "not started";
    StartStop(w, 1u << 9);
    oxsim::AdvanceClock(10ms + 500us);
    EXPECT_EQ(ReadCounter(w, 5), 10u) << "stopped";
    EXPECT_EQ(ReadCounter(w, 9), 5u);
    EXPECT_EQ(oxsim::ReadCardState(0).counters[9], 5u);
}

TEST_F(ConfiguredCard, SelLatchesTheFourBytesOfOneCounter) {
    oxsim::SetCounter(0, 7, 0x01020304);
    Wr(w, SEL, 7);
    oxsim::SetCounter(0, 7, 0xAABBCCDD);
    EXPECT_EQ(Rd(w, DATA3), 0x01);
    EXPECT_EQ(Rd(w, DATA2), 0x02);
    EXPECT_EQ(Rd(w, DATA1), 0x03);
    EXPECT_EQ(Rd(w, DATA0), 0x04);
    EXPECT_EQ(ReadCounter(w, 7), 0xAABBCCDDu) << "a new SEL write latches again";

    oxsim::SetInputFrequency(0, 7, 1000.0);
    StartStop(w, 1u << 7);
    Wr(w, SEL, 7);
    oxsim::AdvanceClock(5ms);
    EXPECT_EQ(Rd(w, DATA0), 0xDD) << "the latched value does not run on";
    EXPECT_EQ(ReadCounter(w, 7), 0xAABBCCDDu + 5);
}

TEST_F(ConfiguredCard, ClearZeroesMarkedCountersAtOnceAndTheyCountOn) {
    for (uint8_t n = 0; n < 24; ++n) {
        oxsim::SetInputFrequency(0, n, 1000.0);
        oxsim::SetCounter(0, n, 100 + n);
    }
    StartStop(w, 0xFFFFFF);
    Wr(w, CLR0, 0x01);
    Wr(w, CLR1, 0x00);
    Wr(w, CLR2, 0x80);
    EXPECT_EQ(ReadCounter(w, 0), 0u);
    EXPECT_EQ(ReadCounter(w, 23), 0u);
    EXPECT_EQ(ReadCounter(w, 1), 101u);
    EXPECT_EQ(ReadCounter(w, 22), 122u);
    oxsim::AdvanceClock(3ms);
    EXPECT_EQ(ReadCounter(w, 0), 3u);
    EXPECT_EQ(ReadCounter(w, 8), 111u);
    const std::vector<oxsim::ClearOp> clears = oxsim::ReadCardState(0).clears;
    ASSERT_EQ(clears.size(), 3u);
    EXPECT_EQ(clears[0].group, 0u);
    EXPECT_EQ(clears[0].mask, 0x01);
    EXPECT_EQ(clears[1].mask, 0x00);
    EXPECT_EQ(clears[2].group, 2u);
    EXPECT_EQ(clears[2].mask, 0x80);
}

TEST_F(ConfiguredCard, CountersWrapAt32Bits) {
    oxsim::SetInputFrequency(0, 12, 1000.0);
    oxsim::SetCounter(0, 12, 0xFFFFFFFE);
    StartStop(w, 1u << 12);
    EXPECT_EQ(ReadCounter(w, 12), 0xFFFFFFFEu);
    oxsim::AdvanceClock(3ms);
    EXPECT_EQ(ReadCounter(w, 12), 1u);
}

TEST_F(ConfiguredCard, InputLevelsAreHighInTheFirstHalfOfEachPeriod) {
    for (unsigned n = 0; n < 24; ++n) {
        oxsim::SetInputFrequency(0, n, 0.0);
    }
    oxsim::SetInputFrequency(0, 3, 100.0); // period 10 ms
    oxsim::SetInputFrequency(0, 9, 400.0); // period 2.5 ms
    oxsim::SetInputFrequency(0, 20, 50.0); // period 20 ms
    struct Row {
        std::chrono::microseconds at;
        uint32_t levels;
    };
    const Row kRows[] = {
        {0us, 1u << 3 | 1u << 9 | 1u << 20}, {1000us, 1u << 3 | 1u << 9 | 1u << 20},
        {2000us, 1u << 3 | 1u << 20},        {6000us, 1u << 9 | 1u << 20},
        {10000us, 1u << 3 | 1u << 9},        {25100us, 1u << 20 | 1u << 9},
    };
    std::chrono::microseconds now{0};
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.at.count());
        oxsim::AdvanceClock(row.at - now);
        now = row.at;
        EXPECT_EQ(Levels(w), row.levels);
    }
    Wr(w, SEL, 0x80);
    EXPECT_EQ(Rd(w, DATA3), 0xFF) << "DATA3 has no levels";
}

TEST_F(ConfiguredCard, DefaultFrequenciesSpreadGeometricallyFrom1HzTo10kHz) {
    EXPECT_DOUBLE_EQ(oxsim::InputFrequency(0, 0), 1.0);
    EXPECT_NEAR(oxsim::InputFrequency(0, 23), 10000.0, 1e-6);
    const double ratio = oxsim::InputFrequency(0, 1);
    for (unsigned n = 1; n < 24; ++n) {
        EXPECT_NEAR(oxsim::InputFrequency(0, n) / oxsim::InputFrequency(0, n - 1), ratio, 1e-9);
    }
    StartStop(w, 0xFFFFFF);
    oxsim::AdvanceClock(1s);
    EXPECT_EQ(ReadCounter(w, 0), 1u);
    EXPECT_EQ(ReadCounter(w, 23), 10000u);
    EXPECT_EQ(ReadCounter(w, 24), 0xFFFFFFFFu) << "a SEL of no counter";
}

TEST_F(ConfiguredCard, RealClockDrivesTheCounters) {
    oxsim::UseRealClock();
    StartStop(w, 1u << 23);
    std::this_thread::sleep_for(20ms);
    const uint32_t first = ReadCounter(w, 23);
    EXPECT_GE(first, 150u);
    std::this_thread::sleep_for(5ms);
    EXPECT_GT(ReadCounter(w, 23), first);
}

TEST_F(ConfiguredCard, DinLoopsDoutBackUnlessSet) {
    Wr(w, DOUT, 0x5A);
    Wr(w, XDOUT, 0xC3);
    EXPECT_EQ(Rd(w, DIN), 0x5A);
    oxsim::SetDin(0, 0x33);
    Wr(w, DOUT, 0x01);
    EXPECT_EQ(Rd(w, DIN), 0x33);
    oxsim::ClearDin(0);
    EXPECT_EQ(Rd(w, DIN), 0x01);
    const oxsim::CardState state = oxsim::ReadCardState(0);
    EXPECT_EQ(state.dout, 0x01);
    EXPECT_EQ(state.xdout, 0xC3);
    EXPECT_EQ(Rd(w, DOUT), 0xFF) << "write-only";
    EXPECT_EQ(Rd(w, XDOUT), 0xFF) << "write-only";
}

TEST_F(SimTest, UnconfiguredCardAnswersOnlyConf) {
    const uintptr_t w = OpenWindow(0);
    Wr(w, DOUT, 0x12);
    Wr(w, DATA0, 0xFF);
    Wr(w, SEL, 3);
    for (uint32_t offset : {DIN, DATA0, DATA3, SEL, VERSION}) {
        EXPECT_EQ(Rd(w, offset), 0xFF) << offset;
    }
    EXPECT_EQ(Rd(w, CONF), 0x20);
    const oxsim::CardState state = oxsim::ReadCardState(0);
    EXPECT_EQ(state.dout, 0);
    EXPECT_EQ(state.sel, 0);
    EXPECT_EQ(state.startMask, 0u);
}

TEST_F(SimTest, CardOfAnotherModelAnswersFFAndIgnoresWrites) {
    const uintptr_t w = OpenWindow(1);
    EXPECT_EQ(Download(w, FirmwareImage), 0xFF);
    Wr(w, DOUT, 0x12);
    for (uint32_t offset : {DIN, CONF, DATA0, DATA3, VERSION}) {
        EXPECT_EQ(Rd(w, offset), 0xFF) << offset;
    }
    const oxsim::CardState state = oxsim::ReadCardState(1);
    EXPECT_FALSE(state.configured);
    EXPECT_EQ(state.bytesReceived, 0u);
    EXPECT_EQ(state.dout, 0);
}

TEST_F(SimTest, BrokenCardFaultsShowOnTheirRegistersOnly) {
    std::string error;
    ASSERT_TRUE(
        oxsim::Configure("0123@2/13:deadcnt=4,stuckcnt=7@1234,din0=1,din1=6,version=13", &error))
        << error;
    oxsim::UseVirtualClock();
    const uintptr_t w = OpenWindow(0);
    ASSERT_EQ(Download(w, FirmwareImage) & 0x10, 0x10);
    EXPECT_EQ(Rd(w, VERSION), 0x13);
    StartStop(w, 0xFFFFFF);
    oxsim::AdvanceClock(2s);
    EXPECT_EQ(ReadCounter(w, 4), 0u) << "dead counter";
    EXPECT_GT(ReadCounter(w, 5), 0u) << "its neighbour counts";
    EXPECT_EQ(ReadCounter(w, 7), 1234u) << "stuck counter";
    Wr(w, CLR0, 0xFF);
    EXPECT_EQ(ReadCounter(w, 7), 1234u) << "stuck counter ignores a clear";
    EXPECT_EQ(ReadCounter(w, 6), 0u);
    oxsim::SetInputFrequency(0, 4, 10.0);
    const uint32_t level = Levels(w) >> 4 & 1;
    oxsim::AdvanceClock(50ms);
    EXPECT_NE(Levels(w) >> 4 & 1, level) << "a dead counter's input still moves";
    Wr(w, DOUT, 0x02);
    EXPECT_EQ(Rd(w, DIN), 0x40) << "DIN.1 stuck at 0, DIN.6 stuck at 1";
    Wr(w, DOUT, 0xBF);
    EXPECT_EQ(Rd(w, DIN), 0xFD);
}

// Faults that come and go hold only in their time on the clock.
TEST_F(SimTest, TransientFaultsHoldInTheirTimeOnly) {
    std::string error;
    ASSERT_TRUE(oxsim::Configure("0123@2/13:hz=1000,dropcnt=2@4,dinflip=5@1-1.5,lostat=9", &error))
        << error;
    oxsim::UseVirtualClock();
    const uintptr_t w = OpenWindow(0);
    ASSERT_EQ(Download(w, FirmwareImage) & 0x10, 0x10);
    StartStop(w, 0xFFFFFF);
    Wr(w, DOUT, 0x00);
    EXPECT_EQ(Rd(w, DIN), 0x00) << "before the flip";
    oxsim::AdvanceClock(1200ms);
    EXPECT_EQ(Rd(w, DIN), 0x20) << "DIN.5 flipped";
    oxsim::AdvanceClock(1800ms); // 3 s: the fourth second, CNT2's lost one, begins
    EXPECT_EQ(Rd(w, DIN), 0x00) << "after the flip";
    EXPECT_EQ(ReadCounter(w, 2), 3000u);
    oxsim::AdvanceClock(1s);
    EXPECT_EQ(ReadCounter(w, 2), 3000u) << "its lost second";
    EXPECT_EQ(ReadCounter(w, 1), 4000u) << "its neighbour counts on";
    oxsim::AdvanceClock(4s);
    EXPECT_EQ(ReadCounter(w, 2), 6000u) << "counting again until the next lost second";
    oxsim::AdvanceClock(1s);
    EXPECT_EQ(Rd(w, VERSION), 0xFF) << "lost from the bus";
    Wr(w, DOUT, 0x0F);
    EXPECT_EQ(oxsim::ReadCardState(0).dout, 0x00) << "a write to a lost card goes nowhere";
}

TEST_F(SimTest, BrokenCardFaultWordsNeedValidValues) {
    for (const char *text :
         {"0123@1/1:deadcnt=24", "0123@1/1:stuckcnt=3", "0123@1/1:din0=8", "0123@1/1:din1=x",
          "0123@1/1:version=123", "0123@1/1:deadcnt", "0123@1/1:dropcnt=1@1",
          "0123@1/1:dinflip=2@3-1", "0123@1/1:lostat=-1"}) {
        std::string error;
        EXPECT_FALSE(oxsim::Configure(text, &error)) << text;
        EXPECT_NE(error.find(std::string(text).substr(9)), std::string::npos) << error;
    }
}
