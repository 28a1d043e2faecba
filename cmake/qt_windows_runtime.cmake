# Qt for Windows travels as DLLs beside the window, so a user may replace them as Qt's
# licence (LGPL-3) allows: copied into the build tree after the window is linked, so the
# tests run the program as built, and installed with it (the NSIS installer takes the
# install rules), with Qt's licence texts, taken from the Qt source the DLLs were built
# from, and the project's third-party notice in licenses/.

# The DLLs the window imports, and the plugins Qt loads from the folders below it.
set(OX_QT_DLLS Qt6::Core Qt6::Gui Qt6::Widgets)
set(OX_QT_PLUGINS "Qt6::QWindowsIntegrationPlugin platforms")
if(TARGET Qt6::QWindowsVistaStylePlugin)
    list(APPEND OX_QT_PLUGINS "Qt6::QWindowsVistaStylePlugin styles")
endif()

# Qt's plugins import the compiler's runtime DLLs (the GCC Runtime Library Exception and
# winpthreads' licence let them travel with the programs): found where the compiler has
# them.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(gcc_runtime libgcc_s_dw2-1.dll)
else()
    set(gcc_runtime libgcc_s_seh-1.dll)
endif()
set(OX_MINGW_RUNTIME_DLLS)
foreach(name IN ITEMS ${gcc_runtime} libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${name}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${name}, which Qt's plugins import")
    endif()
    get_filename_component(path "${path}" REALPATH)
    list(APPEND OX_MINGW_RUNTIME_DLLS "${path}")
endforeach()

# scripts/qt_windows.sh keeps the source in the cache folder that holds the Qt it built
# (<folder>/qt-source beside <folder>/qt-*/lib/cmake/Qt6), and the DLLs carry no texts of
# their own: a build that cannot find them would ship Qt without its licence.
get_filename_component(qt_folder "${Qt6_DIR}/../../../.." ABSOLUTE)
set(OX_QT_SOURCE_DIR "${qt_folder}/qt-source/qt6-base-${Qt6_VERSION}+dfsg"
    CACHE PATH "The qt6-base source that Qt for Windows was built from (its licence texts)")
set(OX_QT_LICENSE_TEXTS
    "${OX_QT_SOURCE_DIR}/LICENSES/LGPL-3.0-only.txt"
    "${OX_QT_SOURCE_DIR}/LICENSES/GPL-2.0-only.txt"
    "${OX_QT_SOURCE_DIR}/LICENSES/GPL-3.0-only.txt")
foreach(text IN LISTS OX_QT_LICENSE_TEXTS ITEMS "${OX_QT_SOURCE_DIR}/debian/copyright"
        /usr/share/doc/mingw-w64-common/copyright /usr/share/doc/gcc-mingw-w64-base/copyright)
    if(NOT EXISTS "${text}")
        message(FATAL_ERROR "No ${text}: set OX_QT_SOURCE_DIR to the qt6-base source that "
                            "Qt for Windows was built from, and install mingw-w64")
    endif()
endforeach()

# Beside target in the build tree, as installed, with any more of Qt's DLLs named after it.
function(ox_put_qt_beside target)
    set(commands)
    foreach(dll IN LISTS OX_QT_DLLS ITEMS ${ARGN})
        list(APPEND commands COMMAND "${CMAKE_COMMAND}" -E copy_if_different
             "$<TARGET_FILE:${dll}>" "$<TARGET_FILE_DIR:${target}>")
    endforeach()
    list(APPEND commands COMMAND "${CMAKE_COMMAND}" -E copy_if_different
         ${OX_MINGW_RUNTIME_DLLS} "$<TARGET_FILE_DIR:${target}>")
    foreach(entry IN LISTS OX_QT_PLUGINS)
        separate_arguments(entry)
        list(GET entry 0 plugin)
        list(GET entry 1 folder)
        list(APPEND commands
             COMMAND "${CMAKE_COMMAND}" -E make_directory "$<TARGET_FILE_DIR:${target}>/${folder}"
             COMMAND "${CMAKE_COMMAND}" -E copy_if_different "$<TARGET_FILE:${plugin}>"
                     "$<TARGET_FILE_DIR:${target}>/${folder}")
    endforeach()
    add_custom_command(TARGET ${target} POST_BUILD ${commands} VERBATIM)
endfunction()

function(ox_install_qt)
    foreach(dll IN LISTS OX_QT_DLLS)
        install(FILES "$<TARGET_FILE:${dll}>" DESTINATION .)
    endforeach()
    install(FILES ${OX_MINGW_RUNTIME_DLLS} DESTINATION .)
    foreach(entry IN LISTS OX_QT_PLUGINS)
        separate_arguments(entry)
        list(GET entry 0 plugin)
        list(GET entry 1 folder)
        install(FILES "$<TARGET_FILE:${plugin}>" DESTINATION "${folder}")
    endforeach()
    # Stripped as CPack strips the programs: Qt's DLLs and the compiler's come with their
    # symbol tables.
    set(installed)
    foreach(dll IN LISTS OX_QT_DLLS)
        list(APPEND installed "$<TARGET_FILE_NAME:${dll}>")
    endforeach()
    foreach(dll IN LISTS OX_MINGW_RUNTIME_DLLS)
        get_filename_component(name "${dll}" NAME)
        list(APPEND installed "${name}")
    endforeach()
    foreach(entry IN LISTS OX_QT_PLUGINS)
        separate_arguments(entry)
        list(GET entry 0 plugin)
        list(GET entry 1 folder)
        list(APPEND installed "${folder}/$<TARGET_FILE_NAME:${plugin}>")
    endforeach()
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            foreach(file ${installed})
                execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\")
            endforeach()
        endif()")
    install(FILES ${OX_QT_LICENSE_TEXTS} DESTINATION licenses/Qt)
    install(FILES "${OX_QT_SOURCE_DIR}/debian/copyright" DESTINATION licenses/Qt
            RENAME qt6-base-copyright.txt)
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/THIRD-PARTY-NOTICES.txt" DESTINATION licenses)
    # The runtimes linked into every file, as Debian's packages of the toolchain state them.
    install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses
            RENAME mingw-w64-copyright.txt)
    install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses
            RENAME gcc-copyright.txt)
endfunction()
