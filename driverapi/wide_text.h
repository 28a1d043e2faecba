// Windows speaks UTF-16 at its wide calls; the programs and the stand-in keep UTF-8
// inside and convert only at those edges, so no text passes through a code page.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace oxtext {

// A stray byte becomes U+FFFD: Windows has no wide name for it.
inline std::wstring Utf16(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

inline std::string Utf8(std::wstring_view utf16) {
    if (utf16.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf16.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

// The environment's value as UTF-8; none when the variable is not set.
inline std::optional<std::string> EnvironmentValue(const char *name) {
    const wchar_t *value = _wgetenv(Utf16(name).c_str());
    return value != nullptr ? std::optional<std::string>(Utf8(value)) : std::nullopt;
}

} // namespace oxtext

#endif
