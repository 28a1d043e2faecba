// Numbers as the check's texts write them; apart from the card steps, so that the
// option parser can be built without the card.
#pragma once

#include <cstdint>
#include <string>

namespace cardstep {

std::string Decimal(uint64_t value);
std::string NumberText(double value);          // as short as it goes: "1000", "0.5"
std::string Fixed(double value, int decimals); // "0.423" for 3

} // namespace cardstep
