// The AVX-512 kernel: sixteen frames tested at once, sixteen lanes to a register, and a
// group of eight samples of each channel per step of the curve, their quotients in one
// register of eight doubles, one division each, lanes chosen by mask registers instead of
// blends.
//
// This file alone is built with AVX-512 (F, VL, DQ) and runs only where the processor and
// the operating system have it. It calls no inline function of another file: the linker
// may keep any one copy of such a function for the whole module, and this file's copy
// would carry AVX-512 instructions.

#include "kernel_block_forms.h"
#include "soft_knee_kernels.h"

#include <immintrin.h>

namespace {

constexpr std::int32_t kWidth = 8;         // frames of a group, the curve's step
constexpr std::int32_t kSpan = 2 * kWidth; // frames tested at once

// vpternlogd: b | (a & c), which puts a's sign (c the sign bit) on a magnitude b.
constexpr int kSignOnMagnitude = 0xec;

// vfpclassps: the class of subnormal numbers, either sign.
constexpr int kSubnormalClass = 0x20;

// The block's settings spread over the lanes, taken once per block; kernel_block_forms.h
// says what each field must equal in the reference curve.
struct BlockConstants {
    __m256 boost;
    __m512d boostWide;
    __m256 knee;
    __m256i quietBound;
    __m256 magnitudeBits;
    __m256 signBit;
    __m512d one;
    __m512d w;
    __m512d wSquared;
    __m512d a;
    __m256 flatPositive;
    __m256 flatNegative;
    __m256 oneNarrow;
    __m512 boostSpan;
    __m512i magnitudeBitsSpan;
    __m512i quietBoundSpan;
};

[[gnu::always_inline]] inline BlockConstants constantsFor(const SoftKnee& curve)
{
    const double w = curve.w;
    const int quietBound = static_cast<int>(curve.quietBound);
    BlockConstants c;
    c.boost = _mm256_set1_ps(curve.boost);
    c.boostWide = _mm512_set1_pd(curve.boost);
    c.knee = _mm256_set1_ps(curve.knee);
    c.magnitudeBits = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    c.quietBound = _mm256_set1_epi32(quietBound);
    c.signBit = _mm256_castsi256_ps(_mm256_set1_epi32(static_cast<int>(0x80000000u)));
    c.one = _mm512_set1_pd(1.0);
    c.w = _mm512_set1_pd(w);
    c.wSquared = _mm512_set1_pd(w * w);
    c.a = _mm512_set1_pd(curve.a);
    c.flatPositive = _mm256_set1_ps(static_cast<float>(1.0 * (1.0 - w)));
    c.flatNegative = _mm256_set1_ps(static_cast<float>(-1.0 * (1.0 - w)));
    c.oneNarrow = _mm256_set1_ps(1.0f);
    c.boostSpan = _mm512_set1_ps(curve.boost);
    c.magnitudeBitsSpan = _mm512_set1_epi32(0x7fffffff);
    c.quietBoundSpan = _mm512_set1_epi32(quietBound);
    return c;
}

// The lanes of a pair of input groups that hold a subnormal (not zeros: silence stays on
// the quiet path), by the processor's class test: three operations for both groups where
// an integer range test on the magnitudes takes four. Only wide boosting looks for them,
// which runs where subnormal products are slow, on Intel's cores; Zen 4, where the class
// test is slower than the integer one, boosts narrow.
[[gnu::always_inline]] inline __mmask8 subnormalLanes(__m256 left, __m256 right)
{
    return _kor_mask8(_mm256_fpclass_ps_mask(left, kSubnormalClass), _mm256_fpclass_ps_mask(right, kSubnormalClass));
}

// Whether a pair of input groups passes the curve unchanged once boosted: no |x| above the
// block's quiet bound (NaN and infinity are above it) and, where subnormal groups are
// boosted wide, no subnormal. The bits of magnitudes order as their values, so the larger
// of two answers for both channels. The masks are tested where they are made, in mask
// registers, so the quiet path moves nothing to general registers.
template <SubnormalBoost kSubnormals>
[[gnu::always_inline]] inline bool quiet(__m256 left, __m256 right, const BlockConstants& c)
{
    const __m256i leftMagnitude = _mm256_castps_si256(_mm256_and_ps(left, c.magnitudeBits));
    const __m256i rightMagnitude = _mm256_castps_si256(_mm256_and_ps(right, c.magnitudeBits));
    const __mmask8 loud = _mm256_cmpgt_epi32_mask(_mm256_max_epi32(leftMagnitude, rightMagnitude), c.quietBound);
    const __mmask8 subnormal = kSubnormals == SubnormalBoost::wide ? subnormalLanes(left, right) : 0;
    return _kortestz_mask8_u8(subnormal, loud) != 0;
}

// The same tests for a span of two groups, sixteen lanes a channel: the lanes holding a
// subnormal (none unless subnormal groups are boosted wide) and those above the quiet bound.
struct SpanTests {
    __mmask16 subnormal;
    __mmask16 loud;
};

template <SubnormalBoost kSubnormals>
[[gnu::always_inline]] inline SpanTests spanTests(__m512 left, __m512 right, const BlockConstants& c)
{
    const __m512i leftMagnitude = _mm512_and_si512(_mm512_castps_si512(left), c.magnitudeBitsSpan);
    const __m512i rightMagnitude = _mm512_and_si512(_mm512_castps_si512(right), c.magnitudeBitsSpan);
    const __mmask16 loud = _mm512_cmpgt_epi32_mask(_mm512_max_epi32(leftMagnitude, rightMagnitude), c.quietBoundSpan);
    const __mmask16 subnormal =
        kSubnormals == SubnormalBoost::wide
            ? _kor_mask16(_mm512_fpclass_ps_mask(left, kSubnormalClass), _mm512_fpclass_ps_mask(right, kSubnormalClass))
            : 0;
    return {subnormal, loud};
}

// x * boost, rounded to float, for a group that holds a subnormal. A subnormal factor
// sends the float multiplier into a slow microcode assist; in double the product of two
// floats is exact, and rounding it once gives the float product's bits, NaN payloads
// included.
[[gnu::always_inline]] inline __m256 boostedInDouble(__m256 x, const BlockConstants& c)
{
    return _mm512_cvtpd_ps(_mm512_mul_pd(_mm512_cvtps_pd(x), c.boostWide));
}

// The curve for the lanes of v in above, divided as the reference divides; v elsewhere.
// Lanes outside above divide by w + a, never by zero (the divided forms need w > 0 and
// a > 0). To nearest, rounding is symmetric and the sign goes on after the rounding to
// float; in the other modes it goes on in double, before it.
template <bool kNearest>
[[gnu::always_inline]] inline __m256 dividedShape(__m256 v, __mmask8 above, const BlockConstants& c)
{
    const __m256 d = _mm256_mask_sub_ps(c.oneNarrow, above, _mm256_and_ps(v, c.magnitudeBits), c.knee);
    const __m512d denominator = _mm512_fmadd_pd(c.a, _mm512_cvtps_pd(d), c.w);
    const __m512d rest = _mm512_sub_pd(c.one, _mm512_div_pd(c.wSquared, denominator));
    if constexpr (kNearest) {
        const __m256i magnitude = _mm256_castps_si256(_mm512_cvtpd_ps(rest));
        return _mm256_castsi256_ps(_mm256_mask_ternarylogic_epi32(_mm256_castps_si256(v), above, magnitude,
                                                                  _mm256_castps_si256(c.signBit), kSignOnMagnitude));
    } else {
        const __m512d sign = _mm512_cvtps_pd(_mm256_and_ps(v, c.signBit));
        return _mm256_mask_mov_ps(v, above, _mm512_cvtpd_ps(_mm512_xor_pd(rest, sign)));
    }
}

// The flat curve for the lanes of v in above: s * (1 - w), which is also the curve when
// w == 0, where the quotient is 0 / (a*d) = 0 for every d > 0.
[[gnu::always_inline]] inline __m256 flatShape(__m256 v, __mmask8 above, const BlockConstants& c)
{
    return _mm256_mask_mov_ps(v, above, _mm256_blendv_ps(c.flatPositive, c.flatNegative, v));
}

// out + y, rounded to float. When both are NaN the sum carries y's payload, as the
// reference's scalar addition does; the vector addition alone would leave that choice to
// the compiler's operand order. A NaN y is already quiet, being a boosted input.
[[gnu::always_inline]] inline __m256 added(__m256 out, __m256 y)
{
    return _mm256_mask_mov_ps(_mm256_add_ps(out, y), _mm256_cmp_ps_mask(y, y, _CMP_UNORD_Q), y);
}

// y written over out, or added to it.
template <bool kAccumulating> [[gnu::always_inline]] inline void store(float* out, __m256 y)
{
    if constexpr (kAccumulating) {
        _mm256_storeu_ps(out, added(_mm256_loadu_ps(out), y));
    } else {
        _mm256_storeu_ps(out, y);
    }
}

// The same for a span's sixteen samples of one channel.
template <bool kAccumulating> [[gnu::always_inline]] inline void store(float* out, __m512 y)
{
    if constexpr (kAccumulating) {
        const __m512 sum = _mm512_add_ps(_mm512_loadu_ps(out), y);
        _mm512_storeu_ps(out, _mm512_mask_mov_ps(sum, _mm512_cmp_ps_mask(y, y, _CMP_UNORD_Q), y));
    } else {
        _mm512_storeu_ps(out, y);
    }
}

// Blocks are taken a span of sixteen frames at a time, tested with one register of each
// channel; a span that may reach above the knee, or holds a subnormal to be boosted wide,
// goes through the curve a group at a time, and so does a last group of eight. Both
// inputs of a group are read before any output of it is written, and the left output
// before the right one, so every aliasing the reference allows gives its result (a quiet
// span reads all its inputs first too). A group wholly at or below the knee divides
// nothing.
struct Loops {
    static constexpr bool kQuietFirst = true;
    static constexpr std::int32_t kGroup = kWidth;

    // The spans at the start of the block that pass unchanged, boosted and written; answers
    // where it stopped: at the first span that may not, or after the last whole group.
    template <bool kAccumulating, SubnormalBoost kSubnormals>
    static std::int32_t runQuiet(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                 float* outRight, std::int32_t frames) noexcept
    {
        const std::int32_t whole = frames > 0 ? frames - frames % kWidth : 0;
        const BlockConstants c = constantsFor(curve);
        std::int32_t i = 0;
        // whole - i, never i + kSpan, which would overflow for a block within a span of INT32_MAX.
        for (; whole - i >= kSpan; i += kSpan) {
            const __m512 xLeft = _mm512_loadu_ps(inLeft + i);
            const __m512 xRight = _mm512_loadu_ps(inRight + i);
            const SpanTests tests = spanTests<kSubnormals>(xLeft, xRight, c);
            if (_kortestz_mask16_u8(tests.subnormal, tests.loud) == 0) {
                return i;
            }
            store<kAccumulating>(outLeft + i, _mm512_mul_ps(xLeft, c.boostSpan));
            store<kAccumulating>(outRight + i, _mm512_mul_ps(xRight, c.boostSpan));
        }
        if (i < whole) {
            const __m256 xLeft = _mm256_loadu_ps(inLeft + i);
            const __m256 xRight = _mm256_loadu_ps(inRight + i);
            if (!quiet<kSubnormals>(xLeft, xRight, c)) {
                return i;
            }
            store<kAccumulating>(outLeft + i, _mm256_mul_ps(xLeft, c.boost));
            store<kAccumulating>(outRight + i, _mm256_mul_ps(xRight, c.boost));
            i += kWidth;
        }
        return i;
    }

    // One group through the curve, whatever its test found; subnormal, its lanes holding a
    // subnormal where those are boosted wide.
    template <bool kAccumulating, Form kForm, SubnormalBoost kSubnormals>
    [[gnu::always_inline]] static void group(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                                             std::int32_t i, __mmask8 subnormal, const BlockConstants& c)
    {
        const __m256 xLeft = _mm256_loadu_ps(inLeft + i);
        const __m256 xRight = _mm256_loadu_ps(inRight + i);
        __m256 left;
        __m256 right;
        if (kSubnormals == SubnormalBoost::wide && _kortestz_mask8_u8(subnormal, subnormal) == 0) [[unlikely]] {
            SOFT_KNEE_REPORT_WIDE_PRODUCT(i, kWidth);
            left = boostedInDouble(xLeft, c);
            right = boostedInDouble(xRight, c);
        } else {
            left = _mm256_mul_ps(xLeft, c.boost);
            right = _mm256_mul_ps(xRight, c.boost);
        }
        // False for NaN, which passes unchanged.
        const __mmask8 leftAbove = _mm256_cmp_ps_mask(_mm256_and_ps(left, c.magnitudeBits), c.knee, _CMP_GT_OQ);
        const __mmask8 rightAbove = _mm256_cmp_ps_mask(_mm256_and_ps(right, c.magnitudeBits), c.knee, _CMP_GT_OQ);
        if (_kortestz_mask8_u8(leftAbove, rightAbove) == 0) {
            if constexpr (kForm != Form::flat) {
                left = dividedShape<kForm == Form::dividedNearest>(left, leftAbove, c);
                right = dividedShape<kForm == Form::dividedNearest>(right, rightAbove, c);
            } else {
                left = flatShape(left, leftAbove, c);
                right = flatShape(right, rightAbove, c);
            }
        }
        store<kAccumulating>(outLeft + i, left);
        store<kAccumulating>(outRight + i, right);
    }

    // The block from frame first on, through the curve in form kForm.
    template <bool kAccumulating, Form kForm, SubnormalBoost kSubnormals>
    static std::int32_t run(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                            float* outRight, std::int32_t first, std::int32_t frames) noexcept
    {
        const std::int32_t whole = frames > 0 ? frames - frames % kWidth : 0;
        const BlockConstants c = constantsFor(curve);
        std::int32_t i = first;
        for (; whole - i >= kSpan; i += kSpan) {
            const __m512 xLeft = _mm512_loadu_ps(inLeft + i);
            const __m512 xRight = _mm512_loadu_ps(inRight + i);
            const SpanTests tests = spanTests<kSubnormals>(xLeft, xRight, c);
            // Quiet spans laid out to take one branch, loud ones not treated as rare: as an
            // unlikely path theirs was left out of the loop's hoisting and reloaded its
            // constants every group.
            if (__builtin_expect_with_probability(_kortestz_mask16_u8(tests.subnormal, tests.loud) != 0, true, 0.6)) {
                store<kAccumulating>(outLeft + i, _mm512_mul_ps(xLeft, c.boostSpan));
                store<kAccumulating>(outRight + i, _mm512_mul_ps(xRight, c.boostSpan));
            } else {
                group<kAccumulating, kForm, kSubnormals>(inLeft, inRight, outLeft, outRight, i,
                                                         static_cast<__mmask8>(tests.subnormal), c);
                group<kAccumulating, kForm, kSubnormals>(inLeft, inRight, outLeft, outRight, i + kWidth,
                                                         static_cast<__mmask8>(_kshiftri_mask16(tests.subnormal, 8)),
                                                         c);
            }
        }
        if (i < whole) {
            const __m256 xLeft = _mm256_loadu_ps(inLeft + i);
            const __m256 xRight = _mm256_loadu_ps(inRight + i);
            if (quiet<kSubnormals>(xLeft, xRight, c)) {
                store<kAccumulating>(outLeft + i, _mm256_mul_ps(xLeft, c.boost));
                store<kAccumulating>(outRight + i, _mm256_mul_ps(xRight, c.boost));
            } else {
                const __mmask8 subnormal =
                    kSubnormals == SubnormalBoost::wide ? subnormalLanes(xLeft, xRight) : __mmask8{0};
                group<kAccumulating, kForm, kSubnormals>(inLeft, inRight, outLeft, outRight, i, subnormal, c);
            }
        }
        return whole;
    }
};

} // namespace

std::int32_t softKneeReplacingAvx512(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                     float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept
{
    return runBlock<Loops, false>(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
}

std::int32_t softKneeAccumulatingAvx512(const SoftKnee& curve, const float* inLeft, const float* inRight,
                                        float* outLeft, float* outRight, std::int32_t frames,
                                        SubnormalBoost subnormals) noexcept
{
    return runBlock<Loops, true>(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
}
