// The guest's user of the driver library: the seven functions, as the programs call
// them, from a shell script's command line. Prints what it found; the library's own
// line, when a call fails, is on standard error and the status is 1.
//
//   card_probe list          count, then device ID, bus and slot of each card
//   card_probe map N         Open, BAR4_BaseAdr, a register written and read, Close
//   card_probe hold N        Open and BAR4_BaseAdr, "held", Close at end of input
//   card_probe access N      the time of one register read, over many
#include "ox9162_driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A virtio function's BAR4 begins with its common configuration: the feature word
// at 0x04 shows the half that the selector at 0x00 chooses, and every modern-only
// device offers feature 32 (version 1), bit 0 of the upper half.
constexpr uintptr_t kFeatureSelect = 0x00;
constexpr uintptr_t kFeatureWord = 0x04;

volatile uint32_t &Register(uintptr_t base, uintptr_t offset) {
    return *reinterpret_cast<volatile uint32_t *>(base + offset);
}

int List() {
    uint32_t count = 0;
    if (OX9162_CardsInSystem(&count) != 0) {
        return 1;
    }
    std::printf("cards %u\n", count);
    for (uint32_t card = 0; card < count; ++card) {
        uint32_t did = 0;
        uint32_t bus = 0;
        uint32_t slot = 0;
        if (OX9162_Card_DID(card, &did) != 0 || OX9162_Card_BUS(card, &bus) != 0 ||
            OX9162_Card_SLOT(card, &slot) != 0) {
            return 1;
        }
        std::printf("card %u did 0x%04x bus %u slot %u\n", card, did, bus, slot);
    }
    return 0;
}

int Map(uint32_t card) {
    const auto start = std::chrono::steady_clock::now();
    uintptr_t base = 0;
    uint32_t length = 0;
    if (OX9162_Open(card, 0) != 0) {
        return 1;
    }
    if (OX9162_BAR4_BaseAdr(card, &base, &length) != 0) {
        OX9162_Close(card);
        return 1;
    }
    Register(base, kFeatureSelect) = 1;
    const uint32_t selected = Register(base, kFeatureSelect);
    const uint32_t upper = Register(base, kFeatureWord);
    Register(base, kFeatureSelect) = 0;
    if (OX9162_Close(card) != 0) {
        return 1;
    }
    const auto taken = std::chrono::steady_clock::now() - start;
    std::printf("bar4 length 0x%x select 0x%x features-upper 0x%x\n", length, selected, upper);
    std::printf("open+bar4+close %lld us (with one register access)\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(taken).count()));
    return 0;
}

// The status register that a download polls after every byte.
constexpr uintptr_t kStatus = 0x3FC;
constexpr int kTimedReads = 20000;

int Access(uint32_t card) {
    uintptr_t base = 0;
    uint32_t length = 0;
    if (OX9162_Open(card, 0) != 0 || OX9162_BAR4_BaseAdr(card, &base, &length) != 0) {
        return 1;
    }
    uint32_t status = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimedReads; ++i) {
        status |= Register(base, kStatus);
    }
    const auto taken = std::chrono::steady_clock::now() - start;
    const auto each = std::chrono::duration_cast<std::chrono::nanoseconds>(taken) / kTimedReads;
    std::printf("status 0x%x, per access %lld ns over %d reads\n", status,
                static_cast<long long>(each.count()), kTimedReads);
    return OX9162_Close(card) == 0 ? 0 : 1;
}

int Hold(uint32_t card) {
    uintptr_t base = 0;
    uint32_t length = 0;
    if (OX9162_Open(card, 0) != 0 || OX9162_BAR4_BaseAdr(card, &base, &length) != 0) {
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return OX9162_Close(card) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" && argc == 2) {
        return List();
    }
    if ((command == "map" || command == "hold" || command == "access") && argc == 3) {
        uint32_t count = 0;
        if (OX9162_CardsInSystem(&count) != 0) {
            return 1;
        }
        const auto card = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
        return command == "map" ? Map(card) : command == "hold" ? Hold(card) : Access(card);
    }
    std::fprintf(stderr, "usage: card_probe list | map N | hold N | access N\n");
    return 2;
}
