#include "open_card.h"

#include "driver_failure.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ox9162 {

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

// The kernel driver's name when one is bound, else empty.
std::string BoundDriver(const std::string &device) {
    char target[4096];
    const ssize_t n = ::readlink((device + "/driver").c_str(), target, sizeof target - 1);
    if (n <= 0)
        return {};
    target[n] = '\0';
    const char *slash = std::strrchr(target, '/');
    return slash != nullptr ? slash + 1 : target;
}

// Memory decoding, and the device's power, are switched on through sysfs' enable file.
// The kernel lets only CAP_SYS_ADMIN write it, so the udev rule does it when the card
// appears and a group member only reads it; writing 1 again would only count up the
// kernel's enable count.
void EnsureEnabled(const PciFunction &card) {
    const std::string path = card.sysfsDevice + "/enable";
    char state = '0';
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        const int error = errno;
        throw Failure(card.Address(), "reading enable", Reason(error));
    }
    const ssize_t n = ::read(in, &state, 1);
    const int readError = errno;
    ::close(in);
    if (n < 0) {
        throw Failure(card.Address(), "reading enable", Reason(readError));
    }
    if (n == 0) {
        throw Failure(card.Address(), "reading enable", "the file is empty");
    }
    if (state != '0') {
        return;
    }
    int error = 0;
    if (const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC); fd < 0) {
        error = errno;
    } else {
        if (const ssize_t written = ::write(fd, "1", 1); written != 1) {
            error = written < 0 ? errno : EIO;
        }
        ::close(fd);
    }
    if (error == EACCES || error == EPERM) {
        throw Failure(card.Address(), "enabling the device",
                      "the card is not enabled and only root may enable it (" + Reason(error) +
                          "); install the rule that ox9162-udev-rule prints, or as root: "
                          "echo 1 > " +
                          path);
    }
    if (error != 0) {
        throw Failure(card.Address(), "enabling the device", Reason(error));
    }
}

} // namespace

OpenCard::OpenCard(const PciFunction &card) : card_(card) {
    const std::string address = card.Address();
    if (const std::string driver = BoundDriver(card.sysfsDevice); !driver.empty())
        throw Failure(address, "opening",
                      "bound to kernel driver " + driver + " (unbind it first)");
    if (card.bar4Size == 0)
        throw Failure(address, "opening", "the card has no BAR4");
    if (card.bar4IsIo)
        throw Failure(address, "opening", "BAR4 is an I/O port BAR, not memory");

    const std::string resource = card.sysfsDevice + "/resource4";
    fd_ = ::open(resource.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        throw Failure(address, "opening resource4",
                      Reason(error) + (error == EACCES ? " (not in group ox9162?)" : ""));
    }
    try {
        // A whole-file lock, released when the file closes, also when a process dies.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            throw Failure(address, "locking resource4",
                          error == EWOULDBLOCK ? "the card is in use by another process"
                                               : Reason(error));
        }
        EnsureEnabled(card);
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

OpenCard::OpenCard(OpenCard &&other) noexcept
    : card_(std::move(other.card_)), fd_(std::exchange(other.fd_, -1)),
      mapping_(std::exchange(other.mapping_, nullptr)), mappingLength_(other.mappingLength_),
      windowOffset_(other.windowOffset_) {}

OpenCard::~OpenCard() {
    if (mapping_ != nullptr)
        ::munmap(mapping_, mappingLength_);
    if (fd_ >= 0)
        ::close(fd_);
}

OpenCard::Window OpenCard::Map() {
    if (mapping_ == nullptr) {
        const std::string address = card_.Address();
        // Past the end of a file shorter than the BAR, an access would end the process.
        struct stat info {};
        if (::fstat(fd_, &info) != 0) {
            const int error = errno;
            throw Failure(address, "mapping BAR4", Reason(error));
        }
        if (static_cast<uint64_t>(info.st_size) < card_.bar4Size)
            throw Failure(address, "mapping BAR4",
                          "resource4 has " + std::to_string(info.st_size) + " bytes, BAR4 " +
                              std::to_string(card_.bar4Size));
        // The kernel maps whole pages from the one that holds the BAR's start; a BAR
        // smaller than a page may begin inside it.
        const uint64_t offset = card_.bar4Start % static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
        const size_t length = offset + card_.bar4Size;
        void *at = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (at == MAP_FAILED) {
            const int error = errno;
            throw Failure(address, "mapping BAR4",
                          Reason(error) + (error == EPERM ? " (kernel lockdown?)" : ""));
        }
        mapping_ = at;
        mappingLength_ = length;
        windowOffset_ = offset;
    }
    return {reinterpret_cast<uintptr_t>(mapping_) + windowOffset_, card_.bar4Size};
}

} // namespace ox9162
