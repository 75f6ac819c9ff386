// The AVX2 kernel: eight samples of each channel per step, the curve's quotient in
// double, four lanes to a division.
//
// This file alone is built with -mavx2 -mfma and runs only where the processor has both. It
// calls no inline function of another file: the linker may keep any one copy of such a
// function for the whole module, and this file's copy would carry AVX instructions.

#include "kernel_block_forms.h"
#include "soft_knee_kernels.h"

#include <immintrin.h>

namespace {

constexpr std::int32_t kWidth = 8;

// Whether blocks are taken two groups at a time (Loops below). 32-bit code has eight
// vector registers, too few to hold a pair without spilling in its quiet path, which then
// measured 1.4 times slower below the knee; it takes one group at a time.
constexpr bool kPairs = sizeof(void*) == 8;

// The block's settings spread over the lanes, taken once per block; kernel_block_forms.h
// says what each field must equal in the reference curve.
struct BlockConstants {
    __m256 boost;
    __m256d boostWide;
    __m256 knee;
    __m256i quietBound;
    __m256 magnitudeBits;
    __m256d one;
    __m256d w;
    __m256d wSquared;
    __m256d a;
    __m256 flatPositive;
    __m256 flatNegative;
};

[[gnu::always_inline]] inline BlockConstants constantsFor(const SoftKnee& curve)
{
    const double w = curve.w;
    BlockConstants c;
    c.boost = _mm256_set1_ps(curve.boost);
    c.boostWide = _mm256_set1_pd(curve.boost);
    c.knee = _mm256_set1_ps(curve.knee);
    c.quietBound = _mm256_set1_epi32(static_cast<int>(curve.quietBound));
    c.magnitudeBits = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    c.one = _mm256_set1_pd(1.0);
    c.w = _mm256_set1_pd(w);
    c.wSquared = _mm256_set1_pd(w * w);
    c.a = _mm256_set1_pd(curve.a);
    c.flatPositive = _mm256_set1_ps(static_cast<float>(1.0 * (1.0 - w)));
    c.flatNegative = _mm256_set1_ps(static_cast<float>(-1.0 * (1.0 - w)));
    return c;
}

[[gnu::always_inline]] inline __m128 lowHalf(__m256 x)
{
    return _mm256_castps256_ps128(x);
}

[[gnu::always_inline]] inline __m128 highHalf(__m256 x)
{
    return _mm256_extractf128_ps(x, 1);
}

// The lanes of a pair of input groups that hold a subnormal, and those that may come out
// above the knee once boosted (|x| above the block's quiet bound, NaN and infinity
// included), as the sign bits of two masks. Adding 0x7f800000 to a magnitude's bits moves
// exactly the subnormals' patterns, 1 to 0x7fffff, above 0x7f800000 (as signed integers,
// with normal numbers and NaNs wrapping negative), so zeros, the sound of silence, stay on
// the fast path; the bits of magnitudes order as their values, so the larger of two
// answers for both.
struct GroupMagnitudes {
    __m256i left;
    __m256i right;
};

[[gnu::always_inline]] inline GroupMagnitudes magnitudesOf(__m256 left, __m256 right, const BlockConstants& c)
{
    return {_mm256_castps_si256(_mm256_and_ps(left, c.magnitudeBits)),
            _mm256_castps_si256(_mm256_and_ps(right, c.magnitudeBits))};
}

[[gnu::always_inline]] inline __m256i subnormalLanes(const GroupMagnitudes& m)
{
    const __m256i shift = _mm256_set1_epi32(0x7f800000);
    return _mm256_cmpgt_epi32(_mm256_max_epi32(_mm256_add_epi32(m.left, shift), _mm256_add_epi32(m.right, shift)),
                              shift);
}

[[gnu::always_inline]] inline __m256i loudLanes(const GroupMagnitudes& m, const BlockConstants& c)
{
    return _mm256_cmpgt_epi32(_mm256_max_epi32(m.left, m.right), c.quietBound);
}

// Whether a mask of compare results selects no lane. One vmovmskps, where vptest takes two
// operations on AMD's cores.
[[gnu::always_inline]] inline bool none(__m256i mask)
{
    return _mm256_movemask_ps(_mm256_castsi256_ps(mask)) == 0;
}

// The test of one group, or of a pair of groups at once: the lanes holding a subnormal
// (none unless subnormal groups are boosted wide) and those that may come out above the
// knee. A group or pair with neither passes the curve unchanged.
struct Tests {
    __m256i subnormal;
    __m256i loud;

    bool quiet() const { return none(_mm256_or_si256(subnormal, loud)); }
};

template <SubnormalBoost kSubnormals>
[[gnu::always_inline]] inline Tests groupTests(const GroupMagnitudes& m, const BlockConstants& c)
{
    return {kSubnormals == SubnormalBoost::wide ? subnormalLanes(m) : _mm256_setzero_si256(), loudLanes(m, c)};
}

template <SubnormalBoost kSubnormals>
[[gnu::always_inline]] inline Tests pairTests(const GroupMagnitudes& m, const GroupMagnitudes& next,
                                              const BlockConstants& c)
{
    return {kSubnormals == SubnormalBoost::wide ? _mm256_or_si256(subnormalLanes(m), subnormalLanes(next))
                                                : _mm256_setzero_si256(),
            loudLanes({_mm256_max_epi32(m.left, next.left), _mm256_max_epi32(m.right, next.right)}, c)};
}

// x * boost, rounded to float, for a group that holds a subnormal. A subnormal factor
// sends the float multiplier into a microcode assist some sixty times slower than the
// product itself; in double the product of two floats is exact, and rounding it once
// gives the float product's bits, NaN payloads included.
[[gnu::always_inline]] inline __m256 boostedInDouble(const float* x, const BlockConstants& c)
{
    // Converting straight from memory spares the shuffle port, which the conversions load.
    const __m128 low = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(x)), c.boostWide));
    const __m128 high = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + 4)), c.boostWide));
    return _mm256_set_m128(high, low);
}

// A boosted group: the value v, its magnitude and its sign bit.
struct Boosted {
    __m256 v;
    __m256 magnitude;
    __m256 sign;
};

// x * boost for a group without subnormals. To nearest, |x| * boost is |x * boost|, and
// |x| is at hand from the group tests, so the magnitude takes no mask of its own.
template <Form kForm>
[[gnu::always_inline]] inline Boosted boostedInFloat(__m256 x, __m256i xMagnitude, const BlockConstants& c)
{
    const __m256 v = _mm256_mul_ps(x, c.boost);
    const __m256 magnitude = kForm == Form::dividedNearest ? _mm256_mul_ps(_mm256_castsi256_ps(xMagnitude), c.boost)
                                                           : _mm256_and_ps(v, c.magnitudeBits);
    return {v, magnitude, _mm256_andnot_ps(c.magnitudeBits, x)};
}

// A boosted group taken apart, for a group boosted in double.
[[gnu::always_inline]] inline Boosted split(__m256 v, const BlockConstants& c)
{
    return {v, _mm256_and_ps(v, c.magnitudeBits), _mm256_andnot_ps(c.magnitudeBits, v)};
}

// A group on its way through the curve's divided forms, up to the division: the
// denominators w + a*d of its low and high four lanes, and what the result is put
// together from once they are divided. Splitting the curve here lets a loop start the
// next group's work before this group's quotients arrive.
struct Halfway {
    __m256d low;
    __m256d high;
    __m256 passed; // what the lanes at or below the knee yield: |v| to nearest, else v
    __m256 sign;   // v's sign bits
    __m256 pick;   // the sign bit set in the lanes above the knee
};

// Every lane goes through the division; those at or below the knee take d = 0 and divide
// by w, never by zero (the divided forms need w > 0), so they raise no exception flag that
// the reference would not, since some hosts unmask them. The caller keeps the quotient
// only above the knee. a*d is exact in double, so the fused multiply-add rounds as the
// reference's sum does.
template <Form kForm> [[gnu::always_inline]] inline Halfway towardDivision(const Boosted& b, const BlockConstants& c)
{
    if constexpr (kForm == Form::dividedNearest) {
        // To nearest, knee - |v| is negative exactly where |v| > knee: equal values give +0,
        // and a NaN keeps |v|'s clear sign bit. (A knee of -0 does take the branch for a
        // zero, whose w is then 1 and whose branch gives 0 there, the same value.) It is -d
        // above the knee, and the minimum with zero turns every other lane, NaN included,
        // into 0.
        const __m256 shortfall = _mm256_sub_ps(c.knee, b.magnitude);
        const __m256 negativeD = _mm256_min_ps(shortfall, _mm256_setzero_ps());
        return {_mm256_fnmadd_pd(c.a, _mm256_cvtps_pd(lowHalf(negativeD)), c.w),
                _mm256_fnmadd_pd(c.a, _mm256_cvtps_pd(highHalf(negativeD)), c.w), b.magnitude, b.sign, shortfall};
    } else {
        // In the directed modes x - x is -0 when rounding down, so the test is a compare.
        const __m256 above = _mm256_cmp_ps(b.magnitude, c.knee, _CMP_GT_OQ);
        const __m256 d = _mm256_and_ps(_mm256_sub_ps(b.magnitude, c.knee), above);
        return {_mm256_fmadd_pd(c.a, _mm256_cvtps_pd(lowHalf(d)), c.w),
                _mm256_fmadd_pd(c.a, _mm256_cvtps_pd(highHalf(d)), c.w), b.v, b.sign, above};
    }
}

// 1 - w^2 / denominator for four samples in double and, when kNearest is false, given the
// sign of sign (each sample's sign bit on a zero: the bracket is never negative, so
// multiplying it by s is flipping its sign), then rounded once to float.
template <bool kNearest>
[[gnu::always_inline]] inline __m128 restOver(__m256d denominator, __m128 sign, const BlockConstants& c)
{
    const __m256d rest = _mm256_sub_pd(c.one, _mm256_div_pd(c.wSquared, denominator));
    if constexpr (kNearest) {
        return _mm256_cvtpd_ps(rest);
    } else {
        return _mm256_cvtpd_ps(_mm256_xor_pd(rest, _mm256_cvtps_pd(sign)));
    }
}

// The curve for every lane of a halfway group. To nearest, rounding is symmetric, so the
// sign goes on last, after the choice between |v| and the branch's magnitude; in the
// other modes it goes on in double, before the rounding to float.
template <Form kForm> [[gnu::always_inline]] inline __m256 afterDivision(const Halfway& h, const BlockConstants& c)
{
    constexpr bool kNearest = kForm == Form::dividedNearest;
    const __m256 branch =
        _mm256_set_m128(restOver<kNearest>(h.high, highHalf(h.sign), c), restOver<kNearest>(h.low, lowHalf(h.sign), c));
    const __m256 chosen = _mm256_blendv_ps(h.passed, branch, h.pick);
    return kNearest ? _mm256_or_ps(chosen, h.sign) : chosen;
}

// The curve for every lane: the branch above the knee where |v| > knee, v itself elsewhere
// (NaN included).
template <Form kForm> [[gnu::always_inline]] inline __m256 shaped(const Boosted& b, const BlockConstants& c)
{
    if constexpr (kForm == Form::flat) {
        const __m256 above = _mm256_cmp_ps(b.magnitude, c.knee, _CMP_GT_OQ);
        return _mm256_blendv_ps(b.v, _mm256_blendv_ps(c.flatPositive, c.flatNegative, b.sign), above);
    } else {
        return afterDivision<kForm>(towardDivision<kForm>(b, c), c);
    }
}

// out + y, rounded to float. When both are NaN the sum carries y's payload, as the
// reference's scalar addition does; the vector addition alone would leave that choice to
// the compiler's operand order. A NaN y is already quiet, being a boosted input.
[[gnu::always_inline]] inline __m256 added(__m256 out, __m256 y)
{
    return _mm256_blendv_ps(_mm256_add_ps(out, y), y, _mm256_cmp_ps(y, y, _CMP_UNORD_Q));
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

// In 64-bit code the block is taken two groups at a time, with one test for all sixteen
// frames of both channels. When that finds a loud lane without subnormals, both groups go
// through the curve with their four divisions started before either group is finished,
// so the divider has the second group's work queued while the first one's results are put
// together. Pairs that hold a subnormal, a last single group, and every group in 32-bit
// code go through one group at a time. All inputs of a pair are read before any output of
// it is written, and at each index the left output before the right one, so every
// aliasing the reference allows gives its result. A group wholly at or below the knee
// divides nothing.
struct Loops {
    struct Pointers {
        const float* inLeft;
        const float* inRight;
        float* outLeft;
        float* outRight;
    };

    template <bool kAccumulating, Form kForm, SubnormalBoost kSubnormals>
    [[gnu::always_inline]] static void oneGroup(const Pointers& p, std::int32_t i, const BlockConstants& c)
    {
        const __m256 xLeft = _mm256_loadu_ps(p.inLeft + i);
        const __m256 xRight = _mm256_loadu_ps(p.inRight + i);
        const GroupMagnitudes magnitudes = magnitudesOf(xLeft, xRight, c);
        const Tests tests = groupTests<kSubnormals>(magnitudes, c);
        if (tests.quiet()) [[likely]] {
            store<kAccumulating>(p.outLeft + i, _mm256_mul_ps(xLeft, c.boost));
            store<kAccumulating>(p.outRight + i, _mm256_mul_ps(xRight, c.boost));
            return;
        }
        // The rarer cases are told apart in integer registers, which spares the vector pipes.
        const int loudLanesFound = _mm256_movemask_ps(_mm256_castsi256_ps(tests.loud));
        if (_mm256_movemask_ps(_mm256_castsi256_ps(tests.subnormal)) != 0) [[unlikely]] {
            SOFT_KNEE_REPORT_WIDE_PRODUCT(i, kWidth);
            __m256 left = boostedInDouble(p.inLeft + i, c);
            __m256 right = boostedInDouble(p.inRight + i, c);
            if (loudLanesFound != 0) {
                left = shaped<kForm>(split(left, c), c);
                right = shaped<kForm>(split(right, c), c);
            }
            store<kAccumulating>(p.outLeft + i, left);
            store<kAccumulating>(p.outRight + i, right);
            return;
        }
        store<kAccumulating>(p.outLeft + i, shaped<kForm>(boostedInFloat<kForm>(xLeft, magnitudes.left, c), c));
        store<kAccumulating>(p.outRight + i, shaped<kForm>(boostedInFloat<kForm>(xRight, magnitudes.right, c), c));
    }

    // Blocks start in the loop below, not in a loop of quiet pairs first: that loop's extra
    // test and setup measured 2 % on loud blocks (random) here, the ratio nearest its
    // limit, for 18 % off quiet ones.
    static constexpr bool kQuietFirst = false;

    // The block from frame first on, through the curve in form kForm.
    template <bool kAccumulating, Form kForm, SubnormalBoost kSubnormals>
    static std::int32_t run(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                            float* outRight, std::int32_t first, std::int32_t frames) noexcept
    {
        const std::int32_t whole = frames > 0 ? frames - frames % kWidth : 0;
        const BlockConstants c = constantsFor(curve);
        const Pointers p{inLeft, inRight, outLeft, outRight};
        std::int32_t i = first;
        // whole - i, never i + 2 * kWidth, which would overflow for a block within a pair of INT32_MAX.
        for (; kPairs && whole - i >= 2 * kWidth; i += 2 * kWidth) {
            const __m256 xLeft = _mm256_loadu_ps(inLeft + i);
            const __m256 xRight = _mm256_loadu_ps(inRight + i);
            const __m256 xNextLeft = _mm256_loadu_ps(inLeft + i + kWidth);
            const __m256 xNextRight = _mm256_loadu_ps(inRight + i + kWidth);
            const GroupMagnitudes magnitudes = magnitudesOf(xLeft, xRight, c);
            const GroupMagnitudes nextMagnitudes = magnitudesOf(xNextLeft, xNextRight, c);
            const Tests tests = pairTests<kSubnormals>(magnitudes, nextMagnitudes, c);
            // No likelihood given: laid out as the likely case this made loud pairs about 4 %
            // slower and quiet ones 10 % faster, and loud pairs are nearer their budget.
            if (tests.quiet()) {
                store<kAccumulating>(outLeft + i, _mm256_mul_ps(xLeft, c.boost));
                store<kAccumulating>(outRight + i, _mm256_mul_ps(xRight, c.boost));
                store<kAccumulating>(outLeft + i + kWidth, _mm256_mul_ps(xNextLeft, c.boost));
                store<kAccumulating>(outRight + i + kWidth, _mm256_mul_ps(xNextRight, c.boost));
                continue;
            }
            if (_mm256_movemask_ps(_mm256_castsi256_ps(tests.subnormal)) != 0) [[unlikely]] {
                oneGroup<kAccumulating, kForm, kSubnormals>(p, i, c);
                oneGroup<kAccumulating, kForm, kSubnormals>(p, i + kWidth, c);
                continue;
            }
            const Boosted left = boostedInFloat<kForm>(xLeft, magnitudes.left, c);
            const Boosted right = boostedInFloat<kForm>(xRight, magnitudes.right, c);
            const Boosted nextLeft = boostedInFloat<kForm>(xNextLeft, nextMagnitudes.left, c);
            const Boosted nextRight = boostedInFloat<kForm>(xNextRight, nextMagnitudes.right, c);
            if constexpr (kForm == Form::flat) {
                store<kAccumulating>(outLeft + i, shaped<kForm>(left, c));
                store<kAccumulating>(outRight + i, shaped<kForm>(right, c));
                store<kAccumulating>(outLeft + i + kWidth, shaped<kForm>(nextLeft, c));
                store<kAccumulating>(outRight + i + kWidth, shaped<kForm>(nextRight, c));
            } else {
                const Halfway halfLeft = towardDivision<kForm>(left, c);
                const Halfway halfRight = towardDivision<kForm>(right, c);
                const Halfway halfNextLeft = towardDivision<kForm>(nextLeft, c);
                const Halfway halfNextRight = towardDivision<kForm>(nextRight, c);
                store<kAccumulating>(outLeft + i, afterDivision<kForm>(halfLeft, c));
                store<kAccumulating>(outRight + i, afterDivision<kForm>(halfRight, c));
                store<kAccumulating>(outLeft + i + kWidth, afterDivision<kForm>(halfNextLeft, c));
                store<kAccumulating>(outRight + i + kWidth, afterDivision<kForm>(halfNextRight, c));
            }
        }
        // After pairs at most one group is left; written as a loop there too, the pair loop
        // measured 1 % slower on loud signals.
        if constexpr (kPairs) {
            if (i < whole) {
                oneGroup<kAccumulating, kForm, kSubnormals>(p, i, c);
            }
        } else {
            for (; i < whole; i += kWidth) {
                oneGroup<kAccumulating, kForm, kSubnormals>(p, i, c);
            }
        }
        return whole;
    }
};

} // namespace

std::int32_t softKneeReplacingAvx2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                   float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept
{
    return runBlock<Loops, false>(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
}

std::int32_t softKneeAccumulatingAvx2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                      float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept
{
    return runBlock<Loops, true>(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
}
