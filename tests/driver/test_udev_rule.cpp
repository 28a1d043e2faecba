// ox9162-udev-rule: one rule line per configured vendor, or the configuration's error.
#include "fake_sysfs.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace {

ShellRun RuleFor(const std::string &config) {
    return FakeSysfs({}, config).Shell(std::string("'") + UDEV_RULE + "'");
}

// Only root may write enable, so the rule enables the card; the group gets BAR4 alone.
TEST(UdevRule, PerVendorEnablesTheCardAndOpensBarToTheGroup) {
    const auto run = RuleFor("vendor 0x1B5E\nvendor 0x1c2f # newer\nvendor 0x1b5e\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2 + 2 * 2) << run.out;
    for (const std::string vendor : {"0x1b5e", "0x1c2f"}) {
        const std::string match =
            "ACTION==\"add\", SUBSYSTEM==\"pci\", ATTR{vendor}==\"" + vendor + "\", ";
        for (const std::string action :
             {"ATTR{enable}==\"0\", ATTR{enable}=\"1\"\n",
              "RUN+=\"/bin/chgrp ox9162 /sys%p/resource4\", RUN+=\"/bin/chmod 0660 "
              "/sys%p/resource4\"\n"}) {
            EXPECT_NE(run.out.find(match + action), std::string::npos) << run.out;
        }
    }
}

TEST(UdevRule, BadConfigurationGivesNoRule) {
    const auto run = RuleFor("vendor 0x1b5e\nvendor\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("/ox9162.conf:2: expected"), std::string::npos) << run.err;
}

} // namespace
