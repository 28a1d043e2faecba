// A card taken by this process: its BAR4 resource file open and locked, and BAR4
// mapped on first request.
#pragma once

#include "pci_functions.h"

#include <cstddef>
#include <cstdint>

namespace ox9162 {

class OpenCard {
  public:
    // Refuses a card bound to a kernel driver, a card without a memory BAR4 and a card
    // that another process holds; makes the device decode memory. Throws DriverFailure.
    explicit OpenCard(const PciFunction &card);
    OpenCard(OpenCard &&other) noexcept;
    OpenCard &operator=(OpenCard &&) = delete;
    OpenCard(const OpenCard &) = delete;
    ~OpenCard();

    struct Window {
        uintptr_t address;
        uint64_t length;
    };
    // The whole BAR4, shared and uncached; the same mapping on every call.
    Window Map();

  private:
    PciFunction card_;
    int fd_ = -1;
    void *mapping_ = nullptr;
    size_t mappingLength_ = 0;
    uint64_t windowOffset_ = 0;
};

} // namespace ox9162
