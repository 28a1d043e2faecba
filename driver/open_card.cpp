#include "open_card.h"

#include "driver_failure.h"
#include "escaped_text.h"

#include <cstring>
#include <limits>
#include <string>
#include <unistd.h>

namespace ox9162 {

namespace {

// The card's registers end with VERSION at 0x5FC. A second copy of the programs' register
// map (cardaccess/KRV5316_regs.h): the library is built and shipped apart from the
// programs, and a maker's program may call it, so it holds the card's facts itself.
constexpr uint64_t kRegisterBytes = 0x600;

// By the driver a card is bound to, as the kernel names it.
constexpr RouteMethod kRoutes[] = {
    {"", OpenThroughSysfs},
    {"vfio-pci", OpenThroughVfio},
};

} // namespace

PageSpan Bar4Pages(const PciFunction &card, uint64_t size, uint64_t mappable,
                   const std::string &step, const std::string &source) {
    const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t offset = card.bar4Start % page;
    const uint64_t pages = mappable / page + (mappable % page != 0);
    if (offset + size > pages * page) {
        throw Failure(card.Address(), step,
                      "BAR4 starts " + std::to_string(offset) +
                          " bytes into its page, so its last byte lies past the " +
                          std::to_string(pages * page) + " bytes that " + source + " maps");
    }
    return {offset, static_cast<size_t>(offset + size)};
}

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

CardRoute::Window OpenCard::Map() {
    if (card_.bar4Size < kRegisterBytes) {
        throw Failure(card_.Address(), "mapping BAR4",
                      "BAR4 has " + std::to_string(card_.bar4Size) + " bytes, fewer than the " +
                          std::to_string(kRegisterBytes) + " of the card's registers");
    }
    return route_->Map();
}

} // namespace ox9162
