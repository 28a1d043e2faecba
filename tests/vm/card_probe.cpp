// The guest's user of the driver library: the seven functions, as the programs call
// them, from a shell script's command line. Prints what it found; the library's own
// line, when a call fails, is on standard error and the status is 1.
//
//   card_probe list          count, then device ID, bus and slot of each card
//   card_probe map N         Open, BAR4_BaseAdr, a register written and read, Close
//   card_probe hold N        Open and BAR4_BaseAdr, "held", Close at end of input
//   card_probe cost N        mean times of taking the card and of one register read
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
    std::printf("bar4 length 0x%x select 0x%x features-upper 0x%x\n", length, selected, upper);
    return 0;
}

constexpr int kTimedTakes = 50;
constexpr int kTimedReads = 20000;

template <class Duration> long long Each(std::chrono::steady_clock::duration taken, int count) {
    return static_cast<long long>(std::chrono::duration_cast<Duration>(taken / count).count());
}

// Costs: taking the card (Open, BAR4_BaseAdr, Close) and one read of its first register.
int Cost(uint32_t card) {
    uintptr_t base = 0;
    uint32_t length = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimedTakes; ++i) {
        if (OX9162_Open(card, 0) != 0 || OX9162_BAR4_BaseAdr(card, &base, &length) != 0 ||
            OX9162_Close(card) != 0) {
            return 1;
        }
    }
    const auto takes = std::chrono::steady_clock::now() - start;
    if (OX9162_Open(card, 0) != 0 || OX9162_BAR4_BaseAdr(card, &base, &length) != 0) {
        return 1;
    }
    uint32_t seen = 0;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimedReads; ++i) {
        seen |= Register(base, 0);
    }
    const auto reads = std::chrono::steady_clock::now() - start;
    std::printf("open+bar4+close %lld us (mean of %d); one read %lld ns (mean of %d, 0x%x)\n",
                Each<std::chrono::microseconds>(takes, kTimedTakes), kTimedTakes,
                Each<std::chrono::nanoseconds>(reads, kTimedReads), kTimedReads, seen);
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
    if ((command == "map" || command == "hold" || command == "cost") && argc == 3) {
        uint32_t count = 0;
        if (OX9162_CardsInSystem(&count) != 0) {
            return 1;
        }
        const auto card = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
        return command == "map" ? Map(card) : command == "hold" ? Hold(card) : Cost(card);
    }
    std::fprintf(stderr, "usage: card_probe list | map N | hold N | cost N\n");
    return 2;
}
