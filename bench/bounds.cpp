#include "bounds.h"

#include <cpuid.h>
#include <immintrin.h>

#include <cstring>

namespace {

bool haveAvx2() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const bool kAvx2 = haveAvx2();

__attribute__((target("avx2"))) void boostOnlyAvx2(const float* inLeft, const float* inRight, float* outLeft,
                                                   float* outRight, std::int32_t frames, float boost) noexcept
{
    const __m256 gain = _mm256_set1_ps(boost);
    for (std::int32_t i = 0; i < frames; i += 8) {
        const __m256 left = _mm256_mul_ps(_mm256_loadu_ps(inLeft + i), gain);
        const __m256 right = _mm256_mul_ps(_mm256_loadu_ps(inRight + i), gain);
        _mm256_storeu_ps(outLeft + i, left);
        _mm256_storeu_ps(outRight + i, right);
    }
}

void boostOnlySse2(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::int32_t frames,
                   float boost) noexcept
{
    const __m128 gain = _mm_set1_ps(boost);
    for (std::int32_t i = 0; i < frames; i += 4) {
        const __m128 left = _mm_mul_ps(_mm_loadu_ps(inLeft + i), gain);
        const __m128 right = _mm_mul_ps(_mm_loadu_ps(inRight + i), gain);
        _mm_storeu_ps(outLeft + i, left);
        _mm_storeu_ps(outRight + i, right);
    }
}

__attribute__((target("avx2"))) __m256 reciprocalsAvx2(__m256 x, __m256d one) noexcept
{
    const __m128 low = _mm256_cvtpd_ps(_mm256_div_pd(one, _mm256_cvtps_pd(_mm256_castps256_ps128(x))));
    const __m128 high = _mm256_cvtpd_ps(_mm256_div_pd(one, _mm256_cvtps_pd(_mm256_extractf128_ps(x, 1))));
    return _mm256_set_m128(high, low);
}

__attribute__((target("avx2"))) void divisionsOnlyAvx2(const float* inLeft, const float* inRight, float* outLeft,
                                                       float* outRight, std::int32_t frames) noexcept
{
    const __m256d one = _mm256_set1_pd(1.0);
    for (std::int32_t i = 0; i < frames; i += 8) {
        const __m256 left = reciprocalsAvx2(_mm256_loadu_ps(inLeft + i), one);
        const __m256 right = reciprocalsAvx2(_mm256_loadu_ps(inRight + i), one);
        _mm256_storeu_ps(outLeft + i, left);
        _mm256_storeu_ps(outRight + i, right);
    }
}

__m128 reciprocalsSse2(__m128 x, __m128d one) noexcept
{
    const __m128 low = _mm_cvtpd_ps(_mm_div_pd(one, _mm_cvtps_pd(x)));
    const __m128 high = _mm_cvtpd_ps(_mm_div_pd(one, _mm_cvtps_pd(_mm_movehl_ps(x, x))));
    return _mm_movelh_ps(low, high);
}

void divisionsOnlySse2(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                       std::int32_t frames) noexcept
{
    const __m128d one = _mm_set1_pd(1.0);
    for (std::int32_t i = 0; i < frames; i += 4) {
        const __m128 left = reciprocalsSse2(_mm_loadu_ps(inLeft + i), one);
        const __m128 right = reciprocalsSse2(_mm_loadu_ps(inRight + i), one);
        _mm_storeu_ps(outLeft + i, left);
        _mm_storeu_ps(outRight + i, right);
    }
}

} // namespace

void boostOnly(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::int32_t frames,
               float boost) noexcept
{
    if (kAvx2) {
        boostOnlyAvx2(inLeft, inRight, outLeft, outRight, frames, boost);
    } else {
        boostOnlySse2(inLeft, inRight, outLeft, outRight, frames, boost);
    }
}

void divisionsOnly(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                   std::int32_t frames) noexcept
{
    if (kAvx2) {
        divisionsOnlyAvx2(inLeft, inRight, outLeft, outRight, frames);
    } else {
        divisionsOnlySse2(inLeft, inRight, outLeft, outRight, frames);
    }
}

const char* boundsInstructionSet() noexcept
{
    return kAvx2 ? "avx2" : "sse2";
}

const char* processorModel() noexcept
{
    static char model[49] = "unknown processor";
    unsigned int words[12] = {};
    // GCC declares the answer unsigned, clang int; it is a leaf number either way.
    if (static_cast<unsigned>(__get_cpuid_max(0x80000000u, nullptr)) >= 0x80000004u) {
        for (unsigned int leaf = 0; leaf < 3; ++leaf) {
            __get_cpuid(0x80000002u + leaf, &words[leaf * 4], &words[leaf * 4 + 1], &words[leaf * 4 + 2],
                        &words[leaf * 4 + 3]);
        }
        std::memcpy(model, words, sizeof(words));
        model[48] = '\0';
    }
    const char* start = model;
    while (*start == ' ') {
        ++start;
    }
    return start;
}
