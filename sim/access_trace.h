// The access trace: library calls and register accesses, streamed to the trace file
// and, only when a test asks for it, the latest of them kept in memory in a ring of
// fixed size, so a long run holds no more memory than a short one. Register accesses
// are recorded from the window trap's signal handler, so recording one is a
// fixed-size copy into the ring plus, with a file, one unbuffered write; lines are formatted
// only when asked for.
#pragma once

#include "trace_file.h"

#include <cstddef>
#include <cstdint>
#include <deque>
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
    uint32_t callIndex = 0;              // sequence number of the call's line
    uint8_t bytes[kMaxAccessBytes] = {}; // in address order
};

class AccessTrace {
  public:
    AccessTrace() = default;
    ~AccessTrace();
    AccessTrace(const AccessTrace &) = delete;
    AccessTrace &operator=(const AccessTrace &) = delete;

    // Creates the trace file afresh; null or empty closes it.
    void OpenFile(const char *path) { file_.Open(path); }
    // Keeps the latest `events` in memory from now on, none for 0 (the start), and
    // clears. False, keeping none, when the room cannot be reserved.
    bool Keep(std::size_t events);

    void RecordCall(const std::string &line);
    // Safe inside a signal handler.
    void RecordAccess(AccessEvent::Kind kind, bool closed, uint32_t card, uint32_t offset,
                      const uint8_t *bytes, unsigned width);

    // The kept events, after a first line that counts the dropped ones if any were.
    std::vector<std::string> Lines() const;
    std::size_t Kept() const { return count_; }
    std::size_t Dropped() const { return dropped_; }
    void Clear();

  private:
    void Append(const AccessEvent &event);
    void Unmap();

    AccessEvent *events_ = nullptr; // the ring, committed page by page as it fills
    std::size_t capacity_ = 0;
    std::size_t head_ = 0; // the oldest kept event
    std::size_t count_ = 0;
    std::size_t dropped_ = 0;
    // The lines of the kept calls, from sequence number firstCall_ on; the first
    // callsOverwritten_ belong to calls the ring has dropped since the last RecordCall.
    std::deque<std::string> calls_;
    uint32_t firstCall_ = 0;
    std::size_t callsOverwritten_ = 0;
    TraceFile file_;
};

// One access as a trace line, without the newline; returns its length. Needs at most
// kMaxAccessLine bytes and is safe inside a signal handler.
inline constexpr std::size_t kMaxAccessLine = 64;
std::size_t FormatAccess(const AccessEvent &event, char *out);

} // namespace oxsim::detail
