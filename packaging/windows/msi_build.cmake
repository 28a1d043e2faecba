# Makes the MSI of one width with wixl from what CPack staged for the NSIS installer
# (signed there already), and signs the MSI as the installer is signed. Every staged
# file is in it, so a file the install rules add needs nothing here. Run by CPack after
# the installer, or on a staged tree with another version (the tests' older MSI):
#   cmake -DOX_MSI_CONFIG=BUILD/CPackConfig.cmake -DOX_MSI_STAGED=DIR
#         -DOX_MSI_VERSION=X.Y -DOX_MSI_OUTPUT=FILE.msi -P msi_build.cmake
cmake_minimum_required(VERSION 3.25)
if(OX_MSI_CONFIG)
    include("${OX_MSI_CONFIG}")
    set(staged "${OX_MSI_STAGED}")
    set(version "${OX_MSI_VERSION}")
    set(output "${OX_MSI_OUTPUT}")
    set(work "${output}.wixl")
else()
    set(staged "${CPACK_TEMPORARY_DIRECTORY}")
    set(version "${CPACK_PACKAGE_VERSION}")
    # Beside the installer, where CPack puts it.
    set(output "${CPACK_OUTPUT_FILE_PREFIX}/${CPACK_PACKAGE_FILE_NAME}.msi")
    set(work "${CPACK_TOPLEVEL_DIRECTORY}/msi")
endif()
if(NOT IS_DIRECTORY "${staged}")
    message(FATAL_ERROR "MSI: no staged files in '${staged}'")
endif()
find_program(wixl wixl)
find_program(msibuild msibuild)
if(NOT wixl OR NOT msibuild)
    message(FATAL_ERROR "MSI: wixl and msibuild are not installed (Debian's wixl and msitools)")
endif()

function(xml_escape text out)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE "\"" "&quot;" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()
# Ids and component GUIDs from the file's place: the same place keeps them in every
# version, as Windows Installer's component rules want.
function(id kind relative out)
    if(kind STREQUAL "d" AND relative STREQUAL "")
        set(${out} INSTALLDIR PARENT_SCOPE)
    else()
        string(MD5 hash "${relative}")
        set(${out} "${kind}${hash}" PARENT_SCOPE)
    endif()
endfunction()

xml_escape("${CPACK_OX_MSI_NAME}" name)
set(upgrade_code "${CPACK_OX_MSI_UPGRADE_CODE}")
string(UUID menu_guid NAMESPACE "${upgrade_code}" NAME "Start menu" TYPE SHA1 UPPER)
if(CPACK_OX_WIDTH EQUAL 64)
    set(program_files ProgramFiles64Folder)
    set(system System64Folder)
    set(win64 yes)
    set(arch x64)
else()
    set(program_files ProgramFilesFolder)
    set(system SystemFolder)
    set(win64 no)
    set(arch x86)
endif()
xml_escape("${CPACK_PACKAGE_VENDOR}" vendor)
xml_escape("${CPACK_PACKAGE_DESCRIPTION_SUMMARY}" summary)
# wixl finds a file only by a path relative to the folder it runs in.
function(source_path path out)
    file(RELATIVE_PATH path "${work}" "${path}")
    xml_escape("${path}" path)
    set(${out} "${path}" PARENT_SCOPE)
endfunction()
source_path("${CPACK_OX_ICON}" icon)
set(menu "${name}")

# Each folder of the staged tree as a DirectoryRef with its subfolders and one
# component per file. A file with the same bytes as one before it (the training
# folder's copies of Qt) is a row of the DuplicateFile table instead, copied from that
# one at install time: the cabinet holds each once. A folder of such copies alone gets
# a component that creates and removes it.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${staged}" "${staged}/*")
list(SORT files)
set(folders "")
foreach(file IN LISTS files)
    file(MD5 "${staged}/${file}" hash)
    string(MD5 key "${file}")
    set(content_${key} ${hash})
    if(NOT DEFINED first_${hash})
        set(first_${hash} "${file}")
    endif()
    get_filename_component(folder "${file}" DIRECTORY)
    while(NOT folder IN_LIST folders)
        list(APPEND folders "${folder}")
        if(folder STREQUAL "")
            break()
        endif()
        get_filename_component(folder "${folder}" DIRECTORY)
    endwhile()
endforeach()
list(SORT folders)
set(file_tree "")
set(component_refs "")
set(duplicates "")
foreach(folder IN LISTS folders)
    id(d "${folder}" folder_id)
    string(APPEND file_tree "    <DirectoryRef Id=\"${folder_id}\">\n")
    foreach(sub IN LISTS folders)
        get_filename_component(parent "${sub}" DIRECTORY)
        if(NOT sub STREQUAL "" AND parent STREQUAL folder)
            id(d "${sub}" sub_id)
            get_filename_component(leaf "${sub}" NAME)
            xml_escape("${leaf}" leaf)
            string(APPEND file_tree "      <Directory Id=\"${sub_id}\" Name=\"${leaf}\"/>\n")
        endif()
    endforeach()
    set(installs_here NO)
    foreach(file IN LISTS files)
        get_filename_component(parent "${file}" DIRECTORY)
        if(NOT parent STREQUAL folder)
            continue()
        endif()
        get_filename_component(leaf "${file}" NAME)
        string(MD5 key "${file}")
        set(original "${first_${content_${key}}}")
        if(NOT original STREQUAL file)
            id(c "${original}" component)
            id(f "${original}" file_id)
            id(x "${file}" copy_id)
            get_filename_component(original_leaf "${original}" NAME)
            if(leaf STREQUAL original_leaf)
                set(leaf "") # the original's name, short and long
            endif()
            string(APPEND duplicates "${copy_id}\t${component}\t${file_id}\t${leaf}\t${folder_id}\r\n")
            continue()
        endif()
        set(installs_here YES)
        id(c "${file}" component)
        id(f "${file}" file_id)
        string(UUID guid NAMESPACE "${upgrade_code}" NAME "${file}" TYPE SHA1 UPPER)
        xml_escape("${leaf}" leaf)
        source_path("${staged}/${file}" source)
        string(APPEND file_tree
            "      <Component Id=\"${component}\" Guid=\"${guid}\" Win64=\"${win64}\">\n"
            "        <File Id=\"${file_id}\" Name=\"${leaf}\" Source=\"${source}\" KeyPath=\"yes\"/>\n"
            "      </Component>\n")
        string(APPEND component_refs "      <ComponentRef Id=\"${component}\"/>\n")
    endforeach()
    if(NOT installs_here)
        id(k "${folder}" component)
        string(UUID guid NAMESPACE "${upgrade_code}" NAME "${folder}/" TYPE SHA1 UPPER)
        string(APPEND file_tree
            "      <Component Id=\"${component}\" Guid=\"${guid}\" Win64=\"${win64}\">\n"
            "        <CreateFolder/>\n"
            "      </Component>\n")
        string(APPEND component_refs "      <ComponentRef Id=\"${component}\"/>\n")
    endif()
    string(APPEND file_tree "    </DirectoryRef>\n")
endforeach()

# The Start-menu entries that start a staged file: name, then the file.
set(entries
    "OX_KRV5316|ox_krv5316.exe"
    "Příručka|prirucka.txt"
    "OX_KRV5316 – simulované karty|${CPACK_OX_TRAINING}/ox_krv5316.exe")
set(shortcuts "")
foreach(entry IN LISTS entries)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 title)
    list(GET entry 1 file)
    if(file IN_LIST files)
        get_filename_component(folder "${file}" DIRECTORY)
        get_filename_component(leaf "${file}" NAME)
        xml_escape("${leaf}" leaf)
        id(d "${folder}" folder_id)
        string(MD5 shortcut_id "${title}")
        string(APPEND shortcuts
            "        <Shortcut Id=\"s${shortcut_id}\" Name=\"${title}\" Target=\"[${folder_id}]${leaf}\"\n"
            "                  WorkingDirectory=\"${folder_id}\"/>\n")
    endif()
endforeach()

file(READ "${CMAKE_CURRENT_LIST_DIR}/ox_krv5316.wxs.in" template)
string(CONFIGURE "${template}" source @ONLY)
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
file(WRITE "${work}/ox_krv5316.wxs" "${source}")
# wixl stores the database's texts in the Windows code page that libgsf takes from
# WINDOWS_LANGUAGE (it ignores Product/@Codepage, and fails on a text the page lacks),
# and marks the database with none; msibuild then marks it Windows-1250, so that every
# Windows reads the Czech names alike.
file(WRITE "${work}/_ForceCodepage.idt" "\r\n\r\n1250\t_ForceCodepage\r\n")
# The older version is removed before this one installs, as WiX schedules it (wixl's
# place for it moves with the custom actions).
set(marks -i _ForceCodepage.idt
    -q "UPDATE InstallExecuteSequence SET Sequence = 1401 WHERE Action = 'RemoveExistingProducts'")
# The copies, which wixl has no element for, and the actions that make and remove them;
# their folders go once they are empty, before the files' folders, which hold them.
if(duplicates)
    file(WRITE "${work}/DuplicateFile.idt"
        "FileKey\tComponent_\tFile_\tDestName\tDestFolder\r\n"
        "s72\ts72\ts72\tL255\tS72\r\nDuplicateFile\tFileKey\r\n${duplicates}")
    list(APPEND marks -i DuplicateFile.idt
        -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveDuplicateFiles', 3400)"
        -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('DuplicateFiles', 4210)"
        -q "UPDATE InstallExecuteSequence SET Sequence = 3450 WHERE Action = 'RemoveFolders'")
endif()
foreach(step IN ITEMS wixl msibuild)
    if(step STREQUAL "wixl")
        set(command "${wixl}" -a ${arch} -o "${output}" ox_krv5316.wxs)
    else()
        set(command "${msibuild}" "${output}" ${marks})
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env WINDOWS_LANGUAGE=cs ${command}
                    WORKING_DIRECTORY "${work}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
    if(NOT status EQUAL 0)
        file(REMOVE "${output}")
        message(FATAL_ERROR "MSI: ${step} could not make ${output} (${status}):\n${said}")
    endif()
endforeach()
execute_process(COMMAND "${CMAKE_COMMAND}" -P "${CMAKE_CURRENT_LIST_DIR}/sign.cmake" "${output}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE "${output}")
    message(FATAL_ERROR "MSI: ${output} could not be signed")
endif()
message(STATUS "MSI: ${output}")
