// The simulated card's own facts: its device ID, counters, firmware version and
// register map. This is deliberately a second copy, independent of the program's
// register map in cardaccess/: the model must answer as a card does, not as the
// program under test believes, so a wrong offset there shows up as a failed test.
#pragma once

#include <cstdint>

namespace oxsim::detail {

inline constexpr uint32_t kKrv5316Did = 0x0123;
inline constexpr unsigned kCounterCount = 24;
inline constexpr uint8_t kFirmwareVersion = 0x12; // what VERSION reads once configured

// Byte offsets in the BAR4 window.
namespace reg {
inline constexpr uint32_t DIN = 0x000;
inline constexpr uint32_t DOUT = 0x004;
inline constexpr uint32_t CONF = 0x3FC;
inline constexpr uint32_t DATA0 = 0x400;
inline constexpr uint32_t DATA3 = 0x40C;
inline constexpr uint32_t CLR0 = 0x410;
inline constexpr uint32_t CLR2 = 0x418;
inline constexpr uint32_t SEL = 0x420;
inline constexpr uint32_t XDOUT = 0x5A0;
inline constexpr uint32_t VERSION = 0x5FC;
} // namespace reg

// CONF written during a download, and the status read back from it.
inline constexpr uint8_t kConfBegin = 0x01; // pulsed 1 then 0 to begin a download
inline constexpr uint8_t kConfLoad = 0x02;  // set while the data bytes arrive
inline constexpr uint8_t kStatusDone = 0x10;
inline constexpr uint8_t kStatusReady = 0x20;

// SEL value that puts the input levels on DATA0 to DATA2 instead of a counter.
inline constexpr uint8_t kSelectLevels = 0x80;

} // namespace oxsim::detail
