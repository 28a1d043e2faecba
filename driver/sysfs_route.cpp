// A card bound to no kernel driver, reached through its sysfs files: resource4 opened,
// locked and mapped, memory decoding switched on through enable.
#include "card_route.h"
#include "checked_file.h"
#include "driver_failure.h"
#include "escaped_text.h"
#include "unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ox9162 {

namespace {

// Memory decoding, and the device's power, are switched on through sysfs' enable file.
// The kernel lets only CAP_SYS_ADMIN write it, so the udev rule does it when the card
// appears and a group member only reads it; writing 1 again would only count up the
// kernel's enable count.
void EnsureEnabled(const PciFunction &card) {
    const std::string path = card.sysfsDevice + "/enable";
    const std::string state = ReadSysfsFile(path, card.Address(), "reading enable");
    if (state.empty()) {
        throw Failure(card.Address(), "reading enable", "the file is empty");
    }
    if (state[0] != '0') {
        return;
    }
    const CheckedFile file = OpenRegularFile(path, O_WRONLY, Links::Refuse);
    if (!file.fd && file.error == 0) {
        throw Failure(card.Address(), "enabling the device", file.why);
    }
    int error = file.error;
    if (file.fd) {
        if (const ssize_t written = ::write(file.fd.get(), "1", 1); written != 1) {
            error = written < 0 ? errno : EIO;
        }
    }
    if (error == EACCES || error == EPERM) {
        throw Failure(card.Address(), "enabling the device",
                      "the card is not enabled and only root may enable it (" + Reason(error) +
                          "); install the rule that ox9162-udev-rule prints, or as root: "
                          "echo 1 > " +
                          oxtext::Escaped(path));
    }
    if (error != 0) {
        throw Failure(card.Address(), "enabling the device", Reason(error));
    }
}

class SysfsRoute final : public CardRoute {
  public:
    explicit SysfsRoute(const PciFunction &card) : card_(card) {
        const std::string address = card.Address();
        const std::string resource = card.sysfsDevice + "/resource4";
        CheckedFile file = OpenRegularFile(resource, O_RDWR, Links::Refuse);
        if (!file.fd) {
            throw Failure(address, "opening resource4",
                          file.why + (file.error == EACCES ? " (not in group ox9162?)" : ""));
        }
        fd_ = std::move(file.fd);
        // A whole-file lock, released when the file closes, also when a process dies.
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            throw Failure(address, "locking resource4",
                          error == EWOULDBLOCK ? "the card is in use by another process"
                                               : Reason(error));
        }
        EnsureEnabled(card);
    }
    SysfsRoute(const SysfsRoute &) = delete;
    SysfsRoute &operator=(const SysfsRoute &) = delete;
    ~SysfsRoute() override {
        if (mapping_ != nullptr) {
            ::munmap(mapping_, mappingLength_);
        }
    }

    Window Map() override {
        if (mapping_ == nullptr) {
            MapOnce();
        }
        return {reinterpret_cast<uintptr_t>(mapping_) + windowOffset_, card_.bar4Size};
    }

  private:
    void MapOnce() {
        const std::string address = card_.Address();
        // Past the end of a file shorter than the BAR, an access would end the process.
        struct stat info {};
        if (::fstat(fd_.get(), &info) != 0) {
            const int error = errno;
            throw Failure(address, "mapping BAR4", Reason(error));
        }
        const auto fileSize = static_cast<uint64_t>(info.st_size);
        if (fileSize < card_.bar4Size) {
            throw Failure(address, "mapping BAR4",
                          "resource4 has " + std::to_string(fileSize) + " bytes, BAR4 " +
                              std::to_string(card_.bar4Size));
        }
        const PageSpan span =
            Bar4Pages(card_, card_.bar4Size, fileSize, "mapping BAR4", "resource4");
        void *at = ::mmap(nullptr, span.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(), 0);
        if (at == MAP_FAILED) {
            const int error = errno;
            throw Failure(address, "mapping BAR4",
                          Reason(error) + (error == EPERM
                                               ? " (kernel lockdown? bind the card to vfio-pci)"
                                               : ""));
        }
        mapping_ = at;
        mappingLength_ = span.length;
        windowOffset_ = span.offset;
    }

    PciFunction card_;
    UniqueFd fd_;
    void *mapping_ = nullptr;
    size_t mappingLength_ = 0;
    uint64_t windowOffset_ = 0;
};

} // namespace

std::unique_ptr<CardRoute> OpenThroughSysfs(const PciFunction &card) {
    return std::make_unique<SysfsRoute>(card);
}

} // namespace ox9162
