// The AVX2 kernel: eight samples of each channel per step, the curve's quotient in
// double, four lanes to a division.
//
// This file alone is built with -mavx2 and runs only where the processor has AVX2. It
// calls no inline function of another file: the linker may keep any one copy of such a
// function for the whole module, and this file's copy would carry AVX instructions.

#include "soft_knee_kernels.h"

#include <immintrin.h>

namespace {

constexpr std::int32_t kWidth = 8;

// The block's settings spread over the lanes, taken once per block.
struct BlockConstants {
    __m256 boost;
    __m256d boostWide;
    __m256 knee;
    __m256 magnitudeBits;  // every bit but the sign
    __m256 smallestNormal; // below it and above zero a float is subnormal
    __m256d one;
    __m256d w;
    __m256d wSquared; // exact in double, so the same value the reference forms per sample
    __m256d a;
    bool flat;           // a == 0: above the knee the curve is s * (1 - w), with no division
    __m256 flatPositive; // float(+1 * (1 - w))
    __m256 flatNegative; // float(-1 * (1 - w))
};

BlockConstants constantsFor(const SoftKnee& curve)
{
    const double w = curve.w;
    BlockConstants c;
    c.boost = _mm256_set1_ps(curve.boost);
    c.boostWide = _mm256_set1_pd(curve.boost);
    c.knee = _mm256_set1_ps(curve.knee);
    c.magnitudeBits = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    c.smallestNormal = _mm256_set1_ps(0x1p-126f);
    c.one = _mm256_set1_pd(1.0);
    c.w = _mm256_set1_pd(w);
    c.wSquared = _mm256_set1_pd(w * w);
    c.a = _mm256_set1_pd(curve.a);
    c.flat = curve.a == 0.0f;
    c.flatPositive = _mm256_set1_ps(static_cast<float>(1.0 * (1.0 - w)));
    c.flatNegative = _mm256_set1_ps(static_cast<float>(-1.0 * (1.0 - w)));
    return c;
}

__m128 lowHalf(__m256 x)
{
    return _mm256_castps256_ps128(x);
}

__m128 highHalf(__m256 x)
{
    return _mm256_extractf128_ps(x, 1);
}

// x * boost, rounded to float. A subnormal factor sends the float multiplier into a
// microcode assist some sixty times slower than the product itself, so a group holding
// one multiplies in double: the product of two floats is exact there, and rounding it
// once gives the float product's bits, NaN payloads included. Zeros (silence) are cheap
// and only cost the second look.
__m256 boosted(__m256 x, const BlockConstants& c)
{
    const __m256 magnitude = _mm256_and_ps(x, c.magnitudeBits);
    const __m256 belowNormal = _mm256_cmp_ps(magnitude, c.smallestNormal, _CMP_LT_OQ);
    if (_mm256_movemask_ps(belowNormal) != 0) {
        const __m256 zero = _mm256_cmp_ps(magnitude, _mm256_setzero_ps(), _CMP_EQ_OQ);
        if (_mm256_movemask_ps(_mm256_andnot_ps(zero, belowNormal)) != 0) {
            const __m128 low = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(lowHalf(x)), c.boostWide));
            const __m128 high = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(highHalf(x)), c.boostWide));
            return _mm256_set_m128(high, low);
        }
    }
    return _mm256_mul_ps(x, c.boost);
}

// y = s * (1 - w^2 / (w + a*d)) for four samples, evaluated in double from the float d
// and rounded once. sign is each sample's sign bit on a zero: the bracket is never
// negative, so multiplying it by s is flipping its sign.
__m128 curveAboveKnee(__m128 d, __m128 sign, const BlockConstants& c)
{
    const __m256d quotient = _mm256_div_pd(c.wSquared, _mm256_add_pd(c.w, _mm256_mul_pd(c.a, _mm256_cvtps_pd(d))));
    return _mm256_cvtpd_ps(_mm256_xor_pd(_mm256_sub_pd(c.one, quotient), _mm256_cvtps_pd(sign)));
}

// Both branches for the lanes of a group that has a sample above the knee, then the
// choice per lane; a group wholly at or below the knee divides nothing.
__m256 shaped(__m256 v, const BlockConstants& c)
{
    const __m256 m = _mm256_and_ps(v, c.magnitudeBits);
    const __m256 above = _mm256_cmp_ps(m, c.knee, _CMP_GT_OQ); // false for NaN, which passes
    if (_mm256_movemask_ps(above) == 0) {
        return v;
    }
    __m256 y;
    if (c.flat) {
        y = _mm256_blendv_ps(c.flatPositive, c.flatNegative, v);
    } else {
        const __m256 d = _mm256_sub_ps(m, c.knee);
        const __m256 sign = _mm256_andnot_ps(c.magnitudeBits, v);
        y = _mm256_set_m128(curveAboveKnee(highHalf(d), highHalf(sign), c),
                            curveAboveKnee(lowHalf(d), lowHalf(sign), c));
    }
    return _mm256_blendv_ps(v, y, above);
}

// out + y, rounded to float. When both are NaN the sum carries y's payload, as the
// reference's scalar addition does; the vector addition alone would leave that choice to
// the compiler's operand order. A NaN y is already quiet, being a boosted input.
__m256 added(__m256 out, __m256 y)
{
    return _mm256_blendv_ps(_mm256_add_ps(out, y), y, _mm256_cmp_ps(y, y, _CMP_UNORD_Q));
}

std::int32_t wholeGroups(std::int32_t frames)
{
    return frames > 0 ? frames - frames % kWidth : 0;
}

} // namespace

// Both inputs of a group are read before any output of it is written, and the left
// output before the right one, so every aliasing the reference allows gives its result.

std::int32_t softKneeReplacingAvx2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                   float* outRight, std::int32_t frames) noexcept
{
    const std::int32_t whole = wholeGroups(frames);
    const BlockConstants c = constantsFor(curve);
    for (std::int32_t i = 0; i < whole; i += kWidth) {
        const __m256 left = shaped(boosted(_mm256_loadu_ps(inLeft + i), c), c);
        const __m256 right = shaped(boosted(_mm256_loadu_ps(inRight + i), c), c);
        _mm256_storeu_ps(outLeft + i, left);
        _mm256_storeu_ps(outRight + i, right);
    }
    return whole;
}

std::int32_t softKneeAccumulatingAvx2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                      float* outRight, std::int32_t frames) noexcept
{
    const std::int32_t whole = wholeGroups(frames);
    const BlockConstants c = constantsFor(curve);
    for (std::int32_t i = 0; i < whole; i += kWidth) {
        const __m256 left = shaped(boosted(_mm256_loadu_ps(inLeft + i), c), c);
        const __m256 right = shaped(boosted(_mm256_loadu_ps(inRight + i), c), c);
        _mm256_storeu_ps(outLeft + i, added(_mm256_loadu_ps(outLeft + i), left));
        _mm256_storeu_ps(outRight + i, added(_mm256_loadu_ps(outRight + i), right));
    }
    return whole;
}
