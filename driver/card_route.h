// The ways to reach a card's BAR4, one file each: through sysfs for a card bound to no
// kernel driver, through VFIO for one bound to vfio-pci. Another way is one more file and
// one more row of the table in open_card.cpp.
#pragma once

#include "pci_functions.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ox9162 {

// A card taken by this process on one route: held against other processes from its
// construction, BAR4 mapped on first request and released with the object.
class CardRoute {
  public:
    struct Window {
        uintptr_t address;
        uint64_t length;
    };

    virtual ~CardRoute() = default;
    // The whole BAR4, shared and uncached; the same mapping on every call.
    virtual Window Map() = 0;
};

struct RouteMethod {
    const char *driver; // the kernel driver the card is bound to; empty: none
    std::unique_ptr<CardRoute> (*open)(const PciFunction &card); // throws DriverFailure
};

std::unique_ptr<CardRoute> OpenThroughSysfs(const PciFunction &card);
std::unique_ptr<CardRoute> OpenThroughVfio(const PciFunction &card);

// Where BAR4 lies in a mapping from the page that holds its first byte, the way the
// kernel maps both routes' files: its offset there and the length to map. Throws
// DriverFailure when its last byte would lie past the `mappable` bytes of `source`
// (rounded up to whole pages), where a touch would end the process.
struct PageSpan {
    uint64_t offset;
    size_t length;
};
PageSpan Bar4Pages(const PciFunction &card, uint64_t size, uint64_t mappable,
                   const std::string &step, const std::string &source);

// The system's text for an errno value.
std::string Reason(int error);

// The name of a link's target without its directories, e.g. a bound driver's; empty
// when there is no such link.
std::string LinkName(const std::string &link);

} // namespace ox9162
