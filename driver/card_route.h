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

// The system's text for an errno value.
std::string Reason(int error);

// The name of a link's target without its directories, e.g. a bound driver's; empty
// when there is no such link.
std::string LinkName(const std::string &link);

} // namespace ox9162
