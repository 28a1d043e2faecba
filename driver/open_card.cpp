#include "open_card.h"

#include "driver_failure.h"
#include "escaped_text.h"

#include <cstring>
#include <limits>
#include <string>
#include <unistd.h>

namespace ox9162 {

namespace {

// By the driver a card is bound to, as the kernel names it.
constexpr RouteMethod kRoutes[] = {
    {"", OpenThroughSysfs},
    {"vfio-pci", OpenThroughVfio},
};

} // namespace

std::string Reason(int error) {
    return std::strerror(error);
}

std::string LinkName(const std::string &link) {
    char target[4096];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return {};
    }
    target[n] = '\0';
    const char *slash = std::strrchr(target, '/');
    return slash != nullptr ? slash + 1 : target;
}

OpenCard::OpenCard(const PciFunction &card) : card_(card) {
    const std::string address = card.Address();
    if (card.bar4Size == 0) {
        throw Failure(address, "opening", "the card has no BAR4");
    }
    if (card.bar4IsIo) {
        throw Failure(address, "opening", "BAR4 is an I/O port BAR, not memory");
    }
    if (card.bar4Size > std::numeric_limits<uint32_t>::max()) {
        throw Failure(address, "opening", "BAR4 is larger than 4 GiB");
    }
    const std::string driver = LinkName(card.sysfsDevice + "/driver");
    for (const RouteMethod &route : kRoutes) {
        if (driver == route.driver) {
            route_ = route.open(card);
            return;
        }
    }
    throw Failure(address, "opening",
                  "bound to kernel driver " + oxtext::Escaped(driver) +
                      " (unbind it, or bind it to vfio-pci)");
}

} // namespace ox9162
