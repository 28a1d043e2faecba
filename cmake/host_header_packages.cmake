# Windows: header-only packages that Debian ships for the host only, here nlohmann_json.
# Its own package would put /usr/include on the Windows compiler's path, where the
# host's C library headers hide mingw-w64's; so its headers are copied out alone and
# found through a package of the same name in the build directory.
set(host_headers "${CMAKE_BINARY_DIR}/host-headers")
if(EXISTS /usr/include/nlohmann/json.hpp AND
   EXISTS /usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
    file(COPY /usr/include/nlohmann DESTINATION "${host_headers}/include")
    file(COPY /usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake
         DESTINATION "${host_headers}/nlohmann_json")
    file(CONFIGURE OUTPUT "${host_headers}/nlohmann_json/nlohmann_jsonConfig.cmake" CONTENT [[
if(NOT TARGET nlohmann_json::nlohmann_json)
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "@host_headers@/include")
endif()
]] @ONLY)
    set(nlohmann_json_DIR "${host_headers}/nlohmann_json" CACHE PATH
        "nlohmann_json for the Windows build: the host's headers alone")
endif()
