# Cross-compiling for Windows with Debian's mingw-w64. OX_MINGW_TRIPLE picks the
# target: x86_64-w64-mingw32 (64-bit) or i686-w64-mingw32 (32-bit).
if(NOT OX_MINGW_TRIPLE MATCHES "^(x86_64|i686)-w64-mingw32$")
    message(FATAL_ERROR "Set OX_MINGW_TRIPLE to x86_64-w64-mingw32 or i686-w64-mingw32")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OX_MINGW_TRIPLE)
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${OX_MINGW_TRIPLE}")

# The posix thread variant: Qt for Windows needs it, and one build mixes no variants.
set(CMAKE_C_COMPILER ${OX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_DLLTOOL ${OX_MINGW_TRIPLE}-dlltool)

# The compiler's C and C++ runtimes go inside each program and DLL. Qt's plugins, which
# CMake links as modules, import them as DLLs, which travel beside the window
# (cmake/qt_windows_runtime.cmake).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
