// The register map of the KRV-5316 and the operations the window performs on it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The KRV-5316 itself: the window and the check take these facts from here alone.
inline constexpr uint16_t kKrv5316DeviceId = 0x0123;     // its PCI device ID
inline constexpr uint8_t kKrv5316FirmwareVersion = 0x12; // VERSION with our image: 1.2
inline constexpr unsigned kCounterCount = 24;            // CNT0 to CNT23
inline constexpr unsigned kCountersPerGroup = 8;         // one byte of a mask or of levels

namespace reg {
inline constexpr uintptr_t DIN = 0x000;
inline constexpr uintptr_t DOUT = 0x004;
inline constexpr uintptr_t CONF = 0x3FC;
inline constexpr uintptr_t DATA0 = 0x400;
inline constexpr uintptr_t DATA1 = 0x404;
inline constexpr uintptr_t DATA2 = 0x408;
inline constexpr uintptr_t DATA3 = 0x40C;
inline constexpr uintptr_t CLR0 = 0x410;
inline constexpr uintptr_t CLR1 = 0x414;
inline constexpr uintptr_t CLR2 = 0x418;
inline constexpr uintptr_t SEL = 0x420;
inline constexpr uintptr_t XDOUT = 0x5A0;
inline constexpr uintptr_t VERSION = 0x5FC;
} // namespace reg

inline constexpr uint8_t kSelInputLevels = 0x80;  // SEL value that shows the input levels
inline constexpr uint8_t kConfStatusReady = 0x20; // CONF read: the card takes the next byte
inline constexpr uint8_t kConfStatusDone = 0x10;  // CONF read: configuration complete

// Groups 0, 1, 2: CNT0-7, CNT8-15, CNT16-23.
using Mask3 = std::array<uint8_t, kCounterCount / kCountersPerGroup>;

// Counter n's byte in a Mask3, and its bit in that byte.
constexpr unsigned CounterGroup(unsigned n) {
    return n / kCountersPerGroup;
}
constexpr uint8_t CounterBit(unsigned n) {
    return static_cast<uint8_t>(1u << (n % kCountersPerGroup));
}
// The three bytes as one number, counter n at bit n.
constexpr uint32_t MaskBits(const Mask3 &mask) {
    uint32_t bits = 0;
    for (unsigned g = 0; g < mask.size(); ++g) {
        bits |= uint32_t{mask[g]} << (g * kCountersPerGroup);
    }
    return bits;
}

// "1.2": the major number is the high half of VERSION, the minor the low half.
std::string VersionText(uint8_t version);

uint8_t ReadVersion(uintptr_t base);
uint32_t ReadCounter(uintptr_t base, unsigned n);
Mask3 ReadInputLevels(uintptr_t base);
void WriteStartStop(uintptr_t base, uint8_t m0, uint8_t m1, uint8_t m2);
void WriteClearMask(uintptr_t base, uint8_t c0, uint8_t c1, uint8_t c2);
uint8_t ReadDin(uintptr_t base);
void WriteDout(uintptr_t base, uint8_t value);
void WriteXdout(uintptr_t base, uint8_t value);
