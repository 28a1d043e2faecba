# The toolchain of the Windows presets with the window: Qt for Windows of the preset's
# width (OX_MINGW_TRIPLE) from the machine's cache folder, where scripts/qt_windows.sh
# builds it; Qt's own toolchain file then chain-loads mingw-w64.cmake. The folder is
# OX_CACHE_DIR from the environment at the first configure, else the scripts' default,
# read from scripts/settings.sh so that it is written once.
if(NOT OX_CACHE_DIR)
    if(NOT "$ENV{OX_CACHE_DIR}" STREQUAL "")
        set(_ox_folder "$ENV{OX_CACHE_DIR}")
    else()
        file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../scripts/settings.sh" _ox_folder
             REGEX "^ox_cache_default=")
        string(REGEX REPLACE "^ox_cache_default=" "" _ox_folder "${_ox_folder}")
    endif()
    set(OX_CACHE_DIR "${_ox_folder}" CACHE PATH "The machine's cache folder, with Qt for Windows")
    unset(_ox_folder)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OX_CACHE_DIR)

if(OX_MINGW_TRIPLE MATCHES "^i686-")
    set(_ox_width 32)
elseif(OX_MINGW_TRIPLE MATCHES "^x86_64-")
    set(_ox_width 64)
else()
    message(FATAL_ERROR "Set OX_MINGW_TRIPLE to x86_64-w64-mingw32 or i686-w64-mingw32")
endif()
set(_ox_qt "${OX_CACHE_DIR}/qt-win${_ox_width}-mingw-shared/lib/cmake/Qt6/qt.toolchain.cmake")
if(NOT EXISTS "${_ox_qt}")
    message(FATAL_ERROR "No Qt for ${_ox_width}-bit Windows in ${OX_CACHE_DIR}: run "
                        "scripts/qt_windows.sh ${_ox_width} first, with the same OX_CACHE_DIR")
endif()
include("${_ox_qt}")
unset(_ox_width)
unset(_ox_qt)
