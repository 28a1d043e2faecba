// The card's firmware image and its download into the card's FPGA.
#pragma once

#include "firmware_image.h"

#include <cstdint>

// Sends FirmwareImage to the card whose register window starts at base.
// True when the card reports a complete configuration.
bool LoadFirmware(uintptr_t base);
