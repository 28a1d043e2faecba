// The stand-in's `throw` raises a C++ exception out of the driver call. On 32-bit
// Windows it cannot reach the caller: each module unwinds by its own DWARF tables, so
// the program ends instead (docs/windows.md, "Loading ZOVAK_OX9162.DLL"). Tests of it skip there.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32) && !defined(_WIN64)
#define OX_SKIP_IF_THROW_CANNOT_CROSS()                                                            \
    GTEST_SKIP() << "a C++ exception cannot leave a 32-bit mingw-w64 DLL for the program"
#else
#define OX_SKIP_IF_THROW_CANNOT_CROSS() static_cast<void>(0)
#endif
