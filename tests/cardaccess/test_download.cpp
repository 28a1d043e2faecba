// The firmware download, checked access by access against the simulated card's trace.
#include "KRV5316_dwn.h"
#include "card_fixture.h"
#include "trace_util.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

constexpr unsigned kConf = 0x3FC;
constexpr unsigned kData0 = 0x400;
constexpr unsigned kReady = 0x20;
constexpr unsigned kDone = 0x10;

// Three control writes; per image byte its data write and `reads` status reads, bit 5
// only in the last; the closing control write and one status read.
testing::AssertionResult IsWholeDownload(const std::vector<Access> &a, unsigned reads) {
    const std::size_t expected = 3 + FirmwareImage.size() * (1 + reads) + 2;
    if (a.size() != expected) {
        return testing::AssertionFailure() << a.size() << " accesses, not " << expected;
    }
    std::size_t i = 0;
    auto fail = [&](const char *what) {
        return testing::AssertionFailure()
               << "access " << i << " " << testing::PrintToString(a[i]) << ": " << what;
    };
    for (const unsigned control : {0x01u, 0x00u, 0x02u}) {
        if (a[i] != W(kConf, control)) {
            return fail("expected the start pulse and load mode");
        }
        ++i;
    }
    for (std::size_t byte = 0; byte < FirmwareImage.size(); ++byte) {
        if (a[i++] != W(kData0, FirmwareImage[byte])) {
            --i;
            return fail("expected the next image byte");
        }
        for (unsigned r = 1; r <= reads; ++r, ++i) {
            if (a[i].op != 'R' || a[i].offset != kConf ||
                ((a[i].value & kReady) != 0) != (r == reads)) {
                return fail("expected a status read, ready only in the last");
            }
        }
    }
    if (a[i] != W(kConf, 0x00)) {
        return fail("expected the closing control write");
    }
    ++i;
    if (a[i].op != 'R' || a[i].offset != kConf) {
        return fail("expected the final status read");
    }
    return testing::AssertionSuccess();
}

struct DownloadCase {
    const char *name;
    std::string cards;
    unsigned readsPerByte;
    bool result;
};
void PrintTo(const DownloadCase &c, std::ostream *os) {
    *os << c.name;
}

const DownloadCase kDownloadCases[] = {
    {"ReadyAtOnce", "0123@2/13", 1, true},
    {"ReadyAtThirdRead", "0123@2/13:slow=3", 3, true},
    {"NeverDone", "0123@2/13:nodone", 1, false},
};

class DownloadTest : public testing::TestWithParam<DownloadCase> {};

TEST_P(DownloadTest, SendsTheImageWithOneHandshakePerByte) {
    const uintptr_t base = OpenFirstCard(GetParam().cards);
    ASSERT_NE(base, 0u);

    const bool result = LoadFirmware(base);

    EXPECT_EQ(result, GetParam().result);
    const std::vector<Access> a = Accesses();
    EXPECT_TRUE(IsWholeDownload(a, GetParam().readsPerByte));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(result, (a.back().value & kDone) != 0) << "the result is bit 4 of the final status";
    EXPECT_EQ(oxsim::ReadCardState(0).configured, result);
}

INSTANTIATE_TEST_SUITE_P(Cards, DownloadTest, testing::ValuesIn(kDownloadCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DownloadTest, SecondDownloadStartsAfresh) {
    const uintptr_t base = OpenFirstCard("0123@2/13");
    ASSERT_NE(base, 0u);
    ASSERT_TRUE(LoadFirmware(base));
    oxsim::ClearTrace();
    EXPECT_TRUE(LoadFirmware(base));
    EXPECT_TRUE(IsWholeDownload(Accesses(), 1));
}

TEST(DownloadTest, CardThatStopsTakingBytesEndsTheDownloadAfterTheBound) {
    const uintptr_t base = OpenFirstCard("0123@2/13:stuck");
    ASSERT_NE(base, 0u);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(LoadFirmware(base));
    const auto waited = std::chrono::steady_clock::now() - start;

    // It gave the card the whole bound, polling, and then stopped the transfer.
    EXPECT_GE(waited, kFirmwareByteTimeout);
    const std::vector<Access> a = Accesses();
    ASSERT_GE(a.size(), 3u + 1u + 2u + 1u);
    EXPECT_EQ(a[3], W(kData0, FirmwareImage[0]));
    for (std::size_t i = 4; i + 1 < a.size(); ++i) {
        ASSERT_EQ(a[i].op, 'R') << i;
        ASSERT_EQ(a[i].offset, kConf) << i;
        ASSERT_EQ(a[i].value & kReady, 0u) << i;
    }
    EXPECT_EQ(a.back(), W(kConf, 0x00));
    EXPECT_EQ(oxsim::ReadCardState(0).bytesReceived, 1u);
    EXPECT_FALSE(oxsim::ReadCardState(0).configured);
}

// The download's clock for the test below: the simulator's virtual clock, moved on
// 100 us at every look, as if each took that long.
std::chrono::nanoseconds SlowLooks() {
    oxsim::AdvanceClock(std::chrono::microseconds(100));
    return oxsim::ClockNow();
}

TEST(DownloadTest, CardTakingEachByteInTimeButTooSlowlyOverallIsStoppedAtTheWholeBound) {
    const uintptr_t base = OpenFirstCard("0123@2/13:slow=2");
    ASSERT_NE(base, 0u);
    oxsim::UseVirtualClock();

    EXPECT_FALSE(LoadFirmware(base, SlowLooks));

    // A few looks per byte, far inside FirmwareByteTimeout, add up to the whole bound.
    const auto elapsed = oxsim::ClockNow();
    EXPECT_GE(elapsed, kFirmwareDownloadTimeout);
    EXPECT_LT(elapsed, kFirmwareDownloadTimeout + std::chrono::milliseconds(1));
    const std::vector<Access> a = Accesses();
    ASSERT_GE(a.size(), 2u);
    EXPECT_EQ(a.back(), W(kConf, 0x00));
    const Access lastStatus = a[a.size() - 2];
    EXPECT_TRUE(lastStatus.op == 'R' && lastStatus.offset == kConf && (lastStatus.value & kReady))
        << "the last byte was taken: " << testing::PrintToString(lastStatus);
    const oxsim::CardState card = oxsim::ReadCardState(0);
    EXPECT_GT(card.bytesReceived, FirmwareImage.size() / 4);
    EXPECT_LT(card.bytesReceived, FirmwareImage.size());
    EXPECT_FALSE(card.configured);
}

} // namespace
