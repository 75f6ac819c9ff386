// The SSE2 kernel, the floor of every target (the 32-bit DLL included): four samples of
// each channel per step, the curve's quotient in double, two lanes to a division. Its
// steps are those of the AVX2 kernel; SSE2 has no blend, so lanes are chosen by masks.

#include "kernel_block_forms.h"
#include "soft_knee_kernels.h"

#include <emmintrin.h>

namespace {

constexpr std::int32_t kWidth = 4;

// The block's settings spread over the lanes, taken once per block; kernel_block_forms.h
// says what each field must equal in the reference curve.
struct BlockConstants {
    __m128 boost;
    __m128d boostWide;
    __m128 knee;
    __m128 magnitudeBits;
    __m128d one;
    __m128d w;
    __m128d wSquared;
    __m128d a;
    __m128 flatPositive;
    __m128 flatNegative;
};

[[gnu::always_inline]] inline BlockConstants constantsFor(const SoftKnee& curve)
{
    const double w = curve.w;
    BlockConstants c;
    c.boost = _mm_set1_ps(curve.boost);
    c.boostWide = _mm_set1_pd(curve.boost);
    c.knee = _mm_set1_ps(curve.knee);
    c.magnitudeBits = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    c.one = _mm_set1_pd(1.0);
    c.w = _mm_set1_pd(w);
    c.wSquared = _mm_set1_pd(w * w);
    c.a = _mm_set1_pd(curve.a);
    c.flatPositive = _mm_set1_ps(static_cast<float>(1.0 * (1.0 - w)));
    c.flatNegative = _mm_set1_ps(static_cast<float>(-1.0 * (1.0 - w)));
    return c;
}

[[gnu::always_inline]] inline __m128 select(__m128 mask, __m128 whenSet, __m128 whenClear)
{
    return _mm_or_ps(_mm_and_ps(mask, whenSet), _mm_andnot_ps(mask, whenClear));
}

[[gnu::always_inline]] inline __m128 upperPair(__m128 x)
{
    return _mm_movehl_ps(x, x);
}

// Whether either group holds a subnormal, found as in the AVX2 kernel.
[[gnu::always_inline]] inline bool holdsSubnormal(__m128 left, __m128 right, const BlockConstants& c)
{
    const __m128i shift = _mm_set1_epi32(0x7f800000);
    const __m128i leftMoved = _mm_add_epi32(_mm_castps_si128(_mm_and_ps(left, c.magnitudeBits)), shift);
    const __m128i rightMoved = _mm_add_epi32(_mm_castps_si128(_mm_and_ps(right, c.magnitudeBits)), shift);
    const __m128i subnormal = _mm_or_si128(_mm_cmpgt_epi32(leftMoved, shift), _mm_cmpgt_epi32(rightMoved, shift));
    return _mm_movemask_ps(_mm_castsi128_ps(subnormal)) != 0;
}

// x * boost, rounded to float, for a group that holds a subnormal: in double, as in the
// AVX2 kernel, to keep the float multiplier out of its slow assist.
[[gnu::always_inline]] inline __m128 boostedInDouble(__m128 x, const BlockConstants& c)
{
    const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(x), c.boostWide));
    const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(upperPair(x)), c.boostWide));
    return _mm_movelh_ps(low, high);
}

// 1 - w^2 / (w + a*d) for the two lower samples, evaluated in double from the float d
// and, when kNearest is false, given the sign of sign, then rounded once; as in the AVX2
// kernel.
template <bool kNearest>
[[gnu::always_inline]] inline __m128 restFromDistance(__m128 d, __m128 sign, const BlockConstants& c)
{
    const __m128d denominator = _mm_add_pd(c.w, _mm_mul_pd(c.a, _mm_cvtps_pd(d)));
    const __m128d rest = _mm_sub_pd(c.one, _mm_div_pd(c.wSquared, denominator));
    if constexpr (kNearest) {
        return _mm_cvtpd_ps(rest);
    } else {
        return _mm_cvtpd_ps(_mm_xor_pd(rest, _mm_cvtps_pd(sign)));
    }
}

// The curve's branch above the knee for every lane of v, where above is set; the caller
// keeps it only there. The other lanes divide by w, never by zero, as in the AVX2 kernel.
template <Form kForm>
[[gnu::always_inline]] inline __m128 curveAboveKnee(__m128 v, __m128 above, const BlockConstants& c)
{
    if constexpr (kForm == Form::flat) {
        const __m128 negative = _mm_castsi128_ps(_mm_srai_epi32(_mm_castps_si128(v), 31));
        return select(negative, c.flatNegative, c.flatPositive);
    } else {
        const __m128 d = _mm_and_ps(_mm_sub_ps(_mm_and_ps(v, c.magnitudeBits), c.knee), above);
        const __m128 sign = _mm_andnot_ps(c.magnitudeBits, v);
        constexpr bool kNearest = kForm == Form::dividedNearest;
        const __m128 shaped = _mm_movelh_ps(restFromDistance<kNearest>(d, sign, c),
                                            restFromDistance<kNearest>(upperPair(d), upperPair(sign), c));
        return kNearest ? _mm_or_ps(shaped, sign) : shaped;
    }
}

[[gnu::always_inline]] inline __m128 aboveKnee(__m128 v, const BlockConstants& c)
{
    return _mm_cmpgt_ps(_mm_and_ps(v, c.magnitudeBits), c.knee); // false for NaN, which passes
}

// out + y, rounded to float; when both are NaN the sum carries y's payload, as in the
// AVX2 kernel.
[[gnu::always_inline]] inline __m128 added(__m128 out, __m128 y)
{
    return select(_mm_cmpunord_ps(y, y), y, _mm_add_ps(out, y));
}

// y written over out, or added to it.
template <bool kAccumulating> [[gnu::always_inline]] inline void store(float* out, __m128 y)
{
    if constexpr (kAccumulating) {
        _mm_storeu_ps(out, added(_mm_loadu_ps(out), y));
    } else {
        _mm_storeu_ps(out, y);
    }
}

// The loop, four frames at a time.
struct Loops {
    static constexpr bool kQuietFirst = true;
    static constexpr std::int32_t kGroup = kWidth;

    // The groups at the start of the block that pass unchanged (no lane above the knee once
    // boosted and, where subnormal groups are boosted wide, no subnormal), boosted and
    // written; answers where it stopped: at the first that may not, or after the last.
    template <bool kAccumulating, SubnormalBoost kSubnormals>
    static std::int32_t runQuiet(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                 float* outRight, std::int32_t frames) noexcept
    {
        const std::int32_t whole = frames > 0 ? frames - frames % kWidth : 0;
        const BlockConstants c = constantsFor(curve);
        std::int32_t i = 0;
        for (; i < whole; i += kWidth) {
            const __m128 xLeft = _mm_loadu_ps(inLeft + i);
            const __m128 xRight = _mm_loadu_ps(inRight + i);
            if (kSubnormals == SubnormalBoost::wide && holdsSubnormal(xLeft, xRight, c)) {
                return i;
            }
            const __m128 left = _mm_mul_ps(xLeft, c.boost);
            const __m128 right = _mm_mul_ps(xRight, c.boost);
            if (_mm_movemask_ps(_mm_or_ps(aboveKnee(left, c), aboveKnee(right, c))) != 0) {
                return i;
            }
            store<kAccumulating>(outLeft + i, left);
            store<kAccumulating>(outRight + i, right);
        }
        return i;
    }

    // The block from frame first on, through the curve in form kForm.
    template <bool kAccumulating, Form kForm, SubnormalBoost kSubnormals>
    static std::int32_t run(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                            float* outRight, std::int32_t first, std::int32_t frames) noexcept
    {
        const std::int32_t whole = frames > 0 ? frames - frames % kWidth : 0;
        const BlockConstants c = constantsFor(curve);
        for (std::int32_t i = first; i < whole; i += kWidth) {
            const __m128 xLeft = _mm_loadu_ps(inLeft + i);
            const __m128 xRight = _mm_loadu_ps(inRight + i);
            __m128 left;
            __m128 right;
            if (kSubnormals == SubnormalBoost::wide && holdsSubnormal(xLeft, xRight, c)) [[unlikely]] {
                SOFT_KNEE_REPORT_WIDE_PRODUCT(i, kWidth);
                left = boostedInDouble(xLeft, c);
                right = boostedInDouble(xRight, c);
            } else {
                left = _mm_mul_ps(xLeft, c.boost);
                right = _mm_mul_ps(xRight, c.boost);
            }
            const __m128 leftAbove = aboveKnee(left, c);
            const __m128 rightAbove = aboveKnee(right, c);
            if (_mm_movemask_ps(_mm_or_ps(leftAbove, rightAbove)) != 0) {
                left = select(leftAbove, curveAboveKnee<kForm>(left, leftAbove, c), left);
                right = select(rightAbove, curveAboveKnee<kForm>(right, rightAbove, c), right);
            }
            store<kAccumulating>(outLeft + i, left);
            store<kAccumulating>(outRight + i, right);
        }
        return whole;
    }
};

} // namespace

std::int32_t softKneeReplacingSse2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                   float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept
{
    return runBlock<Loops, false>(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
}

std::int32_t softKneeAccumulatingSse2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                      float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept
{
    return runBlock<Loops, true>(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
}
