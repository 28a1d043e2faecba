// krv5316-check on this library and a fake tree: it lists the cards and fails at the
// download, since nothing answers in a file, within the download's bound.
#include "fake_sysfs.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace {

TEST(CheckOnDriver, ListsBothCardsAndFailsAtTheDownload) {
    const FakeSysfs tree({{"0000:04:02.0", 0x1b5e, 0x0123},
                          {"0000:03:05.0", 0x1b5e, 0x0456},
                          {"0000:02:0d.0", 0x1b5e, 0x0123}},
                         "vendor 0x1b5e\n");
    tree.Use();
    const auto dir = tree.ConfigFile().parent_path();
    const std::string command = std::string("LD_LIBRARY_PATH='") + DRIVER_DIR + "' '" +
                                KRV5316_CHECK + "' >'" + (dir / "out").string() + "' 2>'" +
                                (dir / "err").string() + "' </dev/null";
    const auto start = std::chrono::steady_clock::now();
    const int raw = std::system(command.c_str());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const std::string out = FileText(dir / "out");

    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw << out << FileText(dir / "err");
    for (const char *card : {"Card 1 at 2/13\n", "Card 2 at 4/2\n"}) {
        const auto at = out.find(card);
        ASSERT_NE(at, std::string::npos) << out;
        const std::string report = out.substr(at, out.find("Verdict", at) - at);
        EXPECT_NE(report.find("  1 open      pass"), std::string::npos) << report;
        EXPECT_NE(report.find("  2 download  fail"), std::string::npos) << report;
    }
    EXPECT_NE(out.find("Verdict: FAIL at step download"), std::string::npos) << out;
    EXPECT_LT(elapsed, std::chrono::seconds(10)) << "a failed download ends within its bound";
}

} // namespace
