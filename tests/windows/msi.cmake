# The MSI under Wine's msiexec, made and signed by the installer's test.
if(NOT OX_WINDOWS_MSI)
    return()
endif()
# CPack stages the installer's files in a folder named as the package.
get_filename_component(package "${OX_WINDOWS_INSTALLER}" NAME_WLE)
add_test(NAME windows_msi_${width}bit
    COMMAND Python3::Interpreter "${CMAKE_CURRENT_SOURCE_DIR}/msi_on_wine.py" --width ${width}
            --msi "${OX_WINDOWS_MSI}"
            --staged "${CMAKE_BINARY_DIR}/_CPack_Packages/${CPACK_SYSTEM_NAME}/NSIS/${package}"
            --cpack-config "${CMAKE_BINARY_DIR}/CPackConfig.cmake"
            --builder "${OX_WINDOWS_MSI_BUILDER}"
            --certificate "${signing}/cert.pem"
            --prefix "${CMAKE_BINARY_DIR}/wine-msi"
            --work "${CMAKE_CURRENT_BINARY_DIR}/msi")
set_tests_properties(windows_msi_${width}bit PROPERTIES
    FIXTURES_REQUIRED windows_installer TIMEOUT 300)
