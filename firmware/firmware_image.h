// The firmware image that the build embeds (see firmware/CMakeLists.txt).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kFirmwareImageSize = 59215;

extern const std::array<std::uint8_t, kFirmwareImageSize> FirmwareImage;
