// krv5316-check on this library and a fake tree: it lists the cards and fails at the
// download, since nothing answers in a file, within the download's bound.
#include "fake_sysfs.h"
#include "test_paths.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CheckOnDriver, ListsBothCardsAndFailsAtTheDownload) {
    const FakeSysfs tree({{"0000:04:02.0", 0x1b5e, 0x0123},
                          {"0000:03:05.0", 0x1b5e, 0x0456},
                          {"0000:02:0d.0", 0x1b5e, 0x0123}},
                         "vendor 0x1b5e\n");
    const auto start = std::chrono::steady_clock::now();
    const auto run = tree.Shell(std::string("LD_LIBRARY_PATH='") + TestPath("DRIVER_DIR") + "' '" +
                                TestPath("KRV5316_CHECK") + "'");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10))
        << "a failed download ends within its bound";
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    for (const char *card : {"Card 1 at 2/13\n", "Card 2 at 4/2\n"}) {
        const auto at = run.out.find(card);
        ASSERT_NE(at, std::string::npos) << run.out;
        const std::string report = run.out.substr(at, run.out.find("Verdict", at) - at);
        EXPECT_NE(report.find("  1 open      pass"), std::string::npos) << report;
        EXPECT_NE(report.find("  2 download  fail"), std::string::npos) << report;
    }
    EXPECT_NE(run.out.find("Verdict: FAIL at step download"), std::string::npos) << run.out;
}

} // namespace
