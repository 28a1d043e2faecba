#include "access_trace.h"
#include "reserved_pages.h"

#include <cstring>

namespace oxsim::detail {
namespace {

// Reserved, not committed: pages are backed only as the trace reaches them. This is
// room for about 130 whole firmware downloads between two clears.
constexpr std::size_t kReservedEvents = std::size_t{1} << 24;
constexpr std::size_t kReleaseBytes = std::size_t{1} << 20;

char *PutDecimal(char *out, uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *out++ = digits[--n];
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
    if (event.closed)
        *p++ = '!';
    *p++ = ' ';
    p = PutDecimal(p, event.card);
    *p++ = ' ';
    *p++ = kHex[event.offset >> 8 & 0xF];
    *p++ = kHex[event.offset >> 4 & 0xF];
    *p++ = kHex[event.offset & 0xF];
    *p++ = ' ';
    // The value as a little-endian number: the byte at the highest address first.
    const unsigned shown = event.width < kMaxAccessBytes ? event.width : kMaxAccessBytes;
    for (unsigned i = shown; i > 0; --i)
        p = PutHexByte(p, event.bytes[i - 1]);
    if (event.width > 1) {
        *p++ = ' ';
        *p++ = '(';
        p = PutDecimal(p, event.width);
        *p++ = ')';
    }
    return static_cast<std::size_t>(p - out);
}

AccessTrace::AccessTrace() {
    void *memory = ReservePages(kReservedEvents * sizeof(AccessEvent));
    if (memory != nullptr) {
        events_ = static_cast<AccessEvent *>(memory);
        capacity_ = kReservedEvents;
    }
}

AccessTrace::~AccessTrace() {
    ReleasePages(events_, capacity_ * sizeof(AccessEvent));
}

void AccessTrace::OpenFile(const char *path) {
    file_.Open(path);
}

void AccessTrace::Append(const AccessEvent &event) {
    if (size_ < capacity_)
        events_[size_++] = event;
    else
        ++dropped_;
}

void AccessTrace::RecordCall(const std::string &line) {
    AccessEvent event;
    event.callIndex = static_cast<uint32_t>(calls_.size());
    calls_.push_back(line);
    Append(event);
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
    lines.reserve(Size());
    char buffer[kMaxAccessLine];
    for (std::size_t i = 0; i < size_; ++i) {
        const AccessEvent &event = events_[i];
        if (event.kind == AccessEvent::Call)
            lines.push_back(calls_[event.callIndex]);
        else
            lines.emplace_back(buffer, FormatAccess(event, buffer));
    }
    if (dropped_ > 0)
        lines.push_back("trace full: " + std::to_string(dropped_) + " later events left out");
    return lines;
}

void AccessTrace::Clear() {
    // Give a large trace's pages back; the reservation stays.
    const std::size_t used = size_ * sizeof(AccessEvent);
    if (used >= kReleaseBytes)
        DiscardPages(events_, used);
    size_ = 0;
    dropped_ = 0;
    calls_.clear();
}

} // namespace oxsim::detail
