# The Windows installer (CPack with NSIS), one per width: both programs, the guide and
# the licence into one folder, Start-menu entries for the window, the guide and a
# command prompt for the check, an uninstaller registered in Apps & features. The
# maker's ZOVAK_OX9162.DLL is the maker's to install: the installer looks for one
# where the programs will and says what it found. The script is our own template,
# packaging/windows/NSIS.template.in; signing is packaging/windows/sign.cmake's.
set(here "${CMAKE_CURRENT_LIST_DIR}/windows")
set(staged "${CMAKE_BINARY_DIR}/packaging")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_OX_WIDTH 32)
else()
    set(CPACK_OX_WIDTH 64)
endif()
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES${CPACK_OX_WIDTH}")

# The licence page shows the program's terms as packaging/copyright states them.
file(READ "${PROJECT_SOURCE_DIR}/packaging/copyright" copyright)
string(REGEX MATCH "\nCopyright: ([^\n]*)\nLicense: [^\n]*((\n [^\n]*)*)" _ "${copyright}")
set(CPACK_OX_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n \\.?" "\n" terms "${CMAKE_MATCH_2}")
string(CONCAT licence "OX_KRV5316 ${PROJECT_VERSION}\nCopyright ${CPACK_OX_COPYRIGHT}\n${terms}\n\n"
    "Qt a další součásti jiných autorů mají své licence ve složce licenses.\n"
    "Qt and the other third-party parts have their licences in the licenses folder.\n")
string(REPLACE "\n" "\r\n" licence "${licence}") # as the licence page and Notepad want it
string(ASCII 239 187 191 bom) # NSIS reads a licence file as UTF-8 only after one
file(WRITE "${staged}/licence.txt" "${bom}${licence}")

# Texts a technician opens with a double-click: Windows' line ends, after a BOM so that
# Notepad reads them as UTF-8.
function(ox_install_windows_text source name)
    file(READ "${source}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE "${staged}/${name}" "${bom}${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
    install(FILES "${staged}/${name}" DESTINATION .)
endfunction()

install(TARGETS krv5316-check ox_krv5316 RUNTIME DESTINATION .)
ox_install_windows_text("${PROJECT_SOURCE_DIR}/docs/prirucka.md" prirucka.txt)
# The check's options, limits and statuses, which the guide names.
ox_install_windows_text("${PROJECT_SOURCE_DIR}/docs/krv5316-check-help.txt"
                        krv5316-check-help.txt)
install(FILES "${staged}/licence.txt" DESTINATION . RENAME licence.txt)

# Training on simulated cards: the window with the stand-in in a folder of its own, which
# neither program's search (its own folder, then the system's) reaches. Staged with the
# rest, so that every package made from the staged tree has it.
if(TARGET zovak_ox9162_standin)
    set(CPACK_OX_TRAINING simulace)
    install(TARGETS ox_krv5316 RUNTIME DESTINATION simulace)
    install(FILES "$<TARGET_FILE:zovak_ox9162_standin>" DESTINATION simulace)
    # Copies of the DLLs and plugins staged beside the window (stripped by then), as the
    # loader takes a program's imports from its own folder first: no PATH or working
    # folder to depend on, and the installer's solid compression stores each copy once.
    install(CODE "set(strip \"${CMAKE_STRIP}\")")
    install(CODE [[
        set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
        file(GLOB_RECURSE dlls RELATIVE "${root}" "${root}/*.dll")
        list(FILTER dlls EXCLUDE REGEX "^simulace/")
        foreach(dll IN LISTS dlls)
            get_filename_component(folder "simulace/${dll}" DIRECTORY)
            file(COPY "${root}/${dll}" DESTINATION "${root}/${folder}")
        endforeach()
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND "${strip}" --strip-unneeded
                            "${root}/simulace/ZOVAK_OX9162.DLL")
        endif()]])
endif()

set(CPACK_GENERATOR NSIS)
# The installer's texts keep their quotes only so.
set(CPACK_VERBATIM_VARIABLES ON)
# The debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_PACKAGE_NAME ox_krv5316)
set(CPACK_PACKAGE_VENDOR "ZOVAK spol. s r.o.")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test of ZOVAK KRV-5316 PCI counter cards")
set(CPACK_PACKAGE_FILE_NAME "ox_krv5316-${PROJECT_VERSION}-win${CPACK_OX_WIDTH}")
# For the tests: CPack's own variable is the source package's once CPack is included.
set(OX_WINDOWS_INSTALLER "${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.exe")
set(CPACK_PACKAGE_INSTALL_DIRECTORY OX_KRV5316)
# Each width's uninstall entry, and 1.20's for both, which an upgrade finds.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "OX_KRV5316-win${CPACK_OX_WIDTH}")
set(CPACK_OX_OLD_REGISTRY_KEY OX_KRV5316)
set(CPACK_NSIS_PACKAGE_NAME OX_KRV5316)
set(CPACK_NSIS_DISPLAY_NAME OX_KRV5316)
set(CPACK_OX_ICON "${PROJECT_SOURCE_DIR}/app/resources/icon.ico")
set(CPACK_OX_LICENCE "${staged}/licence.txt")
set(CPACK_OX_SIGN "\"${CMAKE_COMMAND}\" -P \"${here}/sign.cmake\"")
set(CPACK_MODULE_PATH "${here}")
# Signs what was staged, and says once when the build has no certificate.
set(CPACK_PRE_BUILD_SCRIPTS "${here}/sign.cmake")

include(${here}/msi.cmake)
include(CPack)
