# The Windows installer (CPack with NSIS): both programs and the README into one
# folder, a Start-menu entry for the window and a command prompt for the check, an
# uninstaller registered in Apps & features. The maker's ZOVAK_OX9162.DLL is the
# maker's to install: the installer looks for one and says where it belongs.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(width 32)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
else()
    set(width 64)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
endif()

install(TARGETS krv5316-check ox_krv5316 RUNTIME DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION . RENAME README.txt)

set(CPACK_GENERATOR NSIS)
# The NSIS lines below keep their quotes only so.
set(CPACK_VERBATIM_VARIABLES ON)
# The debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME ox_krv5316)
set(CPACK_PACKAGE_VENDOR "ZOVAK spol. s r.o.")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test of ZOVAK KRV-5316 PCI counter cards")
set(CPACK_PACKAGE_FILE_NAME "ox_krv5316-${PROJECT_VERSION}-win${width}")
# For the tests: CPack's own variable is the source package's once CPack is included.
set(OX_WINDOWS_INSTALLER "${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.exe")
set(CPACK_PACKAGE_INSTALL_DIRECTORY OX_KRV5316)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY OX_KRV5316)
set(CPACK_NSIS_PACKAGE_NAME OX_KRV5316)
set(CPACK_NSIS_DISPLAY_NAME OX_KRV5316)
set(CPACK_NSIS_INSTALLED_ICON_NAME ox_krv5316.exe)
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/app/resources/icon.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/app/resources/icon.ico")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)

# The programs stay in one folder, beside the maker's DLL. The check is a console
# program: its entry opens a prompt in that folder.
set(CPACK_NSIS_CREATE_ICONS_EXTRA [[
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\OX_KRV5316.lnk" "$INSTDIR\ox_krv5316.exe"
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\krv5316-check (command prompt).lnk" "$SYSDIR\cmd.exe" "/k krv5316-check.exe --help"
]])
set(CPACK_NSIS_DELETE_ICONS_EXTRA [[
  Delete "$SMPROGRAMS\$MUI_TEMP\OX_KRV5316.lnk"
  Delete "$SMPROGRAMS\$MUI_TEMP\krv5316-check (command prompt).lnk"
]])

# Windows' own search for a DLL named without a path, as the programs load it.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [[
  SetOutPath "$INSTDIR"
  ClearErrors
  SearchPath $0 "ZOVAK_OX9162.DLL"
  IfErrors ox_dll_missing
    MessageBox MB_OK|MB_ICONINFORMATION "The programs will use the card maker's driver library $0." /SD IDOK
    Goto ox_dll_done
  ox_dll_missing:
    MessageBox MB_OK|MB_ICONINFORMATION "ZOVAK_OX9162.DLL, the card maker's driver library, was not found. Put it beside the programs in $INSTDIR or in a folder on the PATH." /SD IDOK
  ox_dll_done:
]])

include(CPack)
