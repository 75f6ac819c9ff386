# Shared part of the two Windows toolchains; the including file sets MINGW_TRIPLET
# and MINGW_ARCH_FLAGS.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_TRIPLET})

# The win32 flavour of the Debian compilers: no winpthreads DLL to ship or to link statically.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "${MINGW_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${MINGW_ARCH_FLAGS}")
# A module must load on a Windows machine with nothing installed, so the GCC and C++
# runtimes are linked in and only system DLLs (KERNEL32, msvcrt) remain as imports.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# Programs (the tests) link fully statically so that Wine needs no DLL from the MinGW tree.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Each build tree runs its Windows programs under Wine in a prefix of its own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh;${CMAKE_BINARY_DIR}/wine")
