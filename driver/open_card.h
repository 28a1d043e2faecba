// A card taken by this process on the route its kernel driver calls for.
#pragma once

#include "card_route.h"
#include "pci_functions.h"

#include <memory>

namespace ox9162 {

class OpenCard {
  public:
    // Refuses a card bound to a driver that no route takes, a card without a memory BAR4
    // of at most 4 GiB, and a card that another process holds. Throws DriverFailure.
    explicit OpenCard(const PciFunction &card);

    const PciFunction &Card() const { return card_; }
    // Refuses a BAR4 shorter than the card's registers, where the programs' accesses
    // would land outside it. Throws DriverFailure.
    CardRoute::Window Map();

  private:
    PciFunction card_;
    std::unique_ptr<CardRoute> route_;
};

} // namespace ox9162
