// The card's firmware image and its download into the card's FPGA.
#pragma once

#include "firmware_image.h"

#include <chrono>
#include <cstdint>

// How long one firmware byte may stay untaken: far above a real card's handshake of a
// few microseconds, far below what an operator would take for a hung window.
inline constexpr std::chrono::milliseconds FirmwareByteTimeout{50};

// Sends FirmwareImage to the card whose register window starts at base.
// True when the card reports a complete configuration; false also when the card
// stops taking bytes for FirmwareByteTimeout (CONF is then set back to 0x00).
bool LoadFirmware(uintptr_t base);
