// A library call whose fault would otherwise end the program: on Windows a structured
// exception (an access violation in a faulty DLL, a Microsoft C++ exception) that
// nothing in the call handles comes back as its text. Elsewhere the call runs as it is.
#pragma once

#include <functional>
#include <optional>
#include <string>

#if defined(_WIN32)
std::optional<std::string> RunCatchingFaults(const std::function<void()> &call);
#else
inline std::optional<std::string> RunCatchingFaults(const std::function<void()> &call) {
    call();
    return std::nullopt;
}
#endif
