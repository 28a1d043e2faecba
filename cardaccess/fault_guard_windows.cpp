// The guard leaves the faulting call the way longjmp would: the process's last-chance
// filter, which Windows consults only when no handler in the call took the exception
// (so a DLL's own __try blocks still work), resumes the thread in Escape(), which jumps
// back to RunCatchingFaults. The abandoned frames are the library's and the loader's
// thunk; none of them holds anything of ours that needs destroying.
#include "fault_guard.h"

#include <windows.h>

#include <cstdio>

namespace {

struct Guard {
    void *jump[5]; // __builtin_setjmp's buffer
    void *handlerChain;
    EXCEPTION_RECORD record;
};

thread_local Guard *tGuard = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER gOuterFilter = nullptr;

// Room left below the faulting stack pointer for whatever the faulting code kept there.
constexpr uintptr_t kStackRoom = 1024;

// 32-bit code registers its exception handlers in a chain through its frames, whose
// head the thread keeps at fs:0 (NtCurrentTeb() makes GCC 12 warn of bounds there).
void *HandlerChain() {
    void *head = nullptr;
#if defined(__i386__)
    asm volatile("movl %%fs:0, %0" : "=r"(head));
#endif
    return head;
}

[[noreturn]] void Escape() {
#if defined(__i386__)
    // The handlers registered in the abandoned frames go with them.
    asm volatile("movl %0, %%fs:0" : : "r"(tGuard->handlerChain) : "memory");
#endif
    __builtin_longjmp(tGuard->jump, 1);
}

LONG WINAPI LastChance(EXCEPTION_POINTERS *info) {
    Guard *guard = tGuard;
    // A thread out of stack has no room to escape on.
    if (guard == nullptr || info->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        return gOuterFilter != nullptr ? gOuterFilter(info) : EXCEPTION_CONTINUE_SEARCH;
    }
    guard->record = *info->ExceptionRecord;
    CONTEXT &context = *info->ContextRecord;
    // Resume as if Escape had just been called: its frame aligned below the fault's.
#if defined(_WIN64)
    context.Rsp = ((context.Rsp - kStackRoom) & ~uintptr_t{15}) - sizeof(void *);
    context.Rip = reinterpret_cast<uintptr_t>(&Escape);
#else
    context.Esp = ((context.Esp - kStackRoom) & ~uintptr_t{15}) - sizeof(void *);
    context.Eip = reinterpret_cast<uintptr_t>(&Escape);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

std::string Describe(const EXCEPTION_RECORD &record) {
    char text[128];
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        const ULONG_PTR kind = record.ExceptionInformation[0];
        std::snprintf(text, sizeof text, "access violation %s address 0x%llx",
                      kind == 0   ? "reading"
                      : kind == 8 ? "executing"
                                  : "writing",
                      static_cast<unsigned long long>(record.ExceptionInformation[1]));
    } else {
        std::snprintf(
            text, sizeof text, "exception 0x%08lx at 0x%llx",
            static_cast<unsigned long>(record.ExceptionCode),
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(record.ExceptionAddress)));
    }
    return text;
}

// Puts the filter and the guard in place for one call and takes them away after it,
// however it ends. A guard within a guard leaves the filter to the outer one.
class Armed {
  public:
    explicit Armed(Guard &guard) : outer_(tGuard) {
        guard.handlerChain = HandlerChain();
        tGuard = &guard;
        if (outer_ == nullptr) {
            gOuterFilter = SetUnhandledExceptionFilter(LastChance);
        }
    }
    ~Armed() {
        if (outer_ == nullptr) {
            SetUnhandledExceptionFilter(gOuterFilter);
        }
        tGuard = outer_;
    }
    Armed(const Armed &) = delete;
    Armed &operator=(const Armed &) = delete;

  private:
    Guard *outer_;
};

} // namespace

std::optional<std::string> RunCatchingFaults(const std::function<void()> &call) {
    Guard guard{};
    const Armed armed(guard);
    if (__builtin_setjmp(guard.jump) == 0) {
        call();
        return std::nullopt;
    }
    return Describe(guard.record);
}
