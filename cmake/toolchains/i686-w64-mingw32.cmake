# 32-bit Windows, the product's target: MinGW-w64 cross compilers, tests run under Wine.
set(MINGW_TRIPLET i686-w64-mingw32)
# SSE2 for all float and double math: x87 extended precision would round differently
# from the other targets.
set(MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")
