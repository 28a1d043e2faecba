// Opening, mapping and closing cards of a fake tree, whose BAR4 file stands for the
// card's registers.
#include "fake_sysfs.h"
#include "ox9162_driver.h"
#include "test_paths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;

class CardTest : public ::testing::Test {
  protected:
    // Card 0: a KRV-5316 free to use; 1: bound to a kernel driver; 2: an I/O BAR4.
    FakeSysfs tree{{{"0000:02:0d.0", 0x1b5e, 0x0123, 0x800},
                    {"0000:03:05.0", 0x1b5e, 0x0123, 0x1000, false, "uio_pci_generic"},
                    {"0000:04:02.0", 0x1b5e, 0x0456, 0x100, true}},
                   "vendor 0x1b5e\n"};

    void SetUp() override {
        tree.Use();
        uint32_t count = 0;
        ASSERT_EQ(OX9162_CardsInSystem(&count), 0u);
        ASSERT_EQ(count, 3u);
    }

    void TearDown() override {
        testing::internal::CaptureStderr();
        OX9162_Close(0);
        testing::internal::GetCapturedStderr();
    }

    // Another process that opens the card: its exit status and message.
    ShellRun OpenInAnotherProcess(uint32_t card) {
        return tree.Shell(std::string("'") + TestPath("OPEN_PROBE") + "' " + std::to_string(card));
    }
};

TEST_F(CardTest, OpenCardIsKeptFromOtherProcessesUntilClosed) {
    EXPECT_EQ(OX9162_Open(0, 0), 0u);
    EXPECT_EQ(FileText(tree.Device("0000:02:0d.0") / "enable"), "1\n") << "memory decoding on";
    const auto locked = OpenInAnotherProcess(0);
    EXPECT_EQ(locked.status, 1);
    EXPECT_EQ(locked.err,
              "0000:02:0d.0: locking resource4: the card is in use by another process\n");
    EXPECT_EQ(OX9162_Close(0), 0u);
    EXPECT_EQ(OpenInAnotherProcess(0).status, 0);

    testing::internal::CaptureStderr();
    EXPECT_NE(OX9162_Close(0), 0u);
    EXPECT_NE(OX9162_Open(0, 1), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "0000:02:0d.0: closing: the card is not open\n"
              "0000:02:0d.0: opening: mode 1 unknown (0 only)\n");
}

TEST_F(CardTest, TechnicianOpensAnEnabledCardWithoutWritingEnable) {
    const fs::path enable = tree.Device("0000:02:0d.0") / "enable";
    const struct {
        const char *state;
        int status;
        std::string err;
    } cases[] = {
        {"1\n", 0, ""},
        {"", 1, "0000:02:0d.0: reading enable: the file is empty\n"},
        {"0\n", 1,
         "0000:02:0d.0: enabling the device: the card is not enabled and only root may enable "
         "it (Permission denied); install the rule that ox9162-udev-rule prints, or as root: "
         "echo 1 > " +
             enable.string() + "\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.state);
        fs::permissions(enable, fs::perms::owner_write, fs::perm_options::add);
        std::ofstream(enable) << c.state;
        fs::permissions(enable,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const auto run = tree.Shell(AsTechnician() + "'" + TestPath("OPEN_PROBE") + "' 0");
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST_F(CardTest, CloseAndMapActOnTheOpenedCardWhateverALaterScanFound) {
    uintptr_t before = 0, after = 0;
    uint32_t length = 0;
    ASSERT_EQ(OX9162_Open(0, 0), 0u);
    ASSERT_EQ(OX9162_BAR4_BaseAdr(0, &before, &length), 0u);
    {
        // The card left the list; number 0 now names another.
        const FakeSysfs other({{"0000:01:00.0", 0x1b5e, 0x0123}}, "vendor 0x1b5e\n");
        other.Use();
        uint32_t count = 0;
        ASSERT_EQ(OX9162_CardsInSystem(&count), 0u);
        EXPECT_EQ(OX9162_BAR4_BaseAdr(0, &after, &length), 0u);
        EXPECT_EQ(after, before);
        EXPECT_EQ(OX9162_Close(0), 0u);
    }
    EXPECT_EQ(OpenInAnotherProcess(0).status, 0) << "the card was released";
}

TEST_F(CardTest, BoundDriverAndIoBarAreRefused) {
    testing::internal::CaptureStderr();
    EXPECT_NE(OX9162_Open(1, 0), 0u);
    EXPECT_NE(OX9162_Open(2, 0), 0u);
    EXPECT_EQ(
        testing::internal::GetCapturedStderr(),
        "0000:03:05.0: opening: bound to kernel driver uio_pci_generic (unbind it, or bind it to "
        "vfio-pci)\n"
        "0000:04:02.0: opening: BAR4 is an I/O port BAR, not memory\n");
    EXPECT_EQ(FileText(tree.Device("0000:03:05.0") / "enable"), "0\n") << "left as it was";
}

TEST_F(CardTest, BytesThroughTheWindowAreTheResourceFilesBytes) {
    uintptr_t address = 0;
    uint32_t length = 0;
    testing::internal::CaptureStderr();
    EXPECT_NE(OX9162_BAR4_BaseAdr(0, &address, &length), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "0000:02:0d.0: mapping BAR4: the card is not open\n");

    // A resource file shorter than the BAR is not mapped.
    const fs::path resource = tree.Device("0000:02:0d.0") / "resource4";
    fs::resize_file(resource, 0x400);
    ASSERT_EQ(OX9162_Open(0, 0), 0u);
    testing::internal::CaptureStderr();
    EXPECT_NE(OX9162_BAR4_BaseAdr(0, &address, &length), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "0000:02:0d.0: mapping BAR4: resource4 has 1024 bytes, BAR4 2048\n");
    fs::resize_file(resource, 0x800);

    ASSERT_EQ(OX9162_BAR4_BaseAdr(0, &address, &length), 0u);
    EXPECT_EQ(length, 0x800u);
    auto *window = reinterpret_cast<volatile uint8_t *>(address);
    std::string expected(0x800, '\0');
    for (const auto &[offset, value] : {std::pair{0x000, 0x12}, {0x3fc, 0x01}, {0x7ff, 0xa5}}) {
        window[offset] = value;
        expected[offset] = char(value);
    }
    EXPECT_EQ(FileText(resource), expected) << "the three bytes written and no other";

    {
        std::fstream file(resource, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(0x40c);
        file.put('\x5a');
    }
    EXPECT_EQ(window[0x40c], 0x5a);

    // Opened again without closing, as the window does after a failed download.
    uintptr_t again = 0;
    EXPECT_EQ(OX9162_Open(0, 0), 0u);
    EXPECT_EQ(OX9162_BAR4_BaseAdr(0, &again, &length), 0u);
    EXPECT_EQ(again, address);
}

// The kernel maps from the page that holds BAR4's start: a BAR that begins inside its
// page is handed out from there, or refused when its last byte lies past what resource4
// maps, where touching it would end the process, or when it is too short for the card's
// registers.
TEST(Bar4Window, LastByteIsMappedOrTheCardIsRefused) {
    const struct {
        uint64_t start, size;
        int status;
        std::string out, err;
    } cases[] = {
        {0xfe000000, 0x1000, 0, "0\n", ""},
        {0xfe000800, 0x800, 0, "0x800\n", ""},
        {0xfe000800, 0x1000, 1, "",
         "0000:02:0d.0: mapping BAR4: BAR4 starts 2048 bytes into its page, so its last byte "
         "lies past the 4096 bytes that resource4 maps\n"},
        // Shorter than the registers: the programs' accesses would miss it.
        {0xfe000000, 0x100, 1, "",
         "0000:02:0d.0: mapping BAR4: BAR4 has 256 bytes, fewer than the 1536 of the card's "
         "registers\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start + c.size);
        FakeFunction card{"0000:02:0d.0", 0x1b5e, 0x0123, c.size};
        card.bar4Start = c.start;
        const FakeSysfs tree({card}, "vendor 0x1b5e\n");
        const auto run = tree.Shell(std::string("'") + TestPath("OPEN_PROBE") + "' 0 map");
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

} // namespace
