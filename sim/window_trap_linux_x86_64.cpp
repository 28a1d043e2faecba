#include "window_trap.h"

#if !defined(__x86_64__) || !defined(__linux__)
#error "This window trap decodes x86-64 instructions and runs on x86-64 Linux only"
#endif

#include <Zydis/Zydis.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

namespace oxsim::detail {
namespace {

constexpr greg_t kTrapFlag = 0x100;
constexpr unsigned kMaxStepBytes = 16;

// A single-stepped instruction between its SIGSEGV and its SIGTRAP.
struct PendingStep {
    bool active = false;
    std::size_t window = 0;
    uint32_t offset = 0;
    unsigned width = 0;
    bool writes = false;
    bool writesMaybe = false; // a conditional write: only a changed value was written
    bool hadTrapFlag = false;
    uint8_t before[kMaxStepBytes] = {};
};

// Everything the handlers need, reachable without locks or allocation.
struct TrapState {
    uintptr_t base = 0;
    std::size_t pageSize = 0;
    std::size_t windows = 0;
    WindowSink *sink = nullptr;
    ZydisDecoder decoder{};
    struct sigaction previousSegv {};
    struct sigaction previousTrap {};
    PendingStep step;
};
// A signal handler takes no argument of ours, so this one object is where it looks.
TrapState trap;

void PassOn(const struct sigaction &previous, int sig, siginfo_t *info, void *context) {
    if (previous.sa_handler == SIG_IGN && sig != SIGSEGV) {
        return;
    }
    if (previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN) {
        // Raised now, delivered when the handler returns: the default action.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(sig, &fallback, nullptr);
        raise(sig);
        return;
    }
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(sig, info, context);
    } else {
        previous.sa_handler(sig);
    }
}

int GregOf(ZydisRegister reg, unsigned &shift) {
    static constexpr int kGregs[16] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP,
                                       REG_RSI, REG_RDI, REG_R8,  REG_R9,  REG_R10, REG_R11,
                                       REG_R12, REG_R13, REG_R14, REG_R15};
    switch (ZydisRegisterGetClass(reg)) {
    case ZYDIS_REGCLASS_GPR8:
    case ZYDIS_REGCLASS_GPR16:
    case ZYDIS_REGCLASS_GPR32:
    case ZYDIS_REGCLASS_GPR64:
        break;
    default:
        return -1;
    }
    shift = (reg == ZYDIS_REGISTER_AH || reg == ZYDIS_REGISTER_CH || reg == ZYDIS_REGISTER_DH ||
             reg == ZYDIS_REGISTER_BH)
                ? 8
                : 0;
    const ZydisRegister full = ZydisRegisterGetLargestEnclosing(ZYDIS_MACHINE_MODE_LONG_64, reg);
    if (full < ZYDIS_REGISTER_RAX || full > ZYDIS_REGISTER_R15) {
        return -1;
    }
    return kGregs[full - ZYDIS_REGISTER_RAX];
}

// The register as the instruction writes it: 32-bit results clear the upper half,
// narrower ones leave the other bits alone.
void PutRegister(greg_t *gregs, int index, unsigned shift, unsigned bits, uint64_t value) {
    auto &full = reinterpret_cast<uint64_t &>(gregs[index]);
    if (bits == 64) {
        full = value;
    } else if (bits == 32) {
        full = static_cast<uint32_t>(value);
    } else {
        const uint64_t mask = ((uint64_t{1} << bits) - 1) << shift;
        full = (full & ~mask) | ((value << shift) & mask);
    }
}

bool IsMemory(const ZydisDecodedOperand &op) {
    return op.type == ZYDIS_OPERAND_TYPE_MEMORY && op.mem.type == ZYDIS_MEMOP_TYPE_MEM;
}

// mov to or from memory, movzx, movsx: the forms compilers emit for volatile
// accesses. False leaves the access to the single-step path, with nothing done yet.
bool Emulate(const ZydisDecodedInstruction &insn, const ZydisDecodedOperand *ops, greg_t *gregs,
             std::size_t window, uint32_t offset) {
    const ZydisMnemonic m = insn.mnemonic;
    const bool extendSigned = m == ZYDIS_MNEMONIC_MOVSX || m == ZYDIS_MNEMONIC_MOVSXD;
    if ((m != ZYDIS_MNEMONIC_MOV && m != ZYDIS_MNEMONIC_MOVZX && !extendSigned) ||
        insn.operand_count_visible != 2) {
        return false;
    }
    const ZydisDecodedOperand &dst = ops[0];
    const ZydisDecodedOperand &src = ops[1];
    uint8_t bytes[8];
    unsigned shift = 0;
    if (m == ZYDIS_MNEMONIC_MOV && IsMemory(dst)) {
        const unsigned width = dst.size / 8;
        if (width == 0 || width > 8 || offset + width > trap.pageSize) {
            return false;
        }
        uint64_t value = 0;
        if (src.type == ZYDIS_OPERAND_TYPE_IMMEDIATE) {
            value = src.imm.value.u;
        } else if (src.type == ZYDIS_OPERAND_TYPE_REGISTER) {
            const int index = GregOf(src.reg.value, shift);
            if (index < 0) {
                return false;
            }
            value = static_cast<uint64_t>(gregs[index]) >> shift;
        } else {
            return false;
        }
        for (unsigned i = 0; i < width; ++i) {
            bytes[i] = static_cast<uint8_t>(value >> (8 * i));
        }
        trap.sink->WriteWindow(window, offset, bytes, width);
        return true;
    }
    if (dst.type != ZYDIS_OPERAND_TYPE_REGISTER || !IsMemory(src)) {
        return false;
    }
    const unsigned width = src.size / 8;
    const int index = GregOf(dst.reg.value, shift);
    if (index < 0 || width == 0 || width > 8 || offset + width > trap.pageSize) {
        return false;
    }
    trap.sink->ReadWindow(window, offset, bytes, width);
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        value |= uint64_t{bytes[i]} << (8 * i);
    }
    if (extendSigned && width < 8) {
        const uint64_t sign = uint64_t{1} << (8 * width - 1);
        value = (value ^ sign) - sign;
    }
    PutRegister(gregs, index, shift, dst.size, value);
    return true;
}

// Any other instruction: the page opens with the card's bytes in it, the
// instruction runs on it under the trap flag, and OnTrap takes what it wrote.
bool BeginStep(const ZydisDecodedInstruction &insn, const ZydisDecodedOperand *ops, greg_t *gregs,
               std::size_t window, uint32_t offset) {
    PendingStep &step = trap.step;
    step = PendingStep{};
    ZydisOperandActions actions = ZYDIS_OPERAND_ACTION_READ | ZYDIS_OPERAND_ACTION_CONDWRITE;
    unsigned width = 1;
    for (unsigned i = 0; i < insn.operand_count; ++i) {
        if (IsMemory(ops[i])) {
            actions = ops[i].actions;
            width = ops[i].size / 8;
            break;
        }
    }
    width = width == 0 ? 1 : width > kMaxStepBytes ? kMaxStepBytes : width;
    if (offset + width > trap.pageSize) {
        width = static_cast<unsigned>(trap.pageSize - offset);
    }
    void *page = reinterpret_cast<void *>(trap.base + window * trap.pageSize);
    if (mprotect(page, trap.pageSize, PROT_READ | PROT_WRITE) != 0) {
        return false;
    }
    std::memset(step.before, 0xFF, sizeof step.before);
    if (actions & ZYDIS_OPERAND_ACTION_MASK_READ) {
        trap.sink->ReadWindow(window, offset, step.before, width);
    }
    std::memcpy(static_cast<uint8_t *>(page) + offset, step.before, width);
    step.active = true;
    step.window = window;
    step.offset = offset;
    step.width = width;
    step.writes = actions & ZYDIS_OPERAND_ACTION_MASK_WRITE;
    step.writesMaybe = !(actions & ZYDIS_OPERAND_ACTION_WRITE);
    step.hadTrapFlag = gregs[REG_EFL] & kTrapFlag;
    gregs[REG_EFL] |= kTrapFlag;
    return true;
}

// Decodes without reading past the end of the instruction's page unless the
// instruction itself runs on into the next one.
ZyanStatus Decode(uintptr_t rip, ZydisDecodedInstruction &insn, ZydisDecodedOperand *ops) {
    const std::size_t toPageEnd = trap.pageSize - rip % trap.pageSize;
    if (toPageEnd < ZYDIS_MAX_INSTRUCTION_LENGTH) {
        const ZyanStatus status = ZydisDecoderDecodeFull(
            &trap.decoder, reinterpret_cast<const void *>(rip), toPageEnd, &insn, ops);
        if (status != ZYDIS_STATUS_NO_MORE_DATA) {
            return status;
        }
    }
    return ZydisDecoderDecodeFull(&trap.decoder, reinterpret_cast<const void *>(rip),
                                  ZYDIS_MAX_INSTRUCTION_LENGTH, &insn, ops);
}

// The interrupted code must find errno as it left it.
class KeepErrno {
  public:
    KeepErrno() : saved_(errno) {}
    ~KeepErrno() { errno = saved_; }
    KeepErrno(const KeepErrno &) = delete;
    KeepErrno &operator=(const KeepErrno &) = delete;

  private:
    int saved_;
};

void OnSegv(int sig, siginfo_t *info, void *context) {
    const KeepErrno keepErrno;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (trap.sink == nullptr || address < trap.base ||
        address >= trap.base + trap.windows * trap.pageSize || trap.step.active) {
        PassOn(trap.previousSegv, sig, info, context);
        return;
    }
    greg_t *gregs = static_cast<ucontext_t *>(context)->uc_mcontext.gregs;
    const std::size_t window = (address - trap.base) / trap.pageSize;
    const auto offset = static_cast<uint32_t>((address - trap.base) % trap.pageSize);
    ZydisDecodedInstruction insn;
    ZydisDecodedOperand ops[ZYDIS_MAX_OPERAND_COUNT];
    if (ZYAN_FAILED(Decode(static_cast<uintptr_t>(gregs[REG_RIP]), insn, ops))) {
        PassOn(trap.previousSegv, sig, info, context);
        return;
    }
    if (Emulate(insn, ops, gregs, window, offset)) {
        gregs[REG_RIP] += insn.length;
        return;
    }
    if (!BeginStep(insn, ops, gregs, window, offset)) {
        PassOn(trap.previousSegv, sig, info, context);
    }
}

void OnTrap(int sig, siginfo_t *info, void *context) {
    const KeepErrno keepErrno;
    PendingStep &step = trap.step;
    if (!step.active) {
        PassOn(trap.previousTrap, sig, info, context);
        return;
    }
    greg_t *gregs = static_cast<ucontext_t *>(context)->uc_mcontext.gregs;
    auto *page = reinterpret_cast<uint8_t *>(trap.base + step.window * trap.pageSize);
    if (step.writes) {
        uint8_t after[kMaxStepBytes];
        std::memcpy(after, page + step.offset, step.width);
        if (!step.writesMaybe || std::memcmp(after, step.before, step.width) != 0) {
            trap.sink->WriteWindow(step.window, step.offset, after, step.width);
        }
    }
    mprotect(page, trap.pageSize, PROT_NONE);
    if (!step.hadTrapFlag) {
        gregs[REG_EFL] &= ~kTrapFlag;
    }
    step.active = false;
}

void Install(int sig, void (*handler)(int, siginfo_t *, void *), struct sigaction &previous) {
    struct sigaction action {};
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, &previous);
}

bool Installed(int sig, void (*handler)(int, siginfo_t *, void *)) {
    struct sigaction current {};
    sigaction(sig, nullptr, &current);
    return (current.sa_flags & SA_SIGINFO) && current.sa_sigaction == handler;
}

} // namespace

WindowTrap::WindowTrap(std::size_t windows, WindowSink &sink)
    : pageSize_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))), windows_(windows) {
    void *memory = mmap(nullptr, windows_ * pageSize_, PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) {
        windows_ = 0;
        return;
    }
    base_ = reinterpret_cast<uintptr_t>(memory);
    ZydisDecoderInit(&trap.decoder, ZYDIS_MACHINE_MODE_LONG_64, ZYDIS_STACK_WIDTH_64);
    trap.base = base_;
    trap.pageSize = pageSize_;
    trap.windows = windows_;
    trap.sink = &sink;
    Install(SIGSEGV, OnSegv, trap.previousSegv);
    Install(SIGTRAP, OnTrap, trap.previousTrap);
}

WindowTrap::~WindowTrap() {
    if (Installed(SIGSEGV, OnSegv)) {
        sigaction(SIGSEGV, &trap.previousSegv, nullptr);
    }
    if (Installed(SIGTRAP, OnTrap)) {
        sigaction(SIGTRAP, &trap.previousTrap, nullptr);
    }
    trap.sink = nullptr;
    if (windows_ > 0) {
        munmap(reinterpret_cast<void *>(base_), windows_ * pageSize_);
    }
}

} // namespace oxsim::detail
