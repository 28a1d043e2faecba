// ox9162-udev-rule: one rule line per configured vendor, or the configuration's error.
#include "fake_sysfs.h"
#include "test_paths.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

ShellRun RuleFor(const std::string &config, const std::string &option = "") {
    return FakeSysfs({}, config).Shell(std::string("'") + TestPath("UDEV_RULE") + "' " + option);
}

// Lines of `text` that hold all of `parts`.
int LinesWith(const std::string &text, const std::vector<std::string> &parts) {
    std::istringstream lines(text);
    int found = 0;
    for (std::string line; std::getline(lines, line);) {
        found += std::all_of(parts.begin(), parts.end(), [&](const std::string &part) {
            return line.find(part) != std::string::npos;
        });
    }
    return found;
}

// Sysfs: only root may write enable, so the rule enables the card and gives the group
// BAR4 alone. VFIO: the card goes to vfio-pci, and its group's node to the group.
TEST(UdevRule, PerVendorReadiesTheCardForItsRoute) {
    const struct {
        const char *option;
        std::vector<std::vector<std::string>> perVendor; // each in one line with the vendor
        std::vector<std::string> once;                   // in one line, for all vendors
    } cases[] = {
        {"",
         {{"ATTR{enable}==\"0\", ATTR{enable}=\"1\""},
          {"RUN+=\"/bin/chgrp ox9162 /sys%p/resource4\"",
           "RUN+=\"/bin/chmod 0660 /sys%p/resource4\""}},
         {}},
        {"--vfio",
         {{"DRIVER!=\"vfio-pci\"", "ATTR{driver_override}=\"vfio-pci\"", "/sys%p/driver/unbind",
           "echo %k > /sys/bus/pci/drivers_probe"}},
         {"SUBSYSTEM==\"vfio\"", "-e 0x1b5e -e 0x1c2f /sys/kernel/iommu_groups/%k/devices/",
          "GROUP=\"ox9162\", MODE=\"0660\""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.option);
        const auto run = RuleFor("vendor 0x1B5E\nvendor 0x1c2f # newer\nvendor 0x1b5e\n", c.option);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'),
                  2 + 2 * c.perVendor.size() + !c.once.empty())
            << run.out;
        for (const std::string vendor : {"0x1b5e", "0x1c2f"}) {
            for (std::vector<std::string> parts : c.perVendor) {
                parts.push_back("ACTION==\"add\", SUBSYSTEM==\"pci\", ATTR{vendor}==\"" + vendor);
                EXPECT_EQ(LinesWith(run.out, parts), 1) << parts.front() << "\n" << run.out;
            }
        }
        if (!c.once.empty()) {
            EXPECT_EQ(LinesWith(run.out, c.once), 1) << run.out;
        }
    }
}

TEST(UdevRule, BadConfigurationOrFullOutputGivesNoRuleAndSaysWhy) {
    const auto run = RuleFor("vendor 0x1b5e\nvendor\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("/ox9162.conf:2: expected"), std::string::npos) << run.err;

    // Standard output full, or a pipe whose reader has gone (this process holds its one
    // writing end, the reading end closed).
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const struct {
        std::string redirect;
        const char *reason;
    } outputs[] = {{">/dev/full", "No space left on device"},
                   {">&" + std::to_string(ends[1]), "Broken pipe"}};
    const FakeSysfs tree({}, "vendor 0x1b5e\n");
    for (const auto &output : outputs) {
        SCOPED_TRACE(output.reason);
        const auto run =
            tree.Shell("{ '" + std::string(TestPath("UDEV_RULE")) + "' " + output.redirect + "; }");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "ox9162-udev-rule: cannot write to standard output: " +
                               std::string(output.reason) + "\n");
    }
    ::close(ends[1]);
}

// Root installs the rule: a path cannot smuggle a line of its own into it.
TEST(UdevRule, ConfigurationPathStaysInsideItsComment) {
    const FakeSysfs tree({}, "");
    const auto odd = tree.ConfigFile().parent_path() / "x\nRUN+=\"touch owned\"\x1b.conf";
    std::ofstream(odd) << "vendor 0x1b5e\n";
    ::setenv("ODD_CONFIG", odd.c_str(), 1);
    const auto run =
        tree.Shell(std::string("OX9162_CONFIG=\"$ODD_CONFIG\" '") + TestPath("UDEV_RULE") + "'");
    ::unsetenv("ODD_CONFIG");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2 + 2) << run.out;
    EXPECT_NE(run.out.find("/x\\nRUN+=\"touch owned\"\\x1b.conf; the package"), std::string::npos)
        << run.out;
}

} // namespace
