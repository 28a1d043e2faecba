// The route to a card follows its kernel driver: none, sysfs; vfio-pci, VFIO, whose
// failures on the way to the device say what is missing in one line.
#include "fake_sysfs.h"
#include "test_paths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(Routes, VfioBoundCardTakesTheVfioRouteAndNamesWhatIsMissing) {
    const std::string vfio = "0000:03:05.0: opening through VFIO: ";
    const struct {
        const char *name;
        const char *driver;
        const char *group; // the card's IOMMU group; nullptr: none
        bool node;         // <dev>/vfio/<group> exists, but only for its owner's use
        std::string err;   // after the fake /dev's path where it appears
    } cases[] = {
        {"unbound: sysfs", "", nullptr, false, ""},
        {"no IOMMU group", "vfio-pci", nullptr, false,
         vfio + "the card has no IOMMU group, so the IOMMU is off (switch it on in the firmware "
                "set-up; boot with intel_iommu=on where the kernel does not)\n"},
        {"no group node", "vfio-pci", "7", false, vfio + "@/vfio/7: No such file or directory\n"},
        {"no access to the node", "vfio-pci", "7", true,
         vfio + "@/vfio/7: Permission denied (not in group ox9162? install the rule that "
                "ox9162-udev-rule --vfio prints)\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const FakeSysfs tree({{"0000:03:05.0", 0x1b5e, 0x0123, 0x1000, false, c.driver}},
                             "vendor 0x1b5e\n");
        const fs::path dev = tree.Root().parent_path() / "dev";
        fs::create_directories(dev / "vfio");
        if (c.group != nullptr) {
            const fs::path group = tree.Root().parent_path() / "iommu_groups" / c.group;
            fs::create_directories(group / "devices");
            fs::create_directory_symlink(group, tree.Device("0000:03:05.0") / "iommu_group");
        }
        if (c.node) {
            std::ofstream(dev / "vfio" / c.group).put('\0');
            fs::permissions(dev / "vfio" / c.group, fs::perms::none);
        }
        const auto run = tree.Shell("OX9162_DEV='" + dev.string() + "' " + AsTechnician() + "'" +
                                    TestPath("OPEN_PROBE") + "' 0");
        std::string expected = c.err;
        if (const auto at = expected.find('@'); at != std::string::npos) {
            expected.replace(at, 1, dev.string());
        }
        EXPECT_EQ(run.err, expected);
        EXPECT_EQ(run.status, expected.empty() ? 0 : 1);
    }
}

} // namespace
