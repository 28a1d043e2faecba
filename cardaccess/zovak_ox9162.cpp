// Binding of the driver library. The module keeps no state: the caller owns the table.
#include "zovak_ox9162.h"

#include "ox9162_driver.h"

#include <algorithm>

// The window address travels as an integer: pointer-wide everywhere, and the original
// DLL's 32 bits on 32-bit Windows.
static_assert(sizeof(uintptr_t) == sizeof(void *));
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(uintptr_t) == 4, "32-bit Windows delivers a 32-bit window address");
#endif

namespace {

constexpr const char *TextOk = "V pořádku";
constexpr const char *TextLibraryError = "Chyba volání knihovny ZOVAK_OX9162";
constexpr const char *TextNoCards = "Nenalezena žádná karta ZOVAK";
constexpr const char *TextBadSelection = "Neplatný výběr karty";
constexpr const char *TextCannotOpen = "Nelze otevřít vybranou kartu na pozici ";
constexpr const char *TextNoBaseAddress = "Nelze zjistit bázovou adresu karty na pozici ";

// The only library call whose exception is turned into a status: a fault during the
// first contact means the library is unusable, later faults are real defects.
uint32_t CardsInSystem(uint32_t &count) {
    try {
        return OX9162_CardsInSystem(&count);
    } catch (...) {
        return 1;
    }
}

// A card whose ID, bus or slot cannot be read is left out without a message.
bool QueryCard(uint32_t number, TKarta &card) {
    card.CardNo = number;
    return OX9162_Card_DID(number, &card.DID) == 0 && OX9162_Card_BUS(number, &card.BUS) == 0 &&
           OX9162_Card_SLOT(number, &card.SLOT) == 0;
}

} // namespace

std::string CardPosition(uint32_t bus, uint32_t slot) {
    return std::to_string(bus) + "/" + std::to_string(slot);
}

bool FindCards(uint16_t deviceId, TPoleKaret &table) {
    table.CountAll = 0;
    table.CountFound = 0;
    table.Status.clear();
    table.AllCards.fill(TKarta{});
    table.Cards.fill(TKarta{.DID = deviceId});

    uint32_t count = 0;
    if (CardsInSystem(count) != 0) {
        table.Status = TextLibraryError;
        return false;
    }
    if (count == 0) {
        table.Status = TextNoCards;
        return false;
    }

    // CountAll stays what the library reports, but only the numbers the tables can
    // hold are queried: AllCards is indexed by card number, so a card beyond the
    // sixteenth has no place, and neither can a seventeenth match exist.
    table.CountAll = count;
    const uint32_t stored = std::min<uint32_t>(count, MaxCards);
    uint32_t matches = 0;
    for (uint32_t number = 0; number < stored; ++number) {
        TKarta card;
        if (!QueryCard(number, card)) {
            continue;
        }
        table.AllCards[number] = card;
        if (card.DID == deviceId) {
            table.Cards[++matches] = card;
        }
    }
    table.CountFound = matches;
    table.Status = TextOk;
    return true;
}

bool OpenCard(uint16_t card, TPoleKaret &table) {
    if (card < table.Cards.first() || card > table.CountFound || card > table.Cards.last()) {
        table.Status = TextBadSelection;
        return false;
    }
    TKarta &entry = table.Cards[card];
    if (OX9162_Open(entry.CardNo, 0) != 0) {
        table.Status = TextCannotOpen + CardPosition(entry.BUS, entry.SLOT);
        return false;
    }
    uintptr_t address = 0;
    uint32_t second = 0;
    if (OX9162_BAR4_BaseAdr(entry.CardNo, &address, &second) != 0) {
        // The card stays open in the library; the caller may retry the open.
        table.Status = TextNoBaseAddress + CardPosition(entry.BUS, entry.SLOT);
        return false;
    }
    entry.BaseAdr = address;
    entry.BaseAdr2 = second;
    table.Status = TextOk;
    return true;
}

bool CloseCard(uint16_t card, TPoleKaret &table) {
    return OX9162_Close(table.Cards[card].CardNo) == 0;
}

// The card's protocols depend on every access reaching the bus as one byte, at the
// moment of the call and in program order; volatile gives exactly that.
uint8_t ReadReg(uintptr_t address) {
    return *reinterpret_cast<const volatile uint8_t *>(address);
}

void WriteReg(uintptr_t address, uint8_t value) {
    *reinterpret_cast<volatile uint8_t *>(address) = value;
}
