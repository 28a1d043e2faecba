// The PCI functions of given vendors in a sysfs tree: their IDs and BAR4 read from their
// sysfs files, as checked_file.h reads a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ox9162 {

struct PciFunction {
    int domain = 0;
    unsigned bus = 0, device = 0, function = 0;
    uint16_t vendorId = 0, deviceId = 0;
    uint64_t bar4Start = 0;  // its address, without the flag bits
    uint64_t bar4Size = 0;   // 0: no BAR4
    bool bar4IsIo = false;   // an I/O port BAR, which cannot be mapped
    std::string sysfsDevice; // its directory: <root>/devices/<address>

    std::string Address() const; // "dddd:bb:ss.f", as lspci -D writes it
};

// OX9162_SYSFS when set and not empty, else /sys/bus/pci.
std::string SysfsRoot();

// A sysfs attribute's text: a regular file, never a link in its place, of at most a page.
// Throws DriverFailure naming `what` (the file, or its card) and the step.
std::string ReadSysfsFile(const std::string &path, const std::string &what,
                          const std::string &step);

// Scans afresh and lists the functions with one of the vendor IDs, in order of
// domain, bus, device and function. Throws DriverFailure when the tree
// cannot be read; leaves nothing open or allocated then.
std::vector<PciFunction> ScanFunctions(const std::string &sysfsRoot,
                                       const std::vector<uint16_t> &vendors);

} // namespace ox9162
