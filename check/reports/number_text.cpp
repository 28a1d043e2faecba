#include "number_text.h"

#include <cstdio>

namespace cardstep {

std::string Decimal(uint64_t value) {
    return std::to_string(value);
}

std::string NumberText(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace cardstep
