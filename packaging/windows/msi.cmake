# The MSI of each width beside its NSIS installer, for IT departments that deploy with
# msiexec, Group Policy or Intune: made by packaging/windows/msi_build.cmake with wixl
# from the same staged files once CPack has made the installer. Included by
# packaging/windows_installer.cmake before CPack.
#
# One UpgradeCode per width, never to change: an MSI replaces the installed one of its
# width that carries it, and the widths install side by side.
set(upgrade_code_32 7D36B80F-44C2-42BD-A08C-0C1C948285C8)
set(upgrade_code_64 F1D10E15-BDD7-48A6-88D6-5CBFEB6B4BAD)
set(CPACK_OX_MSI_UPGRADE_CODE "${upgrade_code_${CPACK_OX_WIDTH}}")
# The name in Apps & features and of the Start-menu folder, the two widths apart, as
# the installer names them on a Czech Windows.
set(CPACK_OX_MSI_NAME "OX_KRV5316 (${CPACK_OX_WIDTH}bitová verze)")
list(APPEND CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/msi_build.cmake")
# For the tests, which make an older version with the builder.
set(OX_WINDOWS_MSI "${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.msi")
set(OX_WINDOWS_MSI_BUILDER "${CMAKE_CURRENT_LIST_DIR}/msi_build.cmake")
