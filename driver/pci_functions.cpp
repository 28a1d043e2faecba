#include "pci_functions.h"

#include "driver_failure.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <tuple>
#include <unistd.h>

extern "C" {
#include <pci/pci.h>
}

namespace ox9162 {

namespace {

constexpr const char *kDefaultRoot = "/sys/bus/pci";
constexpr uint64_t kIoResource = 0x100; // the kernel's IORESOURCE_IO in a resource line
constexpr size_t kResourceBytes = 8192; // far more than the kernel's 17 lines

// libpci ends the process on an error unless its error hook does not return; ours
// jumps back to the guarded call below with the message.
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

// Runs one libpci step; false with the message in tScanError when libpci gave up. Only C
// calls between setjmp and longjmp: no destructor is skipped. libpci's own directory scan
// is not used, as it leaks its directory and more when it gives up half-way; its reader of
// one device's IDs closes its file before it fails.
bool Guarded(void (*step)(pci_access *, void *), pci_access *access, void *data) {
    std::jmp_buf escape;
    tScanExit = &escape;
    if (setjmp(escape) != 0) {
        tScanExit = nullptr;
        return false;
    }
    step(access, data);
    tScanExit = nullptr;
    return true;
}

// The device is handed out before its IDs are read, so the caller frees it whatever
// happens.
struct Identity {
    unsigned at[4];
    pci_dev *dev = nullptr;
};

void ReadIdentity(pci_access *access, void *data) {
    auto &identity = *static_cast<Identity *>(data);
    const unsigned *at = identity.at;
    identity.dev = pci_get_dev(access, static_cast<int>(at[0]), static_cast<int>(at[1]),
                               static_cast<int>(at[2]), static_cast<int>(at[3]));
    pci_fill_info(identity.dev, PCI_FILL_IDENT);
}

struct AccessCleanup {
    void operator()(pci_access *access) const { pci_cleanup(access); }
};

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};

// "dddd:bb:dd.f", as the kernel names a function's directory; the domain has at least
// four digits and more behind some bridges (10000:e1:00.0).
bool ParseAddress(const char *name, unsigned (&at)[4]) {
    int end = 0;
    return std::isxdigit(static_cast<unsigned char>(name[0])) &&
           std::sscanf(name, "%8x:%2x:%2x.%1x%n", &at[0], &at[1], &at[2], &at[3], &end) == 4 &&
           static_cast<size_t>(end) == std::strlen(name);
}

// BAR4 from the fifth line "start end flags" of the function's resource file.
void ReadBar4(PciFunction &f) {
    const std::string path = f.sysfsDevice + "/resource";
    std::string text(kResourceBytes, '\0');
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            throw Failure(path, "reading BARs", std::strerror(error));
        }
        const ssize_t n = ::read(fd, text.data(), text.size());
        const int error = errno;
        ::close(fd);
        if (n < 0) {
            throw Failure(path, "reading BARs", std::strerror(error));
        }
        text.resize(static_cast<size_t>(n));
    }
    size_t line = 0;
    for (int skip = 0; skip < 4 && line != std::string::npos; ++skip) {
        line = text.find('\n', line);
        line = line == std::string::npos ? line : line + 1;
    }
    if (line == std::string::npos || line >= text.size()) {
        return; // no BAR4 line: no BAR4
    }
    text.resize(std::min(text.size(), text.find('\n', line))); // no field from line 6
    unsigned long long start = 0, end = 0, flags = 0;
    int used = 0;
    if (std::sscanf(text.c_str() + line, "%llx %llx %llx%n", &start, &end, &flags, &used) != 3 ||
        (text[line + used] != '\n' && text[line + used] != '\0')) {
        throw Failure(path, "reading BARs", "line 5 is not \"start end flags\"");
    }
    f.bar4Start = start;
    f.bar4Size = end > start ? end - start + 1 : 0;
    f.bar4IsIo = (flags & kIoResource) != 0;
}

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
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(devices.c_str()));
    if (!dir) {
        const int error = errno;
        throw Failure(devices, "listing PCI functions", std::strerror(error));
    }

    std::unique_ptr<pci_access, AccessCleanup> access(pci_alloc());
    access->method = PCI_ACCESS_SYS_BUS_PCI;
    access->error = OnLibpciError;
    access->warning = OnLibpciWarning;
    access->debug = OnLibpciWarning;
    std::string param = "sysfs.path", root = sysfsRoot;
    pci_set_param(access.get(), param.data(), root.data());
    if (!Guarded([](pci_access *a, void *) { pci_init(a); }, access.get(), nullptr)) {
        throw Failure(sysfsRoot, "starting libpci", tScanError);
    }

    std::vector<PciFunction> found;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (const int error = errno; error != 0) {
                throw Failure(devices, "listing PCI functions", std::strerror(error));
            }
            break;
        }
        if (entry->d_name[0] == '.') {
            continue;
        }
        Identity identity;
        if (!ParseAddress(entry->d_name, identity.at)) {
            throw Failure(devices + "/" + entry->d_name, "listing PCI functions",
                          "not a PCI function's name");
        }
        const bool read = Guarded(ReadIdentity, access.get(), &identity);
        const std::unique_ptr<pci_dev, void (*)(pci_dev *)> dev(identity.dev, pci_free_dev);
        if (!read) {
            throw Failure(sysfsRoot, "reading PCI IDs with libpci", tScanError);
        }
        if (std::find(vendors.begin(), vendors.end(), dev->vendor_id) == vendors.end()) {
            continue;
        }
        PciFunction f;
        f.domain = dev->domain;
        f.bus = dev->bus;
        f.device = dev->dev;
        f.function = dev->func;
        f.vendorId = dev->vendor_id;
        f.deviceId = dev->device_id;
        f.sysfsDevice = devices + "/" + f.Address();
        ReadBar4(f);
        found.push_back(std::move(f));
    }
    // The directory's order means nothing.
    std::sort(found.begin(), found.end(), [](const PciFunction &a, const PciFunction &b) {
        return std::tie(a.domain, a.bus, a.device, a.function) <
               std::tie(b.domain, b.bus, b.device, b.function);
    });
    return found;
}

} // namespace ox9162
