# Fails unless the module's dynamic symbol table defines exactly the entry point's two names.
# Run as: cmake -DNM=<nm> -DMODULE=<file> -P check_exports.cmake
execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
    OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^.* " "" name "${line}")
    list(APPEND names "${name}")
endforeach()
list(SORT names)
if(NOT names STREQUAL "VSTPluginMain;main")
    message(FATAL_ERROR "exports of ${MODULE} are [${names}], expected [VSTPluginMain;main]")
endif()
message(STATUS "exports: ${names}")
