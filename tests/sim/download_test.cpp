// The firmware download protocol on CONF and DATA0.
#include "sim_test_support.h"

#include "firmware_image.h"

using namespace simtest;

namespace {

constexpr uint8_t kReady = 0x20, kDone = 0x10;

std::vector<uint8_t> Image() {
    return {FirmwareImage.begin(), FirmwareImage.end()};
}

} // namespace

TEST_F(SimTest, ImageConfiguresTheCardAndVersionReads12) {
    const uintptr_t w = OpenWindow(0);
    EXPECT_EQ(Rd(w, VERSION), 0xFF) << "not configured at power-up";
    EXPECT_FALSE(oxsim::ReadCardState(0).configured);
    oxsim::ClearTrace();
    const uint8_t status = Download(w, FirmwareImage);
    // One status read per byte: the card is ready at the first read after each byte.
    EXPECT_EQ(oxsim::TraceSize(), 3 + 2 * FirmwareImage.size() + 2);
    EXPECT_EQ(status & (kReady | kDone), kReady | kDone);
    const oxsim::CardState state = oxsim::ReadCardState(0);
    EXPECT_TRUE(state.configured);
    EXPECT_EQ(state.bytesReceived, FirmwareImage.size());
    EXPECT_EQ(Rd(w, VERSION), 0x12);
}

TEST_F(SimTest, OneWrongMissingOrRepeatedByteLeavesTheCardUnconfigured) {
    const uintptr_t w = OpenWindow(0);
    std::vector<uint8_t> wrong = Image(), missing = Image(), repeated = Image(), extra = Image();
    wrong[30000] ^= 0x01;
    missing.erase(missing.begin() + 77);
    repeated.insert(repeated.begin() + 500, repeated[500]);
    extra.push_back(0xFF);
    const std::pair<const char *, const std::vector<uint8_t> *> kStreams[] = {
        {"wrong", &wrong}, {"missing", &missing}, {"repeated", &repeated}, {"extra", &extra}};
    for (const auto &[name, stream] : kStreams) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Download(w, *stream) & kDone, 0);
        EXPECT_FALSE(oxsim::ReadCardState(0).configured);
        EXPECT_EQ(Rd(w, VERSION), 0xFF);
    }
    // A good download after failed ones starts afresh and succeeds.
    EXPECT_EQ(Download(w, FirmwareImage) & kDone, kDone);
    EXPECT_EQ(Rd(w, VERSION), 0x12);
}

TEST_F(SimTest, DownloadNeedsThePulseAndBit1) {
    const uintptr_t w = OpenWindow(0);
    // Without the bit 0 pulse the data bytes go nowhere.
    Wr(w, CONF, 0x02);
    for (uint8_t byte : FirmwareImage) {
        Wr(w, DATA0, byte);
    }
    Wr(w, CONF, 0x00);
    EXPECT_EQ(Rd(w, CONF) & kDone, 0);
    EXPECT_EQ(oxsim::ReadCardState(0).bytesReceived, 0u);
    // A new pulse unconfigures a configured card until its download ends.
    ASSERT_EQ(Download(w, FirmwareImage) & kDone, kDone);
    Wr(w, CONF, 0x01);
    Wr(w, CONF, 0x00);
    EXPECT_EQ(Rd(w, CONF) & kDone, 0);
    EXPECT_EQ(Rd(w, VERSION), 0xFF);
}

TEST_F(SimTest, SlowCardSetsBit5AtTheNthReadAndDropsBytesSentEarlier) {
    ASSERT_TRUE(oxsim::Configure("0123@1/1:slow=3"));
    const uintptr_t w = OpenWindow(0);
    Wr(w, CONF, 0x01);
    Wr(w, CONF, 0x00);
    Wr(w, CONF, 0x02);
    EXPECT_EQ(Rd(w, CONF) & kReady, kReady) << "ready for the first byte";
    for (int byte = 0; byte < 3; ++byte) {
        Wr(w, DATA0, FirmwareImage[byte]);
        EXPECT_EQ(Rd(w, CONF) & kReady, 0);
        EXPECT_EQ(Rd(w, CONF) & kReady, 0);
        EXPECT_EQ(Rd(w, CONF) & kReady, kReady);
    }
    Wr(w, DATA0, FirmwareImage[3]);
    Wr(w, DATA0, FirmwareImage[4]); // too early: lost
    EXPECT_EQ(oxsim::ReadCardState(0).bytesReceived, 4u);

    oxsim::ClearTrace();
    EXPECT_EQ(Download(w, FirmwareImage) & kDone, kDone);
    EXPECT_EQ(oxsim::TraceSize(), 3 + 4 * FirmwareImage.size() + 2);
}

TEST_F(SimTest, StuckCardNeverBecomesReadyAgain) {
    ASSERT_TRUE(oxsim::Configure("0123@1/1:stuck"));
    const uintptr_t w = OpenWindow(0);
    EXPECT_EQ(Download(w, std::span(FirmwareImage).first(10), 1000) & (kReady | kDone), 0);
    EXPECT_EQ(oxsim::ReadCardState(0).bytesReceived, 1u);
    // Every retry sticks again after its first byte.
    EXPECT_EQ(Download(w, FirmwareImage, 5) & kDone, 0);
    EXPECT_EQ(oxsim::ReadCardState(0).bytesReceived, 1u);
}

TEST_F(SimTest, NodoneCardTakesEveryByteButNeverCompletes) {
    ASSERT_TRUE(oxsim::Configure("0123@1/1:nodone"));
    const uintptr_t w = OpenWindow(0);
    EXPECT_EQ(Download(w, FirmwareImage) & kDone, 0);
    const oxsim::CardState state = oxsim::ReadCardState(0);
    EXPECT_EQ(state.bytesReceived, FirmwareImage.size());
    EXPECT_FALSE(state.configured);
    EXPECT_EQ(Rd(w, VERSION), 0xFF);
}

TEST_F(SimTest, SetVersionHoldsAcrossDownloads) {
    const uintptr_t w = OpenWindow(2);
    oxsim::SetVersion(2, 0x1A);
    ASSERT_EQ(Download(w, FirmwareImage) & kDone, kDone);
    EXPECT_EQ(Rd(w, VERSION), 0x1A);
    ASSERT_EQ(Download(w, FirmwareImage) & kDone, kDone);
    EXPECT_EQ(Rd(w, VERSION), 0x1A);
}
