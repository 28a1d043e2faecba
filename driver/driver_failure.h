// A failure that the library reports as one line on standard error before it returns
// a non-zero status.
#pragma once

#include "escaped_text.h"

#include <stdexcept>
#include <string>

namespace ox9162 {

struct DriverFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "<what>: <step>: <reason>", the form of every failure line. `what` is a card's address
// or a path from outside, escaped here; outside text in `reason` is escaped by its caller.
inline DriverFailure Failure(const std::string &what, const std::string &step,
                             const std::string &reason) {
    return DriverFailure(oxtext::Escaped(what) + ": " + step + ": " + reason);
}

} // namespace ox9162
