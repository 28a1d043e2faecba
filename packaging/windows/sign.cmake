# Authenticode signatures with osslsigncode, when the build is given a code-signing
# certificate: OX_SIGN_PKCS12 (a PKCS#12 file), OX_SIGN_PASSWORD (its password) and
# optionally OX_SIGN_TIMESTAMP (a time-stamping server's URL), all from the environment.
# Run by CPack before NSIS (every .exe and .dll staged: the programs, Qt's DLLs and
# plugins) and by NSIS on the uninstaller and the installer:
#   cmake -P sign.cmake FILE...
# Without a certificate nothing is signed, and the staging run says so once. A
# certificate that does not sign fails the build: nothing ships half signed.
set(certificate "$ENV{OX_SIGN_PKCS12}")

set(files "")
if(CPACK_TEMPORARY_DIRECTORY)
    if(NOT certificate)
        message(STATUS "Windows installer: unsigned (no OX_SIGN_PKCS12 certificate given)")
        return()
    endif()
    file(GLOB_RECURSE files "${CPACK_TEMPORARY_DIRECTORY}/*.exe" "${CPACK_TEMPORARY_DIRECTORY}/*.dll")
else()
    foreach(i RANGE 3 ${CMAKE_ARGC})
        if(DEFINED CMAKE_ARGV${i})
            list(APPEND files "${CMAKE_ARGV${i}}")
        endif()
    endforeach()
endif()
if(NOT certificate OR NOT files)
    return()
endif()

if(NOT EXISTS "${certificate}")
    message(FATAL_ERROR "OX_SIGN_PKCS12 names no file: ${certificate}")
endif()
find_program(osslsigncode osslsigncode)
if(NOT osslsigncode)
    message(FATAL_ERROR "OX_SIGN_PKCS12 is set, but osslsigncode is not installed")
endif()
set(timestamp "")
if(NOT "$ENV{OX_SIGN_TIMESTAMP}" STREQUAL "")
    set(timestamp -ts "$ENV{OX_SIGN_TIMESTAMP}")
endif()

# The password goes by a file only its owner can read, never on a command line: in
# CPack's folder beside what it stages, or beside the file NSIS hands over.
list(GET files 0 first)
get_filename_component(private "${first}" DIRECTORY)
if(CPACK_TOPLEVEL_DIRECTORY)
    set(private "${CPACK_TOPLEVEL_DIRECTORY}")
endif()
string(RANDOM LENGTH 12 token)
set(private "${private}/.ox-sign-${token}")
file(MAKE_DIRECTORY "${private}")
file(CHMOD "${private}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(password "")
if(NOT "$ENV{OX_SIGN_PASSWORD}" STREQUAL "")
    file(WRITE "${private}/password" "$ENV{OX_SIGN_PASSWORD}")
    set(password -readpass "${private}/password")
endif()

set(failed "")
foreach(file IN LISTS files)
    # A signature holds its time: copies of one file (the training folder's) take the
    # bytes signed once, so that they stay copies, which the MSI stores once.
    file(SHA256 "${file}" unsigned)
    if(DEFINED signed_${unsigned})
        file(COPY_FILE "${signed_${unsigned}}" "${file}")
        continue()
    endif()
    execute_process(
        COMMAND "${osslsigncode}" sign -pkcs12 "${certificate}" ${password}
                -n OX_KRV5316 -h sha256 ${timestamp} -in "${file}" -out "${file}.signed"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        string(STRIP "${output}" output)
        set(failed "cannot sign ${file}: ${output}")
        file(REMOVE "${file}.signed")
        break()
    endif()
    file(RENAME "${file}.signed" "${file}")
    set(signed_${unsigned} "${file}")
endforeach()
file(REMOVE_RECURSE "${private}")
if(failed)
    message(FATAL_ERROR "${failed}")
endif()
