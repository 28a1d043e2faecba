// The access trace: library calls and register accesses, in memory and optionally
// in a file. Register accesses are recorded from the window trap's signal handler,
// so recording one is a fixed-size copy into storage reserved up front plus, with
// a file, one unbuffered write; lines are formatted only when asked for.
#pragma once

#include "trace_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace oxsim::detail {

// Wider accesses than this (vector registers) keep only their first bytes.
inline constexpr unsigned kMaxAccessBytes = 16;

struct AccessEvent {
    enum Kind : uint8_t { Call, Read, Write };
    Kind kind = Call;
    uint8_t width = 0;   // bytes accessed
    bool closed = false; // the card was not open
    uint16_t card = 0;
    uint16_t offset = 0;
    uint32_t callIndex = 0;
    uint8_t bytes[kMaxAccessBytes] = {}; // in address order
};

class AccessTrace {
  public:
    AccessTrace();
    ~AccessTrace();
    AccessTrace(const AccessTrace &) = delete;
    AccessTrace &operator=(const AccessTrace &) = delete;

    // Opens (creates afresh) the trace file; an empty path keeps the trace in memory.
    void OpenFile(const char *path);

    void RecordCall(const std::string &line);
    // Safe inside a signal handler.
    void RecordAccess(AccessEvent::Kind kind, bool closed, uint32_t card, uint32_t offset,
                      const uint8_t *bytes, unsigned width);

    std::vector<std::string> Lines() const;
    std::size_t Size() const { return size_ + (dropped_ > 0 ? 1 : 0); }
    void Clear();

  private:
    void Append(const AccessEvent &event);

    AccessEvent *events_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::size_t dropped_ = 0;
    std::vector<std::string> calls_;
    TraceFile file_;
};

// One access as a trace line, without the newline; returns its length. Needs at most
// kMaxAccessLine bytes and is safe inside a signal handler.
inline constexpr std::size_t kMaxAccessLine = 64;
std::size_t FormatAccess(const AccessEvent &event, char *out);

} // namespace oxsim::detail
