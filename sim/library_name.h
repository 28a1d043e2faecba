// The name the stand-in's messages begin with: the library's own name on each system.
#pragma once

namespace oxsim::detail {

#if defined(_WIN32)
inline constexpr const char *kLibraryName = "ZOVAK_OX9162.DLL";
#else
inline constexpr const char *kLibraryName = "libzovak_ox9162";
#endif

} // namespace oxsim::detail
