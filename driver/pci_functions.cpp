#include "pci_functions.h"

#include "driver_failure.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <tuple>
#include <unistd.h>

extern "C" {
#include <pci/pci.h>
}

namespace ox9162 {

namespace {

constexpr const char *kDefaultRoot = "/sys/bus/pci";
constexpr int kFill = PCI_FILL_IDENT | PCI_FILL_BASES | PCI_FILL_SIZES;

// libpci ends the process on an error unless its error hook does not return; ours
// jumps back to the guarded scan below with the message.
thread_local std::jmp_buf *tScanExit = nullptr;
thread_local char tScanError[512];

// The GNU spelling: the hook's type carries noreturn, which Clang checks on assignment.
__attribute__((noreturn)) void OnLibpciError(char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(tScanError, sizeof tScanError, format, args);
    va_end(args);
    std::longjmp(*tScanExit, 1);
}

// A warning is no failure: the scan goes on without it.
void OnLibpciWarning(char *, ...) {}

// Only C calls between setjmp and longjmp: no destructor is skipped. What libpci held
// when it gave up is released by pci_cleanup, apart from a file it may have had open.
bool GuardedScan(pci_access *access) {
    std::jmp_buf escape;
    tScanExit = &escape;
    if (setjmp(escape) != 0) {
        tScanExit = nullptr;
        return false;
    }
    pci_init(access);
    pci_scan_bus(access);
    for (pci_dev *dev = access->devices; dev != nullptr; dev = dev->next)
        pci_fill_info(dev, kFill);
    tScanExit = nullptr;
    return true;
}

struct AccessCleanup {
    void operator()(pci_access *access) const { pci_cleanup(access); }
};

} // namespace

std::string PciFunction::Address() const {
    char text[32];
    std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", static_cast<unsigned>(domain), bus,
                  device, function);
    return text;
}

std::string SysfsRoot() {
    const char *root = std::getenv("OX9162_SYSFS");
    return root != nullptr && *root != '\0' ? root : kDefaultRoot;
}

std::vector<PciFunction> ScanFunctions(const std::string &sysfsRoot,
                                       const std::vector<uint16_t> &vendors) {
    const std::string devices = sysfsRoot + "/devices";
    // libpci's own message for this leaves out the reason.
    if (::access(devices.c_str(), R_OK | X_OK) != 0) {
        const std::string reason = std::strerror(errno);
        throw Failure(devices, "listing PCI functions", reason);
    }

    std::unique_ptr<pci_access, AccessCleanup> access(pci_alloc());
    access->method = PCI_ACCESS_SYS_BUS_PCI;
    access->error = OnLibpciError;
    access->warning = OnLibpciWarning;
    access->debug = OnLibpciWarning;
    std::string param = "sysfs.path", root = sysfsRoot;
    pci_set_param(access.get(), param.data(), root.data());
    if (!GuardedScan(access.get()))
        throw Failure(sysfsRoot, "scanning PCI functions with libpci", tScanError);

    std::vector<PciFunction> found;
    for (const pci_dev *dev = access->devices; dev != nullptr; dev = dev->next) {
        if (std::find(vendors.begin(), vendors.end(), dev->vendor_id) == vendors.end())
            continue;
        PciFunction f;
        f.domain = dev->domain;
        f.bus = dev->bus;
        f.device = dev->dev;
        f.function = dev->func;
        f.vendorId = dev->vendor_id;
        f.deviceId = dev->device_id;
        f.bar4Start = dev->base_addr[4] & PCI_ADDR_MEM_MASK;
        f.bar4Size = dev->size[4];
        f.bar4IsIo = (dev->base_addr[4] & PCI_BASE_ADDRESS_SPACE) == PCI_BASE_ADDRESS_SPACE_IO;
        f.sysfsDevice = devices + "/" + f.Address();
        found.push_back(std::move(f));
    }
    // libpci lists them in directory order, which means nothing.
    std::sort(found.begin(), found.end(), [](const PciFunction &a, const PciFunction &b) {
        return std::tie(a.domain, a.bus, a.device, a.function) <
               std::tie(b.domain, b.bus, b.device, b.function);
    });
    return found;
}

} // namespace ox9162
