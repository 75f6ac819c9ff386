// The SSE2 kernel, the floor of every target (the 32-bit DLL included): four samples of
// each channel per step, the curve's quotient in double, two lanes to a division. Its
// steps are those of the AVX2 kernel; SSE2 has no blend, so lanes are chosen by masks.

#include "soft_knee_kernels.h"

#include <emmintrin.h>

namespace {

constexpr std::int32_t kWidth = 4;

// The block's settings spread over the lanes, taken once per block.
struct BlockConstants {
    __m128 boost;
    __m128d boostWide;
    __m128 knee;
    __m128 magnitudeBits;  // every bit but the sign
    __m128 smallestNormal; // below it and above zero a float is subnormal
    __m128d one;
    __m128d w;
    __m128d wSquared; // exact in double, so the same value the reference forms per sample
    __m128d a;
    bool flat;           // a == 0: above the knee the curve is s * (1 - w), with no division
    __m128 flatPositive; // float(+1 * (1 - w))
    __m128 flatNegative; // float(-1 * (1 - w))
};

BlockConstants constantsFor(const SoftKnee& curve)
{
    const double w = curve.w;
    BlockConstants c;
    c.boost = _mm_set1_ps(curve.boost);
    c.boostWide = _mm_set1_pd(curve.boost);
    c.knee = _mm_set1_ps(curve.knee);
    c.magnitudeBits = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    c.smallestNormal = _mm_set1_ps(0x1p-126f);
    c.one = _mm_set1_pd(1.0);
    c.w = _mm_set1_pd(w);
    c.wSquared = _mm_set1_pd(w * w);
    c.a = _mm_set1_pd(curve.a);
    c.flat = curve.a == 0.0f;
    c.flatPositive = _mm_set1_ps(static_cast<float>(1.0 * (1.0 - w)));
    c.flatNegative = _mm_set1_ps(static_cast<float>(-1.0 * (1.0 - w)));
    return c;
}

__m128 select(__m128 mask, __m128 whenSet, __m128 whenClear)
{
    return _mm_or_ps(_mm_and_ps(mask, whenSet), _mm_andnot_ps(mask, whenClear));
}

__m128 upperPair(__m128 x)
{
    return _mm_movehl_ps(x, x);
}

// x * boost, rounded to float; a group holding a subnormal multiplies in double, as in
// the AVX2 kernel, to keep the float multiplier out of its slow assist.
__m128 boosted(__m128 x, const BlockConstants& c)
{
    const __m128 magnitude = _mm_and_ps(x, c.magnitudeBits);
    const __m128 belowNormal = _mm_cmplt_ps(magnitude, c.smallestNormal);
    if (_mm_movemask_ps(belowNormal) != 0) {
        const __m128 zero = _mm_cmpeq_ps(magnitude, _mm_setzero_ps());
        if (_mm_movemask_ps(_mm_andnot_ps(zero, belowNormal)) != 0) {
            const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(x), c.boostWide));
            const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(upperPair(x)), c.boostWide));
            return _mm_movelh_ps(low, high);
        }
    }
    return _mm_mul_ps(x, c.boost);
}

// y = s * (1 - w^2 / (w + a*d)) for the two lower samples, evaluated in double from the
// float d and rounded once; sign as in the AVX2 kernel.
__m128 curveAboveKnee(__m128 d, __m128 sign, const BlockConstants& c)
{
    const __m128d quotient = _mm_div_pd(c.wSquared, _mm_add_pd(c.w, _mm_mul_pd(c.a, _mm_cvtps_pd(d))));
    return _mm_cvtpd_ps(_mm_xor_pd(_mm_sub_pd(c.one, quotient), _mm_cvtps_pd(sign)));
}

__m128 shaped(__m128 v, const BlockConstants& c)
{
    const __m128 m = _mm_and_ps(v, c.magnitudeBits);
    const __m128 above = _mm_cmpgt_ps(m, c.knee); // false for NaN, which passes
    if (_mm_movemask_ps(above) == 0) {
        return v;
    }
    __m128 y;
    if (c.flat) {
        const __m128 negative = _mm_castsi128_ps(_mm_srai_epi32(_mm_castps_si128(v), 31));
        y = select(negative, c.flatNegative, c.flatPositive);
    } else {
        const __m128 d = _mm_sub_ps(m, c.knee);
        const __m128 sign = _mm_andnot_ps(c.magnitudeBits, v);
        y = _mm_movelh_ps(curveAboveKnee(d, sign, c), curveAboveKnee(upperPair(d), upperPair(sign), c));
    }
    return select(above, y, v);
}

// out + y, rounded to float; when both are NaN the sum carries y's payload, as in the
// AVX2 kernel.
__m128 added(__m128 out, __m128 y)
{
    return select(_mm_cmpunord_ps(y, y), y, _mm_add_ps(out, y));
}

std::int32_t wholeGroups(std::int32_t frames)
{
    return frames > 0 ? frames - frames % kWidth : 0;
}

} // namespace

// Both inputs of a group are read before any output of it is written, and the left
// output before the right one, so every aliasing the reference allows gives its result.

std::int32_t softKneeReplacingSse2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                   float* outRight, std::int32_t frames) noexcept
{
    const std::int32_t whole = wholeGroups(frames);
    const BlockConstants c = constantsFor(curve);
    for (std::int32_t i = 0; i < whole; i += kWidth) {
        const __m128 left = shaped(boosted(_mm_loadu_ps(inLeft + i), c), c);
        const __m128 right = shaped(boosted(_mm_loadu_ps(inRight + i), c), c);
        _mm_storeu_ps(outLeft + i, left);
        _mm_storeu_ps(outRight + i, right);
    }
    return whole;
}

std::int32_t softKneeAccumulatingSse2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                      float* outRight, std::int32_t frames) noexcept
{
    const std::int32_t whole = wholeGroups(frames);
    const BlockConstants c = constantsFor(curve);
    for (std::int32_t i = 0; i < whole; i += kWidth) {
        const __m128 left = shaped(boosted(_mm_loadu_ps(inLeft + i), c), c);
        const __m128 right = shaped(boosted(_mm_loadu_ps(inRight + i), c), c);
        _mm_storeu_ps(outLeft + i, added(_mm_loadu_ps(outLeft + i), left));
        _mm_storeu_ps(outRight + i, added(_mm_loadu_ps(outRight + i), right));
    }
    return whole;
}
