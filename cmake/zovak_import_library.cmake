# Windows: the programs import ZOVAK_OX9162.DLL through an import library made from
# driverapi/ZOVAK_OX9162.def, not from a DLL we build, so they load the maker's DLL
# or the stand-in, whichever sits beside them.
set(def "${PROJECT_SOURCE_DIR}/driverapi/ZOVAK_OX9162.def")
set(implib "${CMAKE_BINARY_DIR}/lib/libZOVAK_OX9162.a")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${def}")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/lib")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(dlltool_def "${def}")
    set(kill_at --kill-at)
else()
    file(READ "${def}" text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(dlltool_def "${CMAKE_BINARY_DIR}/lib/ZOVAK_OX9162_64.def")
    file(CONFIGURE OUTPUT "${dlltool_def}" CONTENT "${text}" @ONLY)
    set(kill_at "")
endif()
add_custom_command(
    OUTPUT "${implib}"
    COMMAND "${CMAKE_DLLTOOL}" ${kill_at} --input-def "${dlltool_def}" --output-lib "${implib}"
    DEPENDS "${dlltool_def}"
    COMMENT "Import library for ZOVAK_OX9162.DLL")
add_custom_target(zovak_ox9162_implib DEPENDS "${implib}")

add_library(zovak_ox9162 INTERFACE)
add_dependencies(zovak_ox9162 zovak_ox9162_implib)
target_link_libraries(zovak_ox9162 INTERFACE "${implib}" ox9162_api)
