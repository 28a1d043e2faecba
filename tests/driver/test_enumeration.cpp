// Enumeration on fake sysfs trees: which functions are cards, their numbering and
// queries, and what a bad configuration or tree says.
#include "fake_sysfs.h"
#include "ox9162_driver.h"
#include "test_paths.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct Listed {
    uint32_t did, bus, slot;
    bool operator==(const Listed &) const = default;
};

// The cards as the library numbers them.
std::vector<Listed> ListCards() {
    uint32_t count = 0;
    EXPECT_EQ(OX9162_CardsInSystem(&count), 0u);
    std::vector<Listed> cards;
    for (uint32_t n = 0; n < count; ++n) {
        Listed c{};
        EXPECT_EQ(OX9162_Card_DID(n, &c.did), 0u);
        EXPECT_EQ(OX9162_Card_BUS(n, &c.bus), 0u);
        EXPECT_EQ(OX9162_Card_SLOT(n, &c.slot), 0u);
        cards.push_back(c);
    }
    return cards;
}

// Status and standard error of one OX9162_CardsInSystem.
std::pair<uint32_t, std::string> ScanResult() {
    testing::internal::CaptureStderr();
    uint32_t count = 0;
    const uint32_t status = OX9162_CardsInSystem(&count);
    return {status, testing::internal::GetCapturedStderr()};
}

TEST(Enumeration, ConfiguredVendorsNumberedByDomainBusDeviceFunction) {
    // Made in an order that no sort of names or creation would give the right one.
    const FakeSysfs tree({{"0001:00:03.0", 0x1b5e, 0x0123},
                          {"0000:04:02.0", 0x1b5e, 0x0123},
                          {"0000:03:05.1", 0x1c2f, 0x0789},
                          {"0000:02:0d.0", 0x8086, 0x1234},
                          {"0000:03:05.0", 0x1c2f, 0x0456},
                          {"0000:10:00.0", 0x1b5e, 0x0123},
                          {"10000:e1:00.0", 0x1b5e, 0x0456}},
                         "# the maker's two vendor IDs\n\n  vendor 0x1B5E  # older cards\n"
                         "vendor 0x1c2f\n");
    tree.Use();
    const std::vector<Listed> expected = {{0x0456, 3, 5},    {0x0789, 3, 5}, {0x0123, 4, 2},
                                          {0x0123, 0x10, 0}, {0x0123, 0, 3}, {0x0456, 0xe1, 0}};
    EXPECT_EQ(ListCards(), expected);

    uint32_t value = 0;
    testing::internal::CaptureStderr();
    EXPECT_NE(OX9162_Card_DID(6, &value), 0u);
    EXPECT_NE(OX9162_Card_BUS(6, &value), 0u);
    EXPECT_NE(OX9162_Card_SLOT(99, &value), 0u);
    EXPECT_NE(OX9162_Card_DID(0, nullptr), 0u);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("OX9162_Card_DID: card 6: no such card; the last OX9162_CardsInSystem "
                       "found 6\n"),
              std::string::npos)
        << err;

    // Each call scans afresh: a number from the earlier count is gone.
    const FakeSysfs none({}, "vendor 0x1b5e\n");
    none.Use();
    EXPECT_EQ(ListCards().size(), 0u);
    testing::internal::CaptureStderr();
    EXPECT_NE(OX9162_Card_DID(0, &value), 0u);
    testing::internal::GetCapturedStderr();
}

TEST(Enumeration, BadConfigurationFailsWithOneLineNamingFileAndLine) {
    using namespace std::string_literals;
    const struct {
        const char *name;
        std::optional<std::string> content; // none: no file
        std::string message;                // after the file's name
    } cases[] = {
        {"missing", std::nullopt, ": cannot read the configuration: No such file or directory\n"},
        {"no vendor line", "# vendor 0x1b5e\n\n",
         ": no \"vendor 0xHHHH\" line, so no card can be recognised\n"},
        {"malformed", "vendor 0x1b5e\nvendor 1b5e\n",
         ":2: expected \"vendor 0xHHHH\" (one to four hexadecimal digits), found \"vendor "
         "1b5e\"\n"},
        {"too wide", "vendor 0x1b5e0\n", ":1: expected"},
        {"extra word", "vendor 0x1b5e 0x1c2f\n", ":1: expected"},
        // A NUL, a non-breaking space and a terminal's escape shown, not acted on.
        {"odd bytes",
         "vendor\xc2\xa0"
         "0x1b5e\x1b[2J\0!\n"s,
         ":1: expected \"vendor 0xHHHH\" (one to four hexadecimal digits), found "
         "\"vendor\\xc2\\xa00x1b5e\\x1b[2J\\x00!\"\n"},
        {"vendor 0", "vendor 0x0000\n",
         ":1: 0x0000 is not a vendor ID (0x0000 and 0xFFFF mean none)\n"},
        {"vendor FFFF", "vendor 0xFFFF\n", ":1: 0xFFFF is not a vendor ID"},
        {"long line", std::string(300, '#') + "\n",
         ":1: longer than 256 bytes: \"" + std::string(60, '#') + "\"... (300 characters)\n"},
        {"large file", std::string(70 * 1024, '\n'),
         ": cannot read the configuration: larger than 64 KiB, which no configuration is\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const FakeSysfs tree({{"0000:02:0d.0", 0x1b5e, 0x0123}}, c.content.value_or(""));
        tree.Use();
        if (!c.content) {
            std::filesystem::remove(tree.ConfigFile());
        }
        const auto [status, err] = ScanResult();
        EXPECT_NE(status, 0u);
        EXPECT_TRUE(err.starts_with(tree.ConfigFile().string() + c.message)) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

// In another process with a time limit: a FIFO would block a careless reader for ever,
// and a device may act on being opened (a watchdog starts), so neither is opened. A
// writer waiting on the FIFO tells whether anything opened it.
TEST(Enumeration, FilesThatAreNotRegularAreRefusedUnopened) {
    namespace fs = std::filesystem;
    const auto fifo = [](const fs::path &p) { ::mkfifo(p.c_str(), 0600); };
    const struct {
        const char *file; // in the card's directory; empty: the configuration
        void (*make)(const fs::path &file);
        int status;      // the probe's: 2 when enumeration fails, 1 when opening does
        std::string err; // '@' for the file's path
    } cases[] = {
        {"", fifo, 2, "@: cannot read the configuration: it is a FIFO, not a regular file\n"},
        {"", [](const fs::path &p) { fs::create_directory(p); }, 2,
         "@: cannot read the configuration: it is a directory, not a regular file\n"},
        {"", [](const fs::path &p) { fs::create_symlink("/dev/zero", p); }, 2,
         "@: cannot read the configuration: it is a device, not a regular file\n"},
        {"vendor", fifo, 2, "@: reading PCI IDs: it is a FIFO, not a regular file\n"},
        {"resource", fifo, 2, "@: reading BARs: it is a FIFO, not a regular file\n"},
        {"enable", fifo, 1, "0000:02:0d.0: reading enable: it is a FIFO, not a regular file\n"},
    };
    for (const auto &c : cases) {
        const FakeSysfs tree({{"0000:02:0d.0", 0x1b5e, 0x0123}}, "vendor 0x1b5e\n");
        const fs::path odd = *c.file ? tree.Device("0000:02:0d.0") / c.file : tree.ConfigFile();
        SCOPED_TRACE(odd);
        fs::remove(odd);
        c.make(odd);
        const fs::path opened = tree.Root() / "opened";
        const auto run = tree.Shell(
            "(w=; if [ -p '" + odd.string() + "' ]; then (exec 3>'" + odd.string() +
            "'; echo opened >'" + opened.string() + "') & w=$!; sleep 0.3; fi; timeout 10 '" +
            TestPath("OPEN_PROBE") + "' 0; s=$?; [ -z \"$w\" ] || kill $w 2>/dev/null; exit $s)");
        std::string expected = c.err;
        if (const auto at = expected.find('@'); at != std::string::npos) {
            expected.replace(at, 1, odd.string());
        }
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, expected);
        EXPECT_FALSE(fs::exists(opened));
    }
}

// Names from outside reach a message escaped: a newline cannot split it, an escape
// sequence cannot drive the terminal.
TEST(Enumeration, OutsideNamesInMessagesAreEscaped) {
    const struct {
        const char *driver, *entry, *rootSuffix; // the odd name's place
        int status;
        std::string err; // '@' for the tree's root
    } cases[] = {
        {"", "0000:02:0d.0\n\x1b[2J", "", 2,
         "@/devices/0000:02:0d.0\\n\\x1b[2J: listing PCI functions: not a PCI function's name\n"},
        {"uio\n\x1b[31m", "", "", 1,
         "0000:02:0d.0: opening: bound to kernel driver uio\\n\\x1b[31m (unbind it, or bind it "
         "to vfio-pci)\n"},
        {"", "", "/x\n\x1b[2J", 2,
         "@/x\\n\\x1b[2J/devices: listing PCI functions: No such file or directory\n"},
    };
    for (const auto &c : cases) {
        const FakeSysfs tree({{"0000:02:0d.0", 0x1b5e, 0x0123, 0x1000, false, c.driver}},
                             "vendor 0x1b5e\n");
        if (*c.entry) {
            std::filesystem::create_directory(tree.Root() / "devices" / c.entry);
        }
        const auto run = tree.Shell("OX9162_SYSFS=\"$OX9162_SYSFS\"'" + std::string(c.rootSuffix) +
                                    "' '" + TestPath("OPEN_PROBE") + "' 0");
        std::string expected = c.err;
        if (const auto at = expected.find('@'); at != std::string::npos) {
            expected.replace(at, 1, tree.Root().string());
        }
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, expected);
    }
}

TEST(Enumeration, BrokenTreeFailsWithAMessageInsteadOfEndingTheProcess) {
    const FakeSysfs tree({{"0000:02:0d.0", 0x1b5e, 0x0123}}, "vendor 0x1b5e\n");
    tree.Use();
    std::filesystem::remove(tree.Device("0000:02:0d.0") / "vendor");
    for (int round = 0; round < 2; ++round) {
        const auto [status, err] = ScanResult();
        EXPECT_NE(status, 0u);
        EXPECT_EQ(err, tree.Device("0000:02:0d.0").string() +
                           "/vendor: reading PCI IDs: No such file or directory\n");
    }
    ::setenv("OX9162_SYSFS", (tree.Root() / "absent").c_str(), 1);
    const auto [status, err] = ScanResult();
    EXPECT_NE(status, 0u);
    EXPECT_EQ(err, (tree.Root() / "absent/devices").string() +
                       ": listing PCI functions: No such file or directory\n");
}

int OpenDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<int>(std::distance(begin(fds), end(fds)));
}

TEST(Enumeration, FailedScansLeaveNoDescriptorOpen) {
    const struct {
        const char *name;
        void (*breakTree)(const FakeSysfs &tree);
    } cases[] = {
        {"stray entry", [](const FakeSysfs &t) { std::ofstream(t.Root() / "devices/stray"); }},
        {"bad BAR line",
         [](const FakeSysfs &t) {
             std::ofstream(t.Device("0000:02:0d.0") / "resource") << "0 0 0\n0 0 0\n0 0 0\n"
                                                                     "0 0 0\nfe000000 x\n";
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const FakeSysfs tree({{"0000:02:0d.0", 0x1b5e, 0x0123}}, "vendor 0x1b5e\n");
        tree.Use();
        c.breakTree(tree);
        const int before = OpenDescriptors();
        testing::internal::CaptureStderr();
        int failed = 0;
        for (int scan = 0; scan < 5000; ++scan) {
            uint32_t count = 0;
            failed += OX9162_CardsInSystem(&count) != 0;
        }
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(failed, 5000);
        EXPECT_EQ(OpenDescriptors(), before);
    }
}

} // namespace
