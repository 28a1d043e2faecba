# Manual pages. krv5316-check's page comes from its --help, so it follows its
# options; the version is handed in, so the page does not need the program to print one.
set(man "${CMAKE_BINARY_DIR}/packaging/man")
set(man_pages)

function(ox_gzip_page source page)
    ox_gzip("${source}" "${man}/${page}.gz")
    set(man_pages ${man_pages} "${man}/${page}.gz" PARENT_SCOPE)
endfunction()

find_program(HELP2MAN help2man)
if(TARGET krv5316-check AND NOT CMAKE_CROSSCOMPILING AND NOT HELP2MAN)
    message(WARNING "help2man not found: krv5316-check is installed without its man page")
elseif(TARGET krv5316-check AND NOT CMAKE_CROSSCOMPILING)
    add_custom_command(OUTPUT "${man}/krv5316-check.1"
        COMMAND "${CMAKE_COMMAND}" -E env "LD_LIBRARY_PATH=$<TARGET_FILE_DIR:zovak_ox9162>"
                "${HELP2MAN}" --no-info --no-discard-stderr
                "--version-string=${PROJECT_VERSION}"
                "--name=unattended go/no-go check of KRV-5316 counter cards"
                "--include=${here}/krv5316-check.h2m"
                "--output=${man}/krv5316-check.1" $<TARGET_FILE:krv5316-check>
        DEPENDS krv5316-check "${here}/krv5316-check.h2m" VERBATIM)
    ox_gzip_page("${man}/krv5316-check.1" krv5316-check.1)
endif()
set(pages ${OX_MAN8})
if(TARGET ox_krv5316)
    list(PREPEND pages ox_krv5316.1)
endif()
foreach(page IN LISTS pages)
    configure_file("${here}/${page}.in" "${man}/${page}" @ONLY)
    ox_gzip_page("${man}/${page}" ${page})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})

foreach(page IN LISTS man_pages)
    string(REGEX MATCH "\\.([0-9])\\.gz$" suffix "${page}")
    install(FILES "${page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${CMAKE_MATCH_1}")
endforeach()
if(OX_SIM_LAUNCHER)
    file(CREATE_LINK ox_krv5316.1.gz "${man}/ox_krv5316-sim.1.gz" SYMBOLIC)
    install(FILES "${man}/ox_krv5316-sim.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endif()
