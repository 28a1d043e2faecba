# The application manifest of a Windows program, as resource 1 of type 24 (RT_MANIFEST):
# ox_windows_manifest(TARGET NAME [DPI]) writes the manifest and a resource script that
# holds it and, where given, the lines of the program's own script (its icon and version),
# since the linker keeps one resource script's tree per program.
function(ox_windows_manifest target name)
    cmake_parse_arguments(PARSE_ARGV 2 arg "DPI" "RESOURCES" "")
    set(OX_MANIFEST_NAME "${name}")
    set(OX_MANIFEST_DPI "")
    if(arg_DPI)
        string(CONCAT OX_MANIFEST_DPI "\n      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/"
               "2005/WindowsSettings\">true/pm</dpiAware>\n      <dpiAwareness xmlns=\"http://"
               "schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2</dpiAwareness>")
    endif()
    set(manifest "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/windows_manifest.xml.in" "${manifest}" @ONLY)
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc")
    set(own "")
    if(arg_RESOURCES)
        set(own "#include \"${arg_RESOURCES}\"\n")
    endif()
    file(WRITE "${script}" "${own}1 24 \"${manifest}\"\n")
    target_sources(${target} PRIVATE "${script}")
endfunction()
