// The register operations on a configured simulated card: each one's accesses, their
// order and values, and what reaches the card.
#include "KRV5316_dwn.h"
#include "KRV5316_regs.h"
#include "card_fixture.h"
#include "trace_util.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr unsigned kSel = 0x420;
constexpr unsigned kData[4] = {0x400, 0x404, 0x408, 0x40C};

class RegistersTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        base = OpenFirstCard("0123@2/13");
        oxsim::UseVirtualClock(); // counters and levels stand still
        if (base == 0 || !LoadFirmware(base)) {
            base = 0;
        }
    }
    void SetUp() override {
        ASSERT_NE(base, 0u) << "the card did not open or configure";
        oxsim::ClearTrace();
    }
    static inline uintptr_t base = 0;
};

// The four bytes of a counter as the card hands them out, most significant first.
std::vector<Access> CounterReads(unsigned n, uint32_t value) {
    return {W(kSel, n), R(kData[3], value >> 24), R(kData[2], (value >> 16) & 0xFF),
            R(kData[1], (value >> 8) & 0xFF), R(kData[0], value & 0xFF)};
}

TEST_F(RegistersTest, VersionIsOneReadOfTheWholeByte) {
    for (const uint8_t version : {0x12, 0x1A, 0xFF}) {
        oxsim::SetVersion(0, version);
        oxsim::ClearTrace();
        EXPECT_EQ(ReadVersion(base), version);
        EXPECT_EQ(Accesses(), std::vector<Access>{R(0x5FC, version)});
    }
}

TEST_F(RegistersTest, CounterSelectsThenReadsMostSignificantFirst) {
    const struct {
        unsigned n;
        uint32_t value;
    } cases[] = {{5, 258}, {0, 1u << 24}, {23, 0xFFFFFFFF}, {12, 0x01020304}, {7, 0}};
    for (const auto &c : cases) {
        oxsim::SetCounter(0, c.n, c.value);
        oxsim::ClearTrace();
        EXPECT_EQ(ReadCounter(base, c.n), c.value) << c.n;
        EXPECT_EQ(Accesses(), CounterReads(c.n, c.value)) << c.n;
    }
}

TEST_F(RegistersTest, OneRefreshIs25WritesAnd100ReadsInOrder) {
    for (unsigned n = 0; n < kCounterCount; ++n) {
        oxsim::SetCounter(0, n, 0x01000000u * n + 0x10000u * (n + 1) + 0x100u * (n + 2) + n + 3);
    }
    oxsim::SetDin(0, 0x3C);
    oxsim::ClearTrace();

    uint32_t counters[kCounterCount];
    for (unsigned n = 0; n < kCounterCount; ++n) {
        counters[n] = ReadCounter(base, n);
    }
    const Mask3 levels = ReadInputLevels(base);
    const uint8_t din = ReadDin(base);

    const std::vector<Access> a = Accesses();
    std::vector<Access> expected;
    for (unsigned n = 0; n < kCounterCount; ++n) {
        const auto reads = CounterReads(n, oxsim::ReadCardState(0).counters[n]);
        expected.insert(expected.end(), reads.begin(), reads.end());
        EXPECT_EQ(counters[n], oxsim::ReadCardState(0).counters[n]) << n;
    }
    // Levels and DIN are whatever the card answered; the trace has it.
    ASSERT_EQ(a.size(), 125u);
    expected.insert(expected.end(), {W(kSel, 0x80), R(kData[0], levels[0]), R(kData[1], levels[1]),
                                     R(kData[2], levels[2]), R(0x000, din)});
    EXPECT_EQ(a, expected);
    EXPECT_EQ(din, 0x3C);
    EXPECT_EQ(std::ranges::count(a, 'W', &Access::op), 25);
    EXPECT_EQ(oxsim::ReadCardState(0).sel, 0x80);
}

TEST_F(RegistersTest, StartStopMasksGoToDataRegistersInGroupOrder) {
    const struct {
        Mask3 masks;
        uint32_t running;
    } cases[] = {{{0x00, 0x02, 0x00}, 1u << 9}, {{0x81, 0x00, 0xC0}, 0xC00081}, {{0, 0, 0}, 0}};
    for (const auto &c : cases) {
        oxsim::ClearTrace();
        WriteStartStop(base, c.masks[0], c.masks[1], c.masks[2]);
        EXPECT_EQ(Accesses(), (std::vector<Access>{W(kData[0], c.masks[0]), W(kData[1], c.masks[1]),
                                                   W(kData[2], c.masks[2])}));
        EXPECT_EQ(oxsim::ReadCardState(0).startMask, c.running);
    }
}

TEST_F(RegistersTest, ClearMaskZeroesExactlyTheMarkedCounters) {
    for (const unsigned n : {0u, 5u, 23u}) {
        oxsim::SetCounter(0, n, 1000 + n);
    }
    oxsim::ClearTrace();

    WriteClearMask(base, 0x01, 0x00, 0x80); // CNT0 and CNT23

    EXPECT_EQ(Accesses(), (std::vector<Access>{W(0x410, 0x01), W(0x414, 0x00), W(0x418, 0x80)}));
    const oxsim::CardState card = oxsim::ReadCardState(0);
    EXPECT_EQ(card.counters[0], 0u);
    EXPECT_EQ(card.counters[5], 1005u);
    EXPECT_EQ(card.counters[23], 0u);
}

TEST_F(RegistersTest, PortsAreSingleByteAccesses) {
    oxsim::SetDin(0, 0xA7);
    EXPECT_EQ(ReadDin(base), 0xA7);
    WriteDout(base, 0x5A);
    WriteXdout(base, 0xC3);
    EXPECT_EQ(Accesses(), (std::vector<Access>{R(0x000, 0xA7), W(0x004, 0x5A), W(0x5A0, 0xC3)}));
    EXPECT_EQ(oxsim::ReadCardState(0).dout, 0x5A);
    EXPECT_EQ(oxsim::ReadCardState(0).xdout, 0xC3);
}

} // namespace
