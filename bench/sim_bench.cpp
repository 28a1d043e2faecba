// What a register access through the simulator's window trap costs, next to the
// bare cost of a SIGSEGV round trip, and what a whole firmware download costs next
// to its accesses. Prints the two ratios the library is held to at the end.
#include "firmware_image.h"
#include "ox9162_driver.h"
#include "sim_control.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <sys/mman.h>
#include <ucontext.h>

namespace {

constexpr uint32_t CONF = 0x3FC, DATA0 = 0x400, DOUT = 0x004;

uint8_t Rd(uintptr_t w, uint32_t offset) {
    return *reinterpret_cast<volatile uint8_t *>(w + offset);
}
void Wr(uintptr_t w, uint32_t offset, uint8_t value) {
    *reinterpret_cast<volatile uint8_t *>(w + offset) = value;
}

uintptr_t OpenCard() {
    oxsim::KeepTrace(1024); // counts every access, keeps few
    oxsim::Configure("0123@1/1");
    uintptr_t window = 0;
    uint32_t second = 0;
    OX9162_Open(0, 0);
    OX9162_BAR4_BaseAdr(0, &window, &second);
    oxsim::ClearTrace();
    return window;
}

void TrappedRead(benchmark::State &state) {
    const uintptr_t w = OpenCard();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Rd(w, CONF));
    }
    oxsim::ClearTrace();
}

void TrappedWrite(benchmark::State &state) {
    const uintptr_t w = OpenCard();
    uint8_t value = 0;
    for (auto _ : state) {
        Wr(w, DOUT, value++);
    }
    oxsim::ClearTrace();
}

// The least a trapped access can cost: fault, a handler that only steps over the
// two-byte "mov (%rdi), %al", and the return.
void SkipLoad(int, siginfo_t *, void *context) {
    static_cast<ucontext_t *>(context)->uc_mcontext.gregs[REG_RIP] += 2;
}

void BareSignal(benchmark::State &state) {
    void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    struct sigaction bare {
    }, library{};
    bare.sa_sigaction = SkipLoad;
    bare.sa_flags = SA_SIGINFO;
    sigemptyset(&bare.sa_mask);
    sigaction(SIGSEGV, &bare, &library);
    for (auto _ : state) {
        uint8_t value;
        asm volatile(".byte 0x8a, 0x07 # mov (%%rdi), %%al" : "=a"(value) : "D"(page) : "memory");
        benchmark::DoNotOptimize(value);
    }
    sigaction(SIGSEGV, &library, nullptr);
    munmap(page, 4096);
}

void Download(benchmark::State &state) {
    const uintptr_t w = OpenCard();
    std::size_t accesses = 0;
    bool configured = true;
    for (auto _ : state) {
        Wr(w, CONF, 0x01);
        Wr(w, CONF, 0x00);
        Wr(w, CONF, 0x02);
        for (uint8_t byte : FirmwareImage) {
            Wr(w, DATA0, byte);
            while (!(Rd(w, CONF) & 0x20)) {
            }
        }
        Wr(w, CONF, 0x00);
        configured = configured && (Rd(w, CONF) & 0x10);
        state.PauseTiming();
        accesses = oxsim::TraceSize() + oxsim::TraceDropped();
        oxsim::ClearTrace();
        state.ResumeTiming();
    }
    state.counters["accesses"] = static_cast<double>(accesses);
    state.counters["configured"] = configured;
}

// Medians of several runs: the figures are compared with each other, and a machine
// shared with other work disturbs single runs.
BENCHMARK(TrappedRead)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(TrappedWrite)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BareSignal)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(Download)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// Keeps each benchmark's median CPU time per iteration (ns) and the access count.
// CPU time includes the kernel's part of a signal and is not stretched by other
// work on the machine.
class Recorder : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") {
                continue;
            }
            const double scale = run.time_unit == benchmark::kMillisecond ? 1e6 : 1.0;
            ns[run.run_name.function_name] = run.GetAdjustedCPUTime() * scale;
            if (auto it = run.counters.find("accesses"); it != run.counters.end()) {
                accesses = it->second;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> ns;
    double accesses = 0;
};

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    const auto time = [&](const std::string &name) {
        const auto it = recorder.ns.find(name);
        return it != recorder.ns.end() ? it->second : 0.0;
    };
    const double read = time("TrappedRead"), write = time("TrappedWrite");
    const double bare = time("BareSignal"), download = time("Download");
    if (read > 0 && write > 0 && bare > 0) {
        std::printf("trapped read %.0f ns, write %.0f ns, bare signal round trip %.0f ns\n", read,
                    write, bare);
        std::printf("ratio trapped/bare: read %.2f, write %.2f (goal <= 1.5)\n", read / bare,
                    write / bare);
    }
    if (download > 0 && recorder.accesses > 0 && read > 0 && write > 0) {
        const double perAccess = download / recorder.accesses;
        std::printf("download %.1f ms, %.0f trapped accesses, %.0f ns per access = %.2f x the "
                    "trapped access cost (goal <= 1.2)\n",
                    download / 1e6, recorder.accesses, perAccess, perAccess / ((read + write) / 2));
    }
    return 0;
}
