// The seven driver functions on real cards. Every failure returns non-zero after one
// line on standard error that says what failed and why; no exception leaves here.
#include "driver_failure.h"
#include "open_card.h"
#include "ox9162_driver.h"
#include "pci_functions.h"
#include "vendor_config.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace ox9162 {

namespace {

constexpr uint32_t kOk = 0;
constexpr uint32_t kFailed = 1;

// This process's view: the cards of the last scan, numbered by their index, and the
// open ones by the number they were opened with. A later scan may drop or renumber a
// card; the open card stays what that number means to Close and BAR4_BaseAdr.
struct DriverState {
    std::mutex mutex;
    std::vector<PciFunction> cards;
    std::map<uint32_t, OpenCard> open;
};

DriverState &State() {
    static DriverState state;
    return state;
}

// Runs one call under the lock, turning every failure into its line and a status.
template <class Body> uint32_t Guarded(Body body) {
    try {
        DriverState &state = State();
        const std::lock_guard lock(state.mutex);
        body(state);
        return kOk;
    } catch (const DriverFailure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
    } catch (const std::exception &error) {
        std::fprintf(stderr, "libzovak_ox9162: internal error: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "libzovak_ox9162: internal error\n");
    }
    return kFailed;
}

const PciFunction &Card(const DriverState &state, const char *function, uint32_t card) {
    if (card >= state.cards.size()) {
        throw Failure(function, "card " + std::to_string(card),
                      "no such card; the last OX9162_CardsInSystem found " +
                          std::to_string(state.cards.size()));
    }
    return state.cards[card];
}

// A card's name in a line: its address, while a scan or an opening knows it.
std::string NameOf(const DriverState &state, uint32_t card) {
    if (const auto open = state.open.find(card); open != state.open.end()) {
        return open->second.Card().Address();
    }
    return card < state.cards.size() ? state.cards[card].Address() : "card " + std::to_string(card);
}

template <class T> T &Out(const char *function, T *place) {
    if (place == nullptr) {
        throw Failure(function, "arguments", "null pointer for a result");
    }
    return *place;
}

template <class Field>
uint32_t Query(const char *function, uint32_t card, uint32_t *out, Field field) {
    return Guarded(
        [&](DriverState &state) { Out(function, out) = field(Card(state, function, card)); });
}

} // namespace

} // namespace ox9162

using namespace ox9162;

extern "C" {

uint32_t OX9162_CALL OX9162_CardsInSystem(uint32_t *count) {
    return Guarded([&](DriverState &state) {
        uint32_t &result = Out("OX9162_CardsInSystem", count);
        state.cards.clear(); // a failed scan leaves no cards to address
        const VendorConfig config = ReadVendorConfig(ConfigPath());
        if (!config.error.empty()) {
            throw DriverFailure(config.error);
        }
        state.cards = ScanFunctions(SysfsRoot(), config.vendors);
        result = static_cast<uint32_t>(state.cards.size());
    });
}

uint32_t OX9162_CALL OX9162_Card_DID(uint32_t card, uint32_t *did) {
    return Query("OX9162_Card_DID", card, did, [](const PciFunction &f) { return f.deviceId; });
}

uint32_t OX9162_CALL OX9162_Card_BUS(uint32_t card, uint32_t *bus) {
    return Query("OX9162_Card_BUS", card, bus, [](const PciFunction &f) { return f.bus; });
}

uint32_t OX9162_CALL OX9162_Card_SLOT(uint32_t card, uint32_t *slot) {
    return Query("OX9162_Card_SLOT", card, slot, [](const PciFunction &f) { return f.device; });
}

uint32_t OX9162_CALL OX9162_Open(uint32_t card, uint32_t mode) {
    return Guarded([&](DriverState &state) {
        const PciFunction &f = Card(state, "OX9162_Open", card);
        if (mode != 0) {
            throw Failure(f.Address(), "opening",
                          "mode " + std::to_string(mode) + " unknown (0 only)");
        }
        // Opening a card this process holds keeps it as it is: the window opens again
        // after a failed download without closing first.
        for (const auto &[number, open] : state.open) {
            const bool same = open.Card().Address() == f.Address();
            if (number == card && same) {
                return;
            }
            if (number == card || same) {
                throw Failure(f.Address(), "opening",
                              number == card
                                  ? "card " + std::to_string(card) + " still holds " +
                                        open.Card().Address() + " open; close it first"
                                  : "already open here as card " + std::to_string(number));
            }
        }
        state.open.try_emplace(card, f);
    });
}

uint32_t OX9162_CALL OX9162_BAR4_BaseAdr(uint32_t card, uintptr_t *address, uint32_t *second) {
    return Guarded([&](DriverState &state) {
        uintptr_t &base = Out("OX9162_BAR4_BaseAdr", address);
        uint32_t &length = Out("OX9162_BAR4_BaseAdr", second);
        const auto open = state.open.find(card);
        if (open == state.open.end()) {
            throw Failure(NameOf(state, card), "mapping BAR4", "the card is not open");
        }
        const CardRoute::Window window = open->second.Map();
        base = window.address;
        length = static_cast<uint32_t>(window.length);
    });
}

uint32_t OX9162_CALL OX9162_Close(uint32_t card) {
    return Guarded([&](DriverState &state) {
        if (state.open.erase(card) == 0) {
            throw Failure(NameOf(state, card), "closing", "the card is not open");
        }
    });
}

} // extern "C"
