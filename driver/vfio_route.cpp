// A card bound to vfio-pci, reached through VFIO: its IOMMU group, a container with the
// type-1 IOMMU, the device and a mapping of its BAR4 region. The kernel allows this under
// lockdown, where it refuses mapping through sysfs. The group opens to one process at a
// time, which keeps the card from others.
#include "card_route.h"
#include "driver_failure.h"
#include "escaped_text.h"
#include "unique_fd.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/vfio.h>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>

namespace ox9162 {

namespace {

constexpr const char *kStep = "opening through VFIO";

// OX9162_DEV when set and not empty, else /dev: where the VFIO device nodes are.
std::string DevRoot() {
    const char *root = std::getenv("OX9162_DEV");
    return root != nullptr && *root != '\0' ? root : "/dev";
}

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};

// The device of the group that keeps it from being viable: one bound to a driver other
// than vfio-pci, apart from a bridge's.
std::string BoundElsewhere(const PciFunction &card) {
    const std::string devices = card.sysfsDevice + "/iommu_group/devices";
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(devices.c_str()));
    for (const dirent *entry = dir ? ::readdir(dir.get()) : nullptr; entry != nullptr;
         entry = ::readdir(dir.get())) {
        const std::string driver = LinkName(devices + "/" + entry->d_name + "/driver");
        if (!driver.empty() && driver != "vfio-pci" && driver != "pcieport") {
            return oxtext::Escaped(entry->d_name) + " (bound to " + oxtext::Escaped(driver) + ")";
        }
    }
    return "another device of the group";
}

class VfioRoute final : public CardRoute {
  public:
    explicit VfioRoute(const PciFunction &card) : card_(card) {
        const std::string group = LinkName(card.sysfsDevice + "/iommu_group");
        if (group.empty()) {
            Fail("the card has no IOMMU group, so the IOMMU is off (switch it on in the "
                 "firmware set-up; boot with intel_iommu=on where the kernel does not)");
        }
        const std::string node = DevRoot() + "/vfio/" + group;
        group_ = UniqueFd(::open(node.c_str(), O_RDWR | O_CLOEXEC));
        if (!group_) {
            const int error = errno;
            if (error == EBUSY) {
                Fail("the card is in use by another process (its IOMMU group " +
                     oxtext::Escaped(group) + " is open)");
            }
            Fail(oxtext::Escaped(node) + ": " + Reason(error) +
                 (error == EACCES || error == EPERM
                      ? " (not in group ox9162? install the rule that ox9162-udev-rule "
                        "--vfio prints)"
                      : ""));
        }
        vfio_group_status status{.argsz = sizeof status, .flags = 0};
        Call(group_, VFIO_GROUP_GET_STATUS, &status, "reading the IOMMU group's status");
        if ((status.flags & VFIO_GROUP_FLAGS_VIABLE) == 0) {
            Fail("IOMMU group " + oxtext::Escaped(group) + " is not viable: " +
                 BoundElsewhere(card) + " (bind every device of /sys/kernel/iommu_groups/" +
                 oxtext::Escaped(group) + "/devices to vfio-pci)");
        }

        const std::string containerNode = DevRoot() + "/vfio/vfio";
        container_ = UniqueFd(::open(containerNode.c_str(), O_RDWR | O_CLOEXEC));
        if (!container_) {
            const int error = errno;
            Fail(oxtext::Escaped(containerNode) + ": " + Reason(error));
        }
        if (::ioctl(container_.get(), VFIO_GET_API_VERSION) != VFIO_API_VERSION ||
            ::ioctl(container_.get(), VFIO_CHECK_EXTENSION, VFIO_TYPE1_IOMMU) <= 0) {
            Fail("the kernel offers no VFIO type-1 IOMMU");
        }
        int container = container_.get();
        Call(group_, VFIO_GROUP_SET_CONTAINER, &container, "joining the container");
        Call(container_, VFIO_SET_IOMMU, reinterpret_cast<void *>(VFIO_TYPE1_IOMMU),
             "setting the type-1 IOMMU");

        device_ = UniqueFd(::ioctl(group_.get(), VFIO_GROUP_GET_DEVICE_FD, card.Address().c_str()));
        if (!device_) {
            const int error = errno;
            Fail("getting the device from its group: " + Reason(error));
        }
        region_.argsz = sizeof region_;
        region_.index = VFIO_PCI_BAR4_REGION_INDEX;
        Call(device_, VFIO_DEVICE_GET_REGION_INFO, &region_, "reading BAR4's region");
        if (region_.size == 0) {
            Fail("the card has no BAR4");
        }
        if ((region_.flags & VFIO_REGION_INFO_FLAG_MMAP) == 0) {
            Fail("VFIO does not let BAR4 be mapped");
        }
    }
    VfioRoute(const VfioRoute &) = delete;
    VfioRoute &operator=(const VfioRoute &) = delete;
    ~VfioRoute() override {
        if (mapping_ != nullptr) {
            ::munmap(mapping_, span_.length);
        }
    }

    Window Map() override {
        if (mapping_ == nullptr) {
            const char *step = "mapping BAR4 through VFIO";
            span_ = Bar4Pages(card_, region_.size, region_.size, step, "its VFIO region");
            void *at = ::mmap(nullptr, span_.length, PROT_READ | PROT_WRITE, MAP_SHARED,
                              device_.get(), static_cast<off_t>(region_.offset));
            if (at == MAP_FAILED) {
                const int error = errno;
                throw Failure(card_.Address(), step, Reason(error));
            }
            mapping_ = at;
        }
        return {reinterpret_cast<uintptr_t>(mapping_) + span_.offset, region_.size};
    }

  private:
    [[noreturn]] void Fail(const std::string &reason) const {
        throw Failure(card_.Address(), kStep, reason);
    }

    void Call(const UniqueFd &fd, unsigned long request, void *argument, const char *what) const {
        if (::ioctl(fd.get(), request, argument) != 0) {
            const int error = errno;
            Fail(std::string(what) + ": " + Reason(error));
        }
    }

    PciFunction card_;
    UniqueFd container_, group_, device_; // closed device first, container last
    vfio_region_info region_{};
    PageSpan span_{};
    void *mapping_ = nullptr;
};

} // namespace

std::unique_ptr<CardRoute> OpenThroughVfio(const PciFunction &card) {
    return std::make_unique<VfioRoute>(card);
}

} // namespace ox9162
