// Cost of the driver library for real cards on a fake sysfs tree of 64 PCI functions:
// one enumeration, and taking a card (Open, BAR4_BaseAdr, Close).
#include "fake_sysfs.h"
#include "ox9162_driver.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// 64 functions on 8 buses, every fourth one a card of the configured vendor.
std::unique_ptr<FakeSysfs> MakeTree() {
    std::vector<FakeFunction> functions;
    for (int n = 0; n < 64; ++n) {
        char address[16];
        std::snprintf(address, sizeof address, "0000:%02x:%02x.%d", n / 8, n % 8 * 2, n % 2);
        functions.push_back({address, static_cast<uint16_t>(n % 4 == 0 ? 0x1b5e : 0x8086),
                             static_cast<uint16_t>(n % 4 == 0 ? 0x0123 : 0x1000 + n)});
    }
    auto tree = std::make_unique<FakeSysfs>(functions, "vendor 0x1b5e\n");
    tree->Use();
    return tree;
}

void BM_CardsInSystem(benchmark::State &state) {
    const auto tree = MakeTree();
    uint32_t count = 0;
    for (auto _ : state) {
        if (OX9162_CardsInSystem(&count) != 0) {
            state.SkipWithError("enumeration failed");
            return;
        }
    }
    state.counters["cards"] = count;
}
BENCHMARK(BM_CardsInSystem)->Unit(benchmark::kMicrosecond);

void BM_OpenMapClose(benchmark::State &state) {
    const auto tree = MakeTree();
    uint32_t count = 0;
    if (OX9162_CardsInSystem(&count) != 0 || count == 0) {
        state.SkipWithError("no card in the fake tree");
        return;
    }
    for (auto _ : state) {
        uintptr_t address = 0;
        uint32_t length = 0;
        if (OX9162_Open(0, 0) != 0 || OX9162_BAR4_BaseAdr(0, &address, &length) != 0 ||
            OX9162_Close(0) != 0) {
            state.SkipWithError("taking the card failed");
            return;
        }
    }
}
BENCHMARK(BM_OpenMapClose)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
