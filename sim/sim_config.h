// The text that describes the simulated cards (OX9162_SIM_CARDS), parsed.
#pragma once

#include "card_facts.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace oxsim::detail {

inline constexpr std::string_view kDefaultCards = "0123@2/13;0456@3/5;0123@4/2";
// Every card gets a window page in one fixed reservation, so this bounds the text.
inline constexpr std::size_t kMaxCards = 256;

struct CardFaults {
    bool noDid = false;
    bool noBus = false;
    bool noSlot = false;
    bool throwDid = false; // the query raises a C++ exception
    bool throwBus = false;
    bool throwSlot = false;
    bool noOpen = false;
    bool noBar = false;
    bool noClose = false;
    bool stuck = false;  // bit 5 never comes again after the first data byte
    bool noDone = false; // a download never ends in a complete configuration
    uint32_t slow = 1;   // bit 5 comes at this status read after each data byte
    // Faults of a broken card, for the unattended check's tests.
    uint32_t deadCounters = 0;  // bit n: CNTn never counts
    uint32_t stuckCounters = 0; // bit n: CNTn always reads stuckValue[n]
    // Every tearEvery-th selection of a running counter reads it as a card that does not
    // latch may, across a carry into its top byte: the top byte before it, the rest after.
    uint32_t tearEvery = 0;
    std::array<uint32_t, kCounterCount> stuckValue{};
    // Faults that come and go, for burn-in: times on the simulator's clock, in ns.
    uint32_t dropCounters = 0;                      // bit n: CNTn loses its input for
    std::array<int64_t, kCounterCount> dropEvery{}; // the last second of every so many
    uint8_t dinFlip = 0;                            // DIN lines that read inverted
    int64_t dinFlipFrom = 0, dinFlipTo = 0;         // from, until
    int64_t lostAt = -1;                            // no access answered from then on
    uint8_t dinLow = 0;                             // DIN lines stuck at 0
    uint8_t dinHigh = 0;                            // DIN lines stuck at 1
    uint8_t version = kFirmwareVersion;
    // Input frequencies from hz= words, in place of the default spread.
    uint32_t inputHzSet = 0; // bit n: input n runs at inputHz[n]
    std::array<double, kCounterCount> inputHz{};
};

struct CardSpec {
    uint32_t did = 0;
    uint32_t bus = 0;
    uint32_t slot = 0;
    CardFaults faults;
};

// What OX9162_CardsInSystem does as a whole.
enum class Whole { Cards, Fail, Throw, Malformed };

struct SimConfig {
    Whole whole = Whole::Cards;
    std::vector<CardSpec> cards;
    std::string error; // names the bad part when whole is Malformed
};

SimConfig ParseConfig(std::string_view text);

} // namespace oxsim::detail
