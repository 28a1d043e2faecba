// Numbers as the check's texts write them; apart from the card steps, so that the
// option parser can be built without the card.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

namespace cardstep {

std::string Decimal(uint64_t value);
std::string NumberText(double value);            // as short as it goes: "1000", "0.5"
std::string Fixed(double value, int decimals);   // "0.423" for 3
std::string Duration(std::chrono::seconds time); // "1:02:05"

} // namespace cardstep

// ISO 8601: "2026-12-07T08:00:30Z"
std::string UtcTimestamp(std::time_t at);
