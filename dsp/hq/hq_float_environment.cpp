#include "hq_float_environment.h"

#include <immintrin.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned int kRoundToNearest = 0x0000u;
constexpr unsigned int kFlushToZero = 0x8000u;
constexpr unsigned int kDenormalsAreZero = 0x0040u;
constexpr unsigned int kAllMasked = 0x1f80u;

// The MXCSR bits this processor lets a program set, from the mask FXSAVE writes at byte 28;
// 0 there means the original mask, which lacks denormals-are-zero.
[[gnu::target("fxsr")]] unsigned int writableBits() noexcept
{
    alignas(16) static unsigned char area[512];
    _fxsave(area);
    std::uint32_t mask = 0;
    std::memcpy(&mask, area + 28, sizeof mask);
    return mask != 0 ? mask : 0xffbfu;
}

// Found once when the module loads, before any host can call the core; until then the mode
// without denormals-are-zero, which every processor takes.
unsigned int mode = kRoundToNearest | kFlushToZero | kAllMasked;
[[maybe_unused]] const bool found = [] {
    mode |= writableBits() & kDenormalsAreZero;
    return true;
}();

} // namespace

unsigned int hqFloatMode() noexcept
{
    return mode;
}
