// The Windows trap. The access violation names the address and whether the
// instruction reads or writes. The byte moves that the program's accesses compile to
// are emulated there and then; any other instruction finds the card's byte put into
// the page if it reads, the page opens for the one instruction, which runs under the
// trap flag, and at the single-step exception a write's byte goes to the card and the
// page closes again. The program makes byte accesses only, so one byte is exchanged
// per access; the bytes beside it are stale.
#include "window_trap.h"

#include "byte_move_x86.h"

#include <windows.h>

#include <iterator>
#include <optional>

namespace oxsim::detail {
namespace {

constexpr DWORD kTrapFlag = 0x100;
// ExceptionInformation[0] of an access violation.
constexpr ULONG_PTR kReadFault = 0;
constexpr ULONG_PTR kWriteFault = 1;

// An instruction between its access violation and its single step.
struct PendingStep {
    bool active = false;
    std::size_t window = 0;
    uint32_t offset = 0;
    bool writes = false;
    bool hadTrapFlag = false;
};

struct TrapState {
    uintptr_t base = 0;
    std::size_t pageSize = 0;
    std::size_t windows = 0;
    WindowSink *sink = nullptr;
    void *handler = nullptr;
    PendingStep step;
};
// An exception handler takes no argument of ours, so this one object is where it looks.
TrapState trap;

uint8_t *Page(std::size_t window) {
    return reinterpret_cast<uint8_t *>(trap.base + window * trap.pageSize);
}

#ifdef _WIN64
constexpr bool kLongMode = true;
using Word = DWORD64;
constexpr Word CONTEXT::*kRegisters[] = {
    &CONTEXT::Rax, &CONTEXT::Rcx, &CONTEXT::Rdx, &CONTEXT::Rbx, &CONTEXT::Rsp, &CONTEXT::Rbp,
    &CONTEXT::Rsi, &CONTEXT::Rdi, &CONTEXT::R8,  &CONTEXT::R9,  &CONTEXT::R10, &CONTEXT::R11,
    &CONTEXT::R12, &CONTEXT::R13, &CONTEXT::R14, &CONTEXT::R15};
constexpr Word CONTEXT::*kInstructionPointer = &CONTEXT::Rip;
#else
constexpr bool kLongMode = false;
using Word = DWORD;
constexpr Word CONTEXT::*kRegisters[] = {&CONTEXT::Eax, &CONTEXT::Ecx, &CONTEXT::Edx,
                                         &CONTEXT::Ebx, &CONTEXT::Esp, &CONTEXT::Ebp,
                                         &CONTEXT::Esi, &CONTEXT::Edi};
constexpr Word CONTEXT::*kInstructionPointer = &CONTEXT::Eip;
#endif

// One exception per access instead of two: the single step's page protection and
// second exception cost most of an access under Wine.
bool Emulate(CONTEXT &context, ULONG_PTR kind, std::size_t window, uint32_t offset) {
    using Kind = ByteMove::Kind;
    const auto *code = reinterpret_cast<const uint8_t *>(context.*kInstructionPointer);
    const std::optional<ByteMove> move = DecodeByteMove(code, kLongMode);
    const bool stores = move && (move->kind == Kind::Store || move->kind == Kind::StoreImmediate);
    if (!move || move->reg >= std::size(kRegisters) || stores != (kind == kWriteFault)) {
        return false;
    }
    // Byte registers 4-7 without a REX prefix are AH to BH, bits 8-15 of registers 0-3.
    const bool highByte = !move->rex && move->reg >= 4 && move->reg < 8;
    Word &byteHome = context.*kRegisters[highByte ? move->reg - 4 : move->reg];
    const unsigned shift = highByte ? 8 : 0;
    uint8_t byte = move->immediate;
    if (stores) {
        byte = move->kind == Kind::Store ? static_cast<uint8_t>(byteHome >> shift) : byte;
        trap.sink->WriteWindow(window, offset, &byte, 1);
    } else {
        trap.sink->ReadWindow(window, offset, &byte, 1);
    }
    Word &whole = context.*kRegisters[move->reg];
    const uint64_t extended = move->kind == Kind::SignExtend
                                  ? static_cast<uint64_t>(static_cast<int8_t>(byte))
                                  : uint64_t{byte};
    switch (move->kind) {
    case Kind::Load:
        byteHome = (byteHome & ~(Word{0xFF} << shift)) | (Word{byte} << shift);
        break;
    case Kind::ZeroExtend:
    case Kind::SignExtend:
        // A 16-bit result keeps the bits above it; a 32-bit one clears them.
        whole = move->resultBits == 16   ? (whole & ~Word{0xFFFF}) | (extended & 0xFFFF)
                : move->resultBits == 32 ? static_cast<Word>(extended & 0xFFFFFFFF)
                                         : static_cast<Word>(extended);
        break;
    default:
        break;
    }
    context.*kInstructionPointer += move->length;
    return true;
}

bool Protect(std::size_t window, DWORD protection) {
    DWORD previous = 0;
    return VirtualProtect(Page(window), trap.pageSize, protection, &previous) != 0;
}

LONG OnAccessViolation(EXCEPTION_POINTERS &exception) {
    const EXCEPTION_RECORD &record = *exception.ExceptionRecord;
    if (trap.sink == nullptr || trap.step.active || record.NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const ULONG_PTR kind = record.ExceptionInformation[0];
    const uintptr_t address = record.ExceptionInformation[1];
    if ((kind != kReadFault && kind != kWriteFault) || address < trap.base ||
        address >= trap.base + trap.windows * trap.pageSize) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const std::size_t window = (address - trap.base) / trap.pageSize;
    const auto offset = static_cast<uint32_t>((address - trap.base) % trap.pageSize);
    CONTEXT &context = *exception.ContextRecord;
    // Under the trap flag (a debugger stepping) the instruction must really run.
    if ((context.EFlags & kTrapFlag) == 0 && Emulate(context, kind, window, offset)) {
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    if (!Protect(window, PAGE_READWRITE)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (kind == kReadFault) {
        trap.sink->ReadWindow(window, offset, Page(window) + offset, 1);
    }
    trap.step = {true, window, offset, kind == kWriteFault, (context.EFlags & kTrapFlag) != 0};
    context.EFlags |= kTrapFlag;
    return EXCEPTION_CONTINUE_EXECUTION;
}

LONG OnSingleStep(EXCEPTION_POINTERS &exception) {
    PendingStep &step = trap.step;
    if (!step.active) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (step.writes) {
        trap.sink->WriteWindow(step.window, step.offset, Page(step.window) + step.offset, 1);
    }
    Protect(step.window, PAGE_NOACCESS);
    step.active = false;
    if (!step.hadTrapFlag) {
        exception.ContextRecord->EFlags &= ~kTrapFlag;
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS *exception) {
    // The interrupted code must find its last error as it left it.
    const DWORD lastError = GetLastError();
    LONG result = EXCEPTION_CONTINUE_SEARCH;
    switch (exception->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
        result = OnAccessViolation(*exception);
        break;
    case EXCEPTION_SINGLE_STEP:
        result = OnSingleStep(*exception);
        break;
    default:
        break;
    }
    SetLastError(lastError);
    return result;
}

} // namespace

WindowTrap::WindowTrap(std::size_t windows, WindowSink &sink) : windows_(windows) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    pageSize_ = system.dwPageSize;
    void *memory =
        VirtualAlloc(nullptr, windows_ * pageSize_, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    if (memory == nullptr) {
        windows_ = 0;
        return;
    }
    base_ = reinterpret_cast<uintptr_t>(memory);
    trap.base = base_;
    trap.pageSize = pageSize_;
    trap.windows = windows_;
    trap.sink = &sink;
    // First in the list: the program's own handlers never see the windows' faults.
    trap.handler = AddVectoredExceptionHandler(1, OnException);
}

WindowTrap::~WindowTrap() {
    if (trap.handler != nullptr) {
        RemoveVectoredExceptionHandler(trap.handler);
    }
    trap = TrapState{};
    if (windows_ > 0) {
        VirtualFree(reinterpret_cast<void *>(base_), 0, MEM_RELEASE);
    }
}

} // namespace oxsim::detail
