// Binding of the driver library. The module keeps no state: the caller owns the table.
#include "zovak_ox9162.h"

#include "fault_guard.h"
#include "ox9162_driver.h"

#include <algorithm>
#include <exception>
#include <tuple>

// The window address travels as an integer: pointer-wide everywhere, and the original
// DLL's 32 bits on 32-bit Windows.
static_assert(sizeof(uintptr_t) == sizeof(void *));
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(uintptr_t) == 4, "32-bit Windows delivers a 32-bit window address");
#endif

namespace {

constexpr const char *kTextOk = "V pořádku";
constexpr const char *kTextLibraryError = "Chyba volání knihovny ZOVAK_OX9162";
constexpr const char *kTextNoCards = "Nenalezena žádná karta ZOVAK";
constexpr const char *kTextBadSelection = "Neplatný výběr karty";
constexpr const char *kTextCannotOpen = "Nelze otevřít vybranou kartu na pozici ";
constexpr const char *kTextNoBaseAddress = "Nelze zjistit bázovou adresu karty na pozici ";

// The window's words for each outcome; the positions follow for a card that
// would not open.
std::string StatusText(const CardAccessOutcome &outcome, const TKarta &card) {
    switch (outcome.kind) {
    case CardAccessOutcome::Ok:
        return kTextOk;
    case CardAccessOutcome::CallFailed:
        if (outcome.call == LibraryCall::Open) {
            return kTextCannotOpen + CardPosition(card.BUS, card.SLOT);
        }
        if (outcome.call == LibraryCall::Bar4BaseAdr) {
            return kTextNoBaseAddress + CardPosition(card.BUS, card.SLOT);
        }
        return kTextLibraryError;
    case CardAccessOutcome::CallThrew:
        return kTextLibraryError;
    case CardAccessOutcome::NoCards:
        return kTextNoCards;
    case CardAccessOutcome::BadSelection:
        break;
    }
    return kTextBadSelection;
}

bool Record(TPoleKaret &table, CardAccessOutcome outcome, const TKarta &card = {}) {
    table.Status = StatusText(outcome, card);
    table.Outcome = std::move(outcome);
    return table.Outcome.kind == CardAccessOutcome::Ok;
}

// One library call, its failure or exception (on Windows also a fault) as an outcome
// that names it. Only the enumeration's calls are guarded: a fault there means the
// library is unusable (a loader that cannot bind it says so this way); later faults are
// real defects.
template <class Call> CardAccessOutcome Guarded(LibraryCall call, Call invoke) {
    const auto threw = [call](std::string detail) {
        return CardAccessOutcome{CardAccessOutcome::CallThrew, call, std::move(detail)};
    };
    try {
        uint32_t status = 0;
        if (std::optional<std::string> fault = RunCatchingFaults([&] { status = invoke(); })) {
            return threw(std::move(*fault));
        }
        if (status != 0) {
            return {CardAccessOutcome::CallFailed, call, {}, status};
        }
    } catch (const std::exception &error) {
        return threw(error.what());
    } catch (...) {
        return threw({});
    }
    return {};
}

struct CardQuery {
    LibraryCall call;
    uint32_t (*ask)(uint32_t number, uint32_t *value);
    uint32_t TKarta::*field;
};

constexpr CardQuery kCardQueries[] = {
    {LibraryCall::CardDid, [](uint32_t n, uint32_t *v) { return OX9162_Card_DID(n, v); },
     &TKarta::DID},
    {LibraryCall::CardBus, [](uint32_t n, uint32_t *v) { return OX9162_Card_BUS(n, v); },
     &TKarta::BUS},
    {LibraryCall::CardSlot, [](uint32_t n, uint32_t *v) { return OX9162_Card_SLOT(n, v); },
     &TKarta::SLOT},
};

// The first query that fails ends the card's queries.
CardAccessOutcome QueryCard(uint32_t number, TKarta &card) {
    card.CardNo = number;
    for (const CardQuery &query : kCardQueries) {
        CardAccessOutcome outcome =
            Guarded(query.call, [&] { return query.ask(number, &(card.*query.field)); });
        if (outcome.kind != CardAccessOutcome::Ok) {
            return outcome;
        }
    }
    return {};
}

} // namespace

const char *LibraryCallName(LibraryCall call) {
    switch (call) {
    case LibraryCall::CardsInSystem:
        return "OX9162_CardsInSystem";
    case LibraryCall::CardDid:
        return "OX9162_Card_DID";
    case LibraryCall::CardBus:
        return "OX9162_Card_BUS";
    case LibraryCall::CardSlot:
        return "OX9162_Card_SLOT";
    case LibraryCall::Open:
        return "OX9162_Open";
    case LibraryCall::Bar4BaseAdr:
        return "OX9162_BAR4_BaseAdr";
    case LibraryCall::None:
        break;
    }
    return "";
}

std::string OutcomeReason(const CardAccessOutcome &outcome) {
    switch (outcome.kind) {
    case CardAccessOutcome::CallFailed:
        return LibraryCallName(outcome.call) + std::string(" returned ") +
               std::to_string(outcome.status);
    case CardAccessOutcome::CallThrew:
        return outcome.detail.empty()
                   ? LibraryCallName(outcome.call) + std::string(" raised an exception")
                   : outcome.detail;
    case CardAccessOutcome::Ok:
    case CardAccessOutcome::NoCards:
    case CardAccessOutcome::BadSelection:
        break;
    }
    return {};
}

bool TPoleKaret::operator==(const TPoleKaret &other) const {
    // Outcome is left out: Status is worded from it, and a table is known by what it says.
    const auto compared = [](const TPoleKaret &t) {
        return std::tie(t.CountAll, t.CountFound, t.Status, t.AllCards, t.Cards);
    };
    return compared(*this) == compared(other);
}

std::string CardPosition(uint32_t bus, uint32_t slot) {
    return std::to_string(bus) + "/" + std::to_string(slot);
}

bool FindCards(uint16_t deviceId, TPoleKaret &table) {
    const auto clear = [&table, deviceId] {
        table.CountAll = 0;
        table.CountFound = 0;
        table.AllCards.fill(TKarta{});
        table.Cards.fill(TKarta{.DID = deviceId});
        table.Unreadable.clear();
    };
    clear();

    uint32_t count = 0;
    if (CardAccessOutcome failure =
            Guarded(LibraryCall::CardsInSystem, [&count] { return OX9162_CardsInSystem(&count); });
        failure.kind != CardAccessOutcome::Ok) {
        return Record(table, std::move(failure));
    }
    if (count == 0) {
        return Record(table, {CardAccessOutcome::NoCards, LibraryCall::None, {}});
    }

    // CountAll stays what the library reports, but only the numbers the tables can
    // hold are queried: AllCards is indexed by card number, so a card beyond the
    // sixteenth has no place, and neither can a seventeenth match exist.
    table.CountAll = count;
    const uint32_t stored = std::min<uint32_t>(count, MaxCards);
    uint32_t matches = 0;
    for (uint32_t number = 0; number < stored; ++number) {
        TKarta card;
        CardAccessOutcome failure = QueryCard(number, card);
        if (failure.kind == CardAccessOutcome::CallThrew) {
            // A library that raised may hold its own locks, half-done: it is not called
            // again, and the enumeration fails as a whole, naming the query and its card.
            failure.detail =
                LibraryCallName(failure.call) +
                (failure.detail.empty()
                     ? " raised an exception for library card " + std::to_string(number)
                     : " raised for library card " + std::to_string(number) + ": " +
                           failure.detail);
            clear();
            return Record(table, std::move(failure));
        }
        if (failure.kind != CardAccessOutcome::Ok) {
            // The window leaves such a card out without a message; the table keeps why.
            table.Unreadable.push_back({number, std::move(failure)});
            continue;
        }
        table.AllCards[number] = card;
        if (card.DID == deviceId) {
            table.Cards[++matches] = card;
        }
    }
    table.CountFound = matches;
    return Record(table, {});
}

bool OpenCard(uint16_t card, TPoleKaret &table) {
    if (card < table.Cards.first() || card > table.CountFound || card > table.Cards.last()) {
        return Record(table, {CardAccessOutcome::BadSelection, LibraryCall::None, {}});
    }
    TKarta &entry = table.Cards[card];
    if (OX9162_Open(entry.CardNo, 0) != 0) {
        return Record(table, {CardAccessOutcome::CallFailed, LibraryCall::Open, {}}, entry);
    }
    uintptr_t address = 0;
    uint32_t second = 0;
    if (OX9162_BAR4_BaseAdr(entry.CardNo, &address, &second) != 0) {
        // The card stays open in the library; the caller may retry the open.
        return Record(table, {CardAccessOutcome::CallFailed, LibraryCall::Bar4BaseAdr, {}}, entry);
    }
    entry.BaseAdr = address;
    entry.BaseAdr2 = second;
    return Record(table, {});
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
