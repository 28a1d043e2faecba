# Installation and the Debian package. Installed programs find libzovak_ox9162.so on
# the ordinary library path: the install RPATH stays empty, so the build tree's
# $ORIGIN does not survive installation.
set(OX_PACKAGE_NAME ox-krv5316)
if(NOT CMAKE_INSTALL_DOCDIR) # Debian's place, named after the package
    set(CMAKE_INSTALL_DOCDIR "share/doc/${OX_PACKAGE_NAME}")
endif()
include(GNUInstallDirs)
set(OX_APP_ID example.zovak.ox_krv5316)
set(OX_SIM_LIBDIR "${CMAKE_INSTALL_LIBDIR}/ox_krv5316/sim")
set(OX_DATADIR "${CMAKE_INSTALL_DATADIR}/ox_krv5316")
set(here "${CMAKE_CURRENT_LIST_DIR}")
set(staged "${CMAKE_BINARY_DIR}/packaging")

# Man pages and the changelog go gzipped, as man and Debian expect them; -n keeps
# the package the same from build to build.
function(ox_gzip source output)
    add_custom_command(OUTPUT "${output}"
        COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" "${source}" "${output}"
        DEPENDS "${source}" VERBATIM)
endfunction()

foreach(program krv5316-check ox_krv5316)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    endif()
endforeach()

# The real driver library goes where the loader looks; a maker's library named by
# OX_DRIVER_LIBRARY is the maker's to install.
if(TARGET ox9162_pci AND NOT OX_DRIVER_LIBRARY)
    install(TARGETS ox9162_pci LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}")
    install(TARGETS ox9162-udev-rule RUNTIME DESTINATION "${CMAKE_INSTALL_SBINDIR}")
    install(FILES "${PROJECT_SOURCE_DIR}/driver/ox9162.conf" DESTINATION "${OX_DATADIR}")
    set(OX_MAN8 ox9162-udev-rule.8)
endif()

# The stand-in stays out of the library path, where it would shadow the real library;
# only its launcher puts it in front.
if(OX_HAVE_SIM AND TARGET ox_krv5316)
    install(TARGETS zovak_ox9162 LIBRARY DESTINATION "${OX_SIM_LIBDIR}")
    file(RELATIVE_PATH OX_SIM_FROM_BINDIR "/${CMAKE_INSTALL_BINDIR}" "/${OX_SIM_LIBDIR}")
    configure_file("${here}/ox_krv5316-sim.in" "${staged}/ox_krv5316-sim" @ONLY)
    install(PROGRAMS "${staged}/ox_krv5316-sim" DESTINATION "${CMAKE_INSTALL_BINDIR}")
    install(FILES "${here}/${OX_APP_ID}-sim.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    set(OX_SIM_LAUNCHER ON)
endif()

if(TARGET ox_krv5316)
    install(FILES "${here}/${OX_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    configure_file("${here}/${OX_APP_ID}.metainfo.xml.in" "${staged}/${OX_APP_ID}.metainfo.xml" @ONLY)
    install(FILES "${staged}/${OX_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
    foreach(size 32 48 64 128)
        install(FILES "${PROJECT_SOURCE_DIR}/app/resources/icon-${size}.png"
                DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
                RENAME ox_krv5316.png)
    endforeach()
endif()

include(${here}/man_pages.cmake)

install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${here}/copyright" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
# The README's further reading, where its links lead.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/" DESTINATION "${CMAKE_INSTALL_DOCDIR}/docs"
        FILES_MATCHING PATTERN "*.md" PATTERN "*.txt" PATTERN "*.png" PATTERN "prirucka.md" EXCLUDE)

include(${here}/debian.cmake)
