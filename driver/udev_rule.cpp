// ox9162-udev-rule: prints the udev rule that readies the configured vendors' cards when
// they appear, so a technician need not run the window as root: for the sysfs route, or
// with --vfio for the VFIO route. udev cannot read our configuration, so the rule is
// generated from it.
#include "escaped_text.h"
#include "vendor_config.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char *kUsage =
    "Usage: ox9162-udev-rule [--vfio]\n"
    "Prints the udev rule for the vendor IDs of OX9162_CONFIG or /etc/ox9162.conf: cards\n"
    "enabled and BAR4 open to the group ox9162; with --vfio, cards bound to vfio-pci and\n"
    "their IOMMU groups' /dev/vfio nodes open to the group ox9162.\n";

std::string Hex(uint16_t vendor) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", vendor);
    return text;
}

// Only root may switch memory decoding on, so the rule does it as the card appears; sysfs
// attributes have no device node, so MODE and GROUP do not reach resource4.
void PrintSysfsRule(const std::vector<uint16_t> &vendors) {
    for (uint16_t vendor : vendors) {
        const std::string match =
            "ACTION==\"add\", SUBSYSTEM==\"pci\", ATTR{vendor}==\"" + Hex(vendor) + "\", ";
        std::printf("%sATTR{enable}==\"0\", ATTR{enable}=\"1\"\n"
                    "%sRUN+=\"/bin/chgrp ox9162 /sys%%p/resource4\", "
                    "RUN+=\"/bin/chmod 0660 /sys%%p/resource4\"\n",
                    match.c_str(), match.c_str());
    }
}

// The card is handed to vfio-pci, away from a driver that took it first; its IOMMU group's
// node appears with vfio-pci's first device in the group, so it is recognised by a
// configured vendor among the group's devices.
void PrintVfioRule(const std::vector<uint16_t> &vendors) {
    std::string patterns;
    for (uint16_t vendor : vendors) {
        std::printf("ACTION==\"add\", SUBSYSTEM==\"pci\", ATTR{vendor}==\"%s\", "
                    "DRIVER!=\"vfio-pci\", ATTR{driver_override}=\"vfio-pci\", "
                    "RUN+=\"/sbin/modprobe -q vfio-pci\", "
                    "RUN+=\"/bin/sh -c 'if [ -e /sys%%p/driver ]; then echo %%k > "
                    "/sys%%p/driver/unbind; fi; echo %%k > /sys/bus/pci/drivers_probe'\"\n",
                    Hex(vendor).c_str());
        patterns += " -e " + Hex(vendor);
    }
    std::printf(
        "ACTION==\"add\", SUBSYSTEM==\"vfio\", KERNEL==\"[0-9]*\", "
        "PROGRAM=\"/bin/sh -c 'grep -qsx%s /sys/kernel/iommu_groups/%%k/devices/*/vendor'\", "
        "GROUP=\"ox9162\", MODE=\"0660\"\n",
        patterns.c_str());
}

} // namespace

int main(int argc, char **argv) {
    // A reader that has gone (`| head -0`) is a write error to say, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    const bool vfio = argc == 2 && std::strcmp(argv[1], "--vfio") == 0;
    if (argc > 2 || (argc == 2 && !vfio)) {
        const bool help = std::strcmp(argv[1], "--help") == 0;
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    const std::string path = ox9162::ConfigPath();
    const ox9162::VendorConfig config = ox9162::ReadVendorConfig(path);
    if (!config.error.empty()) {
        std::fprintf(stderr, "ox9162-udev-rule: %s\n", config.error.c_str());
        return 1;
    }
    // The path is the one text from outside: escaped, it cannot add a line to the rule.
    // The package regenerates a rule whose first line this is, with the same option.
    std::printf("# Written by ox9162-udev-rule%s from %s; the package rewrites this file "
                "while this line is first.\n",
                vfio ? " --vfio" : "", oxtext::Escaped(path).c_str());
    if (vfio) {
        std::printf("# OX9162 cards: bound to vfio-pci, their IOMMU groups open to group "
                    "ox9162.\n");
        PrintVfioRule(config.vendors);
    } else {
        std::printf("# OX9162 cards: memory decoding on, BAR4 (resource4) open to group "
                    "ox9162.\n");
        PrintSysfsRule(config.vendors);
    }
    // A rule cut short must not pass for one: the failure is said, as the other programs
    // say theirs.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno;
        std::fprintf(stderr, "ox9162-udev-rule: cannot write to standard output: %s\n",
                     std::strerror(error));
        return 1;
    }
    return 0;
}
