// The window trap: each instruction form on the card, the single-step fallback, and
// faults that are none of the library's business.
#include "sim_test_support.h"

#include <csignal>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace simtest;

namespace {

// Card 0 open but not configured: CONF reads 0x20, VERSION 0xFF, and writes show
// only in the trace.
class Trap : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        w = OpenWindow(0);
        oxsim::ClearTrace();
    }
    volatile uint8_t *At(uint32_t offset) const {
        return reinterpret_cast<volatile uint8_t *>(w + offset);
    }
    uintptr_t w = 0;
};

} // namespace

TEST_F(Trap, ByteLoadsReplaceOnlyTheirByteIncludingHighByteRegisters) {
    uint64_t rax = 0x1111111111111111;
    asm volatile("movb (%1), %%ah" : "+a"(rax) : "r"(At(CONF)) : "memory");
    EXPECT_EQ(rax, 0x1111111111112011u);
    uint64_t rbx = 0x2222222222222222;
    asm volatile("movb (%1), %%bl" : "+b"(rbx) : "r"(At(CONF)) : "memory");
    EXPECT_EQ(rbx, 0x2222222222222220u);
    register uint64_t r9 asm("r9") = 0x3333333333333333;
    asm volatile("movb (%1), %%r9b" : "+r"(r9) : "r"(At(VERSION)) : "memory");
    const uint64_t r9Value = r9;
    EXPECT_EQ(r9Value, 0x33333333333333FFu);
    uint64_t rsi = 0x4444444444444444;
    asm volatile("movb (%1), %%sil" : "+S"(rsi) : "r"(At(CONF)) : "memory");
    EXPECT_EQ(rsi, 0x4444444444444420u);
    const std::vector<std::string> expected = {"R 0 3fc 20", "R 0 3fc 20", "R 0 5fc ff",
                                               "R 0 3fc 20"};
    EXPECT_EQ(oxsim::Trace(), expected);
}

TEST_F(Trap, ZeroAndSignExtendingLoads) {
    uint64_t a = ~uint64_t{0}, b = ~uint64_t{0}, c = 0, d = 0x5555555555555555;
    asm volatile("movzbl (%1), %k0" : "+r"(a) : "r"(At(VERSION)) : "memory");
    asm volatile("movsbl (%1), %k0" : "+r"(b) : "r"(At(VERSION)) : "memory");
    asm volatile("movsbq (%1), %0" : "+r"(c) : "r"(At(VERSION)) : "memory");
    asm volatile("movsbw (%1), %w0" : "+r"(d) : "r"(At(VERSION)) : "memory");
    EXPECT_EQ(a, 0xFFu) << "32-bit results clear the upper half";
    EXPECT_EQ(b, 0xFFFFFFFFu);
    EXPECT_EQ(c, ~uint64_t{0});
    EXPECT_EQ(d, 0x555555555555FFFFu) << "16-bit results keep the upper bits";
    uint64_t e = 0;
    asm volatile("movzbq (%1), %0" : "+r"(e) : "r"(At(CONF)) : "memory");
    EXPECT_EQ(e, 0x20u);
    EXPECT_EQ(oxsim::TraceSize(), 5u);
}

TEST_F(Trap, ByteStoresFromRegistersAndImmediates) {
    uint64_t rbx = 0x1234;
    asm volatile("movb %%bh, (%1)" : : "b"(rbx), "r"(At(DOUT)) : "memory");
    asm volatile("movb %%bl, (%1)" : : "b"(rbx), "r"(At(XDOUT)) : "memory");
    asm volatile("movb $0x5a, (%0)" : : "r"(At(SEL)) : "memory");
    register uint64_t r12 asm("r12") = 0xA5;
    asm volatile("movb %%r12b, (%1)" : : "r"(r12), "r"(At(CLR0)) : "memory");
    const std::vector<std::string> expected = {"W 0 004 12", "W 0 5a0 34", "W 0 420 5a",
                                               "W 0 410 a5"};
    EXPECT_EQ(oxsim::Trace(), expected);
}

TEST_F(Trap, WideAccessesAreAnsweredAndTracedAsSuch) {
    uint64_t a = 0;
    asm volatile("movw (%1), %w0" : "+r"(a) : "r"(At(CONF)) : "memory");
    EXPECT_EQ(a, 0xFF20u);
    asm volatile("movl $0x04030201, (%0)" : : "r"(At(DOUT)) : "memory");
    uint64_t q = 0x1122334455667788;
    asm volatile("movq %0, (%1)" : : "r"(q), "r"(At(DATA0)) : "memory");
    const std::vector<std::string> expected = {"R 0 3fc ff20 (2)", "W 0 004 04030201 (4)",
                                               "W 0 400 1122334455667788 (8)"};
    EXPECT_EQ(oxsim::Trace(), expected);
}

TEST_F(Trap, OtherInstructionsRunByOpeningThePageForOneStep) {
    bool zero = false;
    asm volatile("cmpb $0x20, (%1)\n\tsete %0" : "=r"(zero) : "r"(At(CONF)) : "memory", "cc");
    EXPECT_TRUE(zero) << "flags come from the card's value";
    asm volatile("addb $1, (%0)" : : "r"(At(DOUT)) : "memory", "cc");
    alignas(16) uint8_t block[16] = {};
    asm volatile("movdqu (%1), %%xmm0\n\tmovdqu %%xmm0, (%0)"
                 :
                 : "r"(block), "r"(At(0x3F0))
                 : "memory", "xmm0");
    EXPECT_EQ(block[12], 0x20);
    EXPECT_EQ(block[0], 0xFF);
    // The page is closed again: the next plain load is trapped too.
    EXPECT_EQ(Rd(w, CONF), 0x20);
    const std::vector<std::string> expected = {"R 0 3fc 20", "R 0 004 ff", "W 0 004 00",
                                               "R 0 3f0 ffffff20ffffffffffffffffffffffff (16)",
                                               "R 0 3fc 20"};
    EXPECT_EQ(oxsim::Trace(), expected);
}

TEST_F(Trap, ClosedOrNeverOpenedCardAnswersFFAndIsMarked) {
    ASSERT_EQ(OX9162_Close(0), 0u);
    EXPECT_EQ(Rd(w, CONF), 0xFF);
    Wr(w, DOUT, 0x01);
    uintptr_t never = 0;
    uint32_t second = 0;
    ASSERT_EQ(OX9162_BAR4_BaseAdr(2, &never, &second), 0u);
    oxsim::ClearTrace();
    EXPECT_EQ(Rd(never, DIN), 0xFF);
    asm volatile("addb $1, (%0)" : : "r"(never + DOUT) : "memory", "cc");
    const std::vector<std::string> expected = {"R! 2 000 ff", "R! 2 004 ff", "W! 2 004 00"};
    EXPECT_EQ(oxsim::Trace(), expected);
    EXPECT_FALSE(oxsim::ReadCardState(0).open);
    EXPECT_EQ(oxsim::ReadCardState(2).dout, 0);
}

using TrapDeathTest = Trap;

namespace {
// An address with nothing mapped, hidden from the compiler's bounds checks.
uintptr_t NoMemory() {
    volatile uintptr_t address = 16;
    return address;
}
} // namespace

// Killed by SIGSEGV, or reported by a sanitizer's handler that was there before.
bool DiedOfTheFault(int status) {
    return WIFSIGNALED(status) ? WTERMSIG(status) == SIGSEGV : WEXITSTATUS(status) != 0;
}

TEST_F(TrapDeathTest, UnrelatedFaultsStillKillTheProcess) {
    EXPECT_EXIT(Wr(NoMemory(), 0, 1), DiedOfTheFault, "");
    EXPECT_EXIT(
        {
            void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            Rd(reinterpret_cast<uintptr_t>(page), 0);
        },
        DiedOfTheFault, "");
    EXPECT_EXIT(raise(SIGSEGV), DiedOfTheFault, "");
    EXPECT_EXIT(raise(SIGTRAP), testing::KilledBySignal(SIGTRAP), "");
}

namespace {
// A program's own handler, installed after the library, that hands on what is not its
// business, as a crash reporter does. A second entry would be the two handlers
// bouncing a genuine crash between them.
struct sigaction libraryHandler;
int entries = 0;
// Exit codes of the child's own failures, which must not pass for the fault's death.
enum ChildFailure { kNoLibraryHandler = 40, kWindowBroken, kBounced };

void ProgramHandler(int sig, siginfo_t *info, void *context) {
    if (++entries > 1) {
        _exit(kBounced);
    }
    libraryHandler.sa_sigaction(sig, info, context);
    entries = 0;
}

bool DiedOnceOfTheFault(int status) {
    return DiedOfTheFault(status) &&
           !(WIFEXITED(status) && WEXITSTATUS(status) >= kNoLibraryHandler &&
             WEXITSTATUS(status) <= kBounced);
}
} // namespace

TEST_F(TrapDeathTest, UnrelatedFaultsReachAProgramsLaterHandlerOnce) {
    EXPECT_EXIT(
        {
            struct sigaction mine {};
            mine.sa_sigaction = ProgramHandler;
            mine.sa_flags = SA_SIGINFO;
            sigemptyset(&mine.sa_mask);
            sigaction(SIGSEGV, &mine, &libraryHandler);
            if (!(libraryHandler.sa_flags & SA_SIGINFO))
                _exit(kNoLibraryHandler);
            // Calls that once put the library back in front of the program's handler.
            oxsim::Configure(kCards);
            const uintptr_t window = OpenWindow(0);
            if (Rd(window, CONF) != 0x20)
                _exit(kWindowBroken);
            Wr(NoMemory(), 0, 1);
        },
        DiedOnceOfTheFault, "");
}
