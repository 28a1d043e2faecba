// The card's firmware image and its download into the card's FPGA.
#pragma once

#include "firmware_image.h"

#include <chrono>
#include <cstdint>

// How long one firmware byte may stay untaken: far above a real card's handshake of a
// few microseconds, far below what an operator would take for a hung window.
inline constexpr std::chrono::milliseconds kFirmwareByteTimeout{50};
// How long the whole download may take: far above a healthy card's (well under a
// second), far below a card that takes every byte just inside FirmwareByteTimeout.
inline constexpr std::chrono::seconds kFirmwareDownloadTimeout{10};

// The time on which the two bounds are measured: the steady clock, or a test's own.
using DownloadClock = std::chrono::nanoseconds (*)();

// Sends FirmwareImage to the card whose register window starts at base.
// True when the card reports a complete configuration; false also when the card
// stops taking bytes for FirmwareByteTimeout, or the whole transfer outlasts
// FirmwareDownloadTimeout (CONF is then set back to 0x00).
bool LoadFirmware(uintptr_t base);
bool LoadFirmware(uintptr_t base, DownloadClock now);
