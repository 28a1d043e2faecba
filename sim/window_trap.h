// The register windows: one page per card, mapped with no access rights, whose
// faults the trap turns into accesses on the simulated cards. Faults outside the
// windows go on to whoever handled them before. One implementation per system: on
// x86-64 Linux a SIGSEGV handler decodes and emulates common byte and word moves and
// runs any other instruction by opening the page and single-stepping it; on Windows
// a vectored exception handler emulates the byte moves and steps anything else.
//
// On Linux the handlers are installed once, when the trap is made, and never again: a
// program that later puts a chaining handler of its own in front gets the window
// faults through it, and a genuine crash passes each handler once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace oxsim::detail {

// What the trap does with an access. Called inside the trap's handler.
class WindowSink {
  public:
    virtual void ReadWindow(std::size_t window, uint32_t offset, uint8_t *bytes,
                            unsigned width) = 0;
    virtual void WriteWindow(std::size_t window, uint32_t offset, const uint8_t *bytes,
                             unsigned width) = 0;

  protected:
    ~WindowSink() = default;
};

// Only one may exist: the handlers find it through a single pointer.
class WindowTrap {
  public:
    WindowTrap(std::size_t windows, WindowSink &sink);
    ~WindowTrap();
    WindowTrap(const WindowTrap &) = delete;
    WindowTrap &operator=(const WindowTrap &) = delete;

    uintptr_t Window(std::size_t index) const { return base_ + index * pageSize_; }

  private:
    uintptr_t base_ = 0;
    std::size_t pageSize_ = 0;
    std::size_t windows_ = 0;
};

} // namespace oxsim::detail
