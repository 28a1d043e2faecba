#include "access_trace.h"

#include "reserved_pages.h"

#include <cstdint>
#include <cstring>

namespace oxsim::detail {
namespace {

constexpr std::size_t kReleaseBytes = std::size_t{1} << 20;

char *PutDecimal(char *out, uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) {
        *out++ = digits[--n];
    }
    return out;
}

char *PutHexByte(char *out, uint8_t value) {
    static constexpr char kHex[] = "0123456789abcdef";
    *out++ = kHex[value >> 4];
    *out++ = kHex[value & 0xF];
    return out;
}

} // namespace

std::size_t FormatAccess(const AccessEvent &event, char *out) {
    static constexpr char kHex[] = "0123456789abcdef";
    char *p = out;
    *p++ = event.kind == AccessEvent::Read ? 'R' : 'W';
    if (event.closed) {
        *p++ = '!';
    }
    *p++ = ' ';
    p = PutDecimal(p, event.card);
    *p++ = ' ';
    *p++ = kHex[event.offset >> 8 & 0xF];
    *p++ = kHex[event.offset >> 4 & 0xF];
    *p++ = kHex[event.offset & 0xF];
    *p++ = ' ';
    // The value as a little-endian number: the byte at the highest address first.
    const unsigned shown = event.width < kMaxAccessBytes ? event.width : kMaxAccessBytes;
    for (unsigned i = shown; i > 0; --i) {
        p = PutHexByte(p, event.bytes[i - 1]);
    }
    if (event.width > 1) {
        *p++ = ' ';
        *p++ = '(';
        p = PutDecimal(p, event.width);
        *p++ = ')';
    }
    return static_cast<std::size_t>(p - out);
}

AccessTrace::~AccessTrace() {
    Unmap();
}

void AccessTrace::Unmap() {
    ReleasePages(events_, capacity_ * sizeof(AccessEvent));
    events_ = nullptr;
    capacity_ = 0;
}

bool AccessTrace::Keep(std::size_t events) {
    Clear();
    if (events == capacity_) {
        return true;
    }
    Unmap();
    if (events == 0) {
        return true;
    }
    if (events > SIZE_MAX / sizeof(AccessEvent)) {
        return false;
    }
    // Reserved, not committed: a large ring costs memory only as far as it fills.
    void *memory = ReservePages(events * sizeof(AccessEvent));
    if (memory == nullptr) {
        return false;
    }
    events_ = static_cast<AccessEvent *>(memory);
    capacity_ = events;
    return true;
}

void AccessTrace::Append(const AccessEvent &event) {
    if (capacity_ == 0) {
        return;
    }
    if (count_ < capacity_) {
        events_[(head_ + count_++) % capacity_] = event;
        return;
    }
    // Full: the newest takes the place of the oldest. A dropped call's line is freed
    // later, outside the signal handler.
    if (events_[head_].kind == AccessEvent::Call) {
        ++callsOverwritten_;
    }
    events_[head_] = event;
    head_ = (head_ + 1) % capacity_;
    ++dropped_;
}

void AccessTrace::RecordCall(const std::string &line) {
    if (capacity_ > 0) {
        for (; callsOverwritten_ > 0; --callsOverwritten_, ++firstCall_) {
            calls_.pop_front();
        }
        AccessEvent event;
        event.callIndex = firstCall_ + static_cast<uint32_t>(calls_.size());
        calls_.push_back(line);
        Append(event);
    }
    if (file_.IsOpen()) {
        const std::string withNewline = line + '\n';
        file_.Write(withNewline.data(), withNewline.size());
    }
}

void AccessTrace::RecordAccess(AccessEvent::Kind kind, bool closed, uint32_t card, uint32_t offset,
                               const uint8_t *bytes, unsigned width) {
    AccessEvent event;
    event.kind = kind;
    event.closed = closed;
    event.width = static_cast<uint8_t>(width);
    event.card = static_cast<uint16_t>(card);
    event.offset = static_cast<uint16_t>(offset);
    std::memcpy(event.bytes, bytes, width < kMaxAccessBytes ? width : kMaxAccessBytes);
    Append(event);
    if (file_.IsOpen()) {
        char line[kMaxAccessLine];
        std::size_t length = FormatAccess(event, line);
        line[length++] = '\n';
        file_.Write(line, length);
    }
}

std::vector<std::string> AccessTrace::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(count_ + 1);
    if (dropped_ > 0) {
        lines.push_back("trace ring: " + std::to_string(dropped_) + " earlier events dropped");
    }
    char buffer[kMaxAccessLine];
    for (std::size_t i = 0; i < count_; ++i) {
        const AccessEvent &event = events_[(head_ + i) % capacity_];
        if (event.kind == AccessEvent::Call) {
            lines.push_back(calls_[event.callIndex - firstCall_]);
        } else {
            lines.emplace_back(buffer, FormatAccess(event, buffer));
        }
    }
    return lines;
}

void AccessTrace::Clear() {
    // Give a large ring's pages back; the reservation stays.
    const std::size_t used = (dropped_ > 0 ? capacity_ : count_) * sizeof(AccessEvent);
    if (used >= kReleaseBytes) {
        DiscardPages(events_, used);
    }
    head_ = 0;
    count_ = 0;
    dropped_ = 0;
    calls_.clear();
    firstCall_ = 0;
    callsOverwritten_ = 0;
}

} // namespace oxsim::detail
