// Binding of the driver library: the card table, enumeration, opening and closing
// a card, and the byte access to a card's register window.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A fixed array whose valid indices run from First to First + Count - 1, so that
// the tables keep the numbering the operator and the library use.
template <typename T, std::size_t First, std::size_t Count> class IndexedArray {
  public:
    T &operator[](std::size_t index) { return items_.at(index - First); }
    const T &operator[](std::size_t index) const { return items_.at(index - First); }
    static constexpr std::size_t first() { return First; }
    static constexpr std::size_t last() { return First + Count - 1; }
    void fill(const T &value) { items_.fill(value); }
    bool operator==(const IndexedArray &) const = default;

  private:
    std::array<T, Count> items_{};
};

// One card as the library reports it.
struct TKarta {
    uint32_t CardNo = 0;   // the library's card number, from 0
    uint32_t DID = 0;      // PCI device ID
    uint32_t BUS = 0;      // PCI bus
    uint32_t SLOT = 0;     // PCI slot
    uintptr_t BaseAdr = 0; // start of the BAR4 register window; 0 until opened
    uint32_t BaseAdr2 = 0; // the library's second value, kept but unused
    bool operator==(const TKarta &) const = default;
};

inline constexpr std::size_t MaxCards = 16;

// The library calls whose failure FindCards and OpenCard report or record.
enum class LibraryCall { None, CardsInSystem, CardDid, CardBus, CardSlot, Open, Bar4BaseAdr };
const char *LibraryCallName(LibraryCall call); // "OX9162_Open"; "" for None

// What the last FindCards or OpenCard found, for callers that word it themselves.
struct CardAccessOutcome {
    enum Kind {
        Ok,
        CallFailed,   // call returned a failure
        CallThrew,    // call raised an exception: the library cannot be bound or used
        NoCards,      // the library reports no card of the maker
        BadSelection, // OpenCard was asked for an entry outside the table
    };
    Kind kind = Ok;
    LibraryCall call = LibraryCall::None;
    // The exception's own text, when call threw one that has it; after a card query the
    // call and the card lead it, so that it reads alone ("OX9162_Card_BUS raised for
    // library card 1: TEXT", even without TEXT).
    std::string detail;
    uint32_t status = 0; // what call returned, when it failed
    bool operator==(const CardAccessOutcome &) const = default;
};

// The library's reason behind an outcome, for a line or a tooltip beside the status:
// the exception's text, or the call and what it returned; empty when the library gave
// none (Ok, NoCards, BadSelection).
std::string OutcomeReason(const CardAccessOutcome &outcome);

// A card the library reports whose ID, bus or slot query returned a failure.
struct UnreadableCard {
    uint32_t CardNo = 0;
    CardAccessOutcome Failure; // CallFailed, naming the query
    bool operator==(const UnreadableCard &) const = default;
};

// The result of an enumeration.
struct TPoleKaret {
    uint32_t CountAll = 0;     // all of the maker's cards the library reports
    uint32_t CountFound = 0;   // valid entries of Cards
    std::string Status;        // UTF-8 status text of the last FindCards or OpenCard
    CardAccessOutcome Outcome; // what Status was worded from
    // Cards left out of the tables without a message, in card number order, for callers
    // that must not take them for absent.
    std::vector<UnreadableCard> Unreadable;
    IndexedArray<TKarta, 0, MaxCards> AllCards; // by library card number
    IndexedArray<TKarta, 1, MaxCards> Cards;    // cards of the requested model, from 1
    // Tables are alike when they hold the same cards and say the same Status: what the
    // window shows.
    bool operator==(const TPoleKaret &other) const;
};

// A card's place in the machine as operators read it: "bus/slot".
std::string CardPosition(uint32_t bus, uint32_t slot);

// Fills the whole table. A library reporting more than MaxCards cards keeps its count
// in CountAll, but only card numbers 0 to MaxCards - 1 are queried and stored. A call
// that raises ends the enumeration with an empty table.
bool FindCards(uint16_t deviceId, TPoleKaret &table);
// card counts from 1 (an index into Cards); outside 1 to CountFound no library call.
bool OpenCard(uint16_t card, TPoleKaret &table);
// card must be one OpenCard accepted (outside 1 to MaxCards: std::out_of_range).
bool CloseCard(uint16_t card, TPoleKaret &table);

// Exactly one byte access per call, at the moment of the call.
uint8_t ReadReg(uintptr_t address);
void WriteReg(uintptr_t address, uint8_t value);
