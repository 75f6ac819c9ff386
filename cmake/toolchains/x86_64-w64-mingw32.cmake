# 64-bit Windows: MinGW-w64 cross compilers, tests run under Wine.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(MINGW_ARCH_FLAGS "")
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")
