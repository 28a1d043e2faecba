// ox9162-udev-rule: one rule line per configured vendor, or the configuration's error.
#include "fake_sysfs.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace {

ShellRun RuleFor(const std::string &config) {
    return FakeSysfs({}, config).Shell(std::string("'") + UDEV_RULE + "'");
}

TEST(UdevRule, OneLinePerVendorOpeningBarAndEnableToTheGroup) {
    const auto run = RuleFor("vendor 0x1B5E\nvendor 0x1c2f # newer\nvendor 0x1b5e\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2 + 2) << "two comment lines";
    const std::string rest = "\", RUN+=\"/bin/chgrp ox9162 /sys%p/resource4 /sys%p/enable\", "
                             "RUN+=\"/bin/chmod g+rw /sys%p/resource4 /sys%p/enable\"\n";
    for (const char *vendor : {"0x1b5e", "0x1c2f"}) {
        const std::string line =
            std::string("ACTION==\"add\", SUBSYSTEM==\"pci\", ATTR{vendor}==\"") + vendor + rest;
        EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
    }
}

TEST(UdevRule, BadConfigurationGivesNoRule) {
    const auto run = RuleFor("vendor 0x1b5e\nvendor\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("/ox9162.conf:2: expected"), std::string::npos) << run.err;
}

} // namespace
