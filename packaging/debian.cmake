# The Debian package, built by `cpack -G DEB` in the build directory.
set(CPACK_PACKAGE_NAME "${OX_PACKAGE_NAME}")
set(CPACK_PACKAGE_VENDOR "ZOVAK spol. s r.o.")
set(CPACK_PACKAGE_CONTACT "ZOVAK spol. s r.o. <podpora@zovak.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test program for ZOVAK KRV-5316 PCI counter cards")
# CPack puts the summary in front.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
A technician's test program for the KRV-5316 PCI counter card (24 counters
of 32 bits, an 8-bit digital input and two 8-bit outputs), with a window in
Czech: it lists the cards found, loads the firmware, shows the counters and
inputs every 100 ms and writes the outputs bit by bit.
.
The package also holds krv5316-check, an unattended go/no-go check of the
cards for a production line, the driver library libzovak_ox9162.so for real
cards through the kernel's PCI interface, and a simulation of the cards for
training without one (ox_krv5316-sim).")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.zovak.example/")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window falls back to Liberation Sans; postinst creates the group with addgroup.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, adduser")

# The public driver library needs the loader's cache refreshed: a trigger, not a call.
set(debian "${CMAKE_BINARY_DIR}/packaging/debian")
configure_file("${here}/changelog.in" "${debian}/changelog" @ONLY)
file(WRITE "${debian}/triggers" "activate-noawait ldconfig\n")
set(script_permissions FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                       GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The package's prefix is /usr, whatever the build's.
configure_file("${here}/postinst.in" "${debian}/postinst" @ONLY ${script_permissions})
# configure_file, unlike file(COPY), makes an edit of postrm reconfigure the build.
configure_file("${here}/postrm" "${debian}/postrm" COPYONLY ${script_permissions})
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${debian}/postinst;${debian}/postrm;${debian}/triggers")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

ox_gzip("${debian}/changelog" "${debian}/changelog.gz")
add_custom_target(debian_changelog ALL DEPENDS "${debian}/changelog.gz")
install(FILES "${debian}/changelog.gz" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

set(CPACK_GENERATOR DEB)
include(CPack)
