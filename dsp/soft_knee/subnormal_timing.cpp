#include "subnormal_timing.h"

#include <x86intrin.h>

#include <cstdint>

namespace {

constexpr int kTrials = 5;
constexpr int kRounds = 64;
// All exceptions masked, rounding to nearest, neither flush-to-zero nor denormals-are-zero.
constexpr unsigned int kDefaultMode = 0x1f80u;

// Time stamp counts for 4 * 4 * kRounds products of values with factor, the fastest of
// kTrials. The values pass an empty asm statement each round, so the compiler must
// multiply them anew instead of once outside the loop.
std::uint64_t fastestTrial(float value, float factor) noexcept
{
    std::uint64_t fastest = UINT64_MAX;
    for (int trial = 0; trial < kTrials; ++trial) {
        __m128 a = _mm_set1_ps(value);
        __m128 b = a;
        __m128 c = a;
        __m128 d = a;
        const __m128 f = _mm_set1_ps(factor);
        const std::uint64_t start = __rdtsc();
        for (int round = 0; round < kRounds; ++round) {
            asm volatile("" : "+x"(a), "+x"(b), "+x"(c), "+x"(d));
            __m128 pa = _mm_mul_ps(a, f);
            __m128 pb = _mm_mul_ps(b, f);
            __m128 pc = _mm_mul_ps(c, f);
            __m128 pd = _mm_mul_ps(d, f);
            asm volatile("" : : "x"(pa), "x"(pb), "x"(pc), "x"(pd));
        }
        const std::uint64_t elapsed = __rdtsc() - start;
        fastest = elapsed < fastest ? elapsed : fastest;
    }
    return fastest;
}

} // namespace

bool subnormalProductsAreSlow(ProductTimer timer) noexcept
{
    const unsigned int mode = _mm_getcsr();
    _mm_setcsr(kDefaultMode);
    // 1.37 makes each subnormal product inexact, the case that costs most where any does.
    const std::uint64_t normal = timer(0.75f, 1.37f);
    const std::uint64_t subnormal = timer(0x1.8p-140f, 1.37f);
    _mm_setcsr(mode);
    return subnormal > 4 * normal;
}

bool subnormalProductsAreSlow() noexcept
{
    return subnormalProductsAreSlow(fastestTrial);
}
