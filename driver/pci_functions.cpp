#include "pci_functions.h"

#include "checked_file.h"
#include "driver_failure.h"
#include "escaped_text.h"
#include "sysfs_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <tuple>

namespace ox9162 {

namespace {

constexpr const char *kDefaultRoot = "/sys/bus/pci";
constexpr size_t kAttributeBytes = 4096; // a page, the most the kernel writes into one

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};

// "dddd:bb:dd.f", as the kernel names a function's directory; the domain has at least
// four digits and more behind some bridges (10000:e1:00.0). Only the name the kernel
// would write is taken, so the function's directory is the one its address names.
bool ParseAddress(const char *name, PciFunction &f) {
    unsigned domain = 0;
    if (std::sscanf(name, "%8x:%2x:%2x.%1x", &domain, &f.bus, &f.device, &f.function) != 4) {
        return false;
    }
    f.domain = static_cast<int>(domain);
    return f.Address() == name;
}

uint16_t ReadId(const std::string &path) {
    const std::string text = ReadSysfsFile(path, path, "reading PCI IDs");
    const std::optional<uint16_t> id = IdFileValue(text);
    if (!id) {
        throw Failure(path, "reading PCI IDs", "not \"0xHHHH\": " + oxtext::Quoted(text));
    }
    return *id;
}

// BAR4 from the fifth line of the function's resource file.
void ReadBar4(PciFunction &f) {
    const std::string path = f.sysfsDevice + "/resource";
    const ResourceBar bar = ParseResourceBar4(ReadSysfsFile(path, path, "reading BARs"));
    if (!bar.error.empty()) {
        throw Failure(path, "reading BARs", bar.error);
    }
    f.bar4Start = bar.start;
    f.bar4Size = bar.size;
    f.bar4IsIo = bar.isIo;
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

std::string ReadSysfsFile(const std::string &path, const std::string &what,
                          const std::string &step) {
    const CheckedFile file = OpenRegularFile(path, O_RDONLY, Links::Refuse);
    std::string why = file.why;
    std::optional<std::string> text;
    if (file.fd) {
        text = ReadUpTo(file.fd, kAttributeBytes, why);
    }
    if (!text) {
        throw Failure(what, step, why);
    }
    if (text->size() > kAttributeBytes) {
        throw Failure(what, step, "longer than " + std::to_string(kAttributeBytes) + " bytes");
    }
    return *text;
}

std::vector<PciFunction> ScanFunctions(const std::string &sysfsRoot,
                                       const std::vector<uint16_t> &vendors) {
    const std::string devices = sysfsRoot + "/devices";
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(devices.c_str()));
    if (!dir) {
        const int error = errno;
        throw Failure(devices, "listing PCI functions", std::strerror(error));
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
        PciFunction f;
        f.sysfsDevice = devices + "/" + entry->d_name;
        if (!ParseAddress(entry->d_name, f)) {
            throw Failure(f.sysfsDevice, "listing PCI functions", "not a PCI function's name");
        }
        f.vendorId = ReadId(f.sysfsDevice + "/vendor");
        if (std::find(vendors.begin(), vendors.end(), f.vendorId) == vendors.end()) {
            continue;
        }
        f.deviceId = ReadId(f.sysfsDevice + "/device");
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
