# Builds the Windows installer: cmake -D<NAME>=<value>... -P make-installer.cmake with
#   OUTPUT      the setup program to write
#   WORK        a folder for the staged files (emptied first)
#   WIN32_DIR   WIN64_DIR   the folders with each width's SoftKneeShaper.dll and SoftKneeShaperHQ.dll
#   STRIP32     STRIP64     each width's strip program: the installer ships stripped DLLs
#   TEXTS       the folder with README.txt and LICENSE.txt
#   MAKENSIS    VERSION     PUBLISHER   COPYRIGHT
cmake_minimum_required(VERSION 3.25)

foreach(name OUTPUT WORK WIN32_DIR WIN64_DIR STRIP32 STRIP64 TEXTS MAKENSIS VERSION PUBLISHER COPYRIGHT)
    if(NOT DEFINED ${name})
        message(FATAL_ERROR "make-installer.cmake needs -D${name}=...")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_dir}")
file(MAKE_DIRECTORY "${WORK}/win32" "${WORK}/win64")
foreach(width 32 64)
    foreach(module SoftKneeShaper SoftKneeShaperHQ)
        set(dll "${WIN${width}_DIR}/${module}.dll")
        if(NOT EXISTS "${dll}")
            message(FATAL_ERROR "${dll} is missing: build the win${width} preset first")
        endif()
        execute_process(COMMAND "${STRIP${width}}" -o "${WORK}/win${width}/${module}.dll" "${dll}"
                        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endforeach()
file(COPY "${TEXTS}/README.txt" "${TEXTS}/LICENSE.txt" DESTINATION "${WORK}")

string(REGEX MATCH "^[0-9]+\\.[0-9]+\\.[0-9]+" numbers "${VERSION}")
set(defines -DVERSION=${VERSION} -DVERSION_NUMBERS=${numbers}.0 -DPUBLISHER=${PUBLISHER}
            -DCOPYRIGHT=${COPYRIGHT} -DSTAGE=${WORK})
get_filename_component(scripts "${CMAKE_CURRENT_LIST_FILE}" DIRECTORY)
# The uninstaller first: the installer packs it.
foreach(script uninstall setup)
    if(script STREQUAL "setup")
        set(out "${OUTPUT}")
    else()
        set(out "${WORK}/uninstall.exe")
    endif()
    execute_process(COMMAND "${MAKENSIS}" -V2 -WX ${defines} "-DOUTFILE=${out}" "${scripts}/${script}.nsi"
                    RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "makensis ${script}.nsi failed:\n${log}")
    endif()
endforeach()
