// What every vector kernel's file shares: the forms of the curve a block can take, and how
// its settings, the floating-point mode and the way subnormals are boosted pick one loop.
//
// Included by the kernels' files only. Everything here has internal linkage, so each file
// keeps its own copy, compiled with that file's instruction set, which no other file can
// be handed by the linker.
#pragma once

#include "soft_knee_kernels.h"

#include <xmmintrin.h>

#include <cstdint>

// The block constants. Each kernel takes the block's settings once into a BlockConstants of
// its own register width, every lane of a field holding the same value, and names the
// fields alike. Each field equals what the reference, softKneeCurve in soft_knee.h, forms
// for every sample, which is why a kernel's lanes give the reference's bits:
//   boost          curve.boost, the factor of the reference's float product v = x * boost.
//   boostWide      curve.boost in double. x * boost in double is exact (two 24-bit
//                  significands), so rounding it once to float gives the float product's
//                  bits, in every rounding mode, infinities and NaN payloads included.
//   knee           curve.knee, compared as the reference compares: |v| > knee is above.
//   quietBound     curve.quietBound, as bits: a lane with |x| no larger, and no subnormal,
//                  passes the curve unchanged once boosted, so the test takes no product.
//   magnitudeBits  every bit but the sign. v & magnitudeBits is the reference's m for every
//                  v but NaN, whose m differs only in its sign bit and fails m > knee either way.
//   signBit        (AVX-512) the sign bit alone, the reference's s as a bit.
//   one            1.0, the reference's 1.0 in 1 - w^2 / (w + a*d).
//   w              curve.w in double, the reference's wd.
//   wSquared       w * w in double: exact, since a float's square fits in a double's
//                  significand, so the very value of the reference's wd * wd.
//   a              curve.a in double, the reference's static_cast<double>(a).
//   flatPositive   float(+1.0 * (1.0 - w)), the reference's a == 0 branch for s = +1, in
//                  the block's rounding mode; also the curve wherever w == 0, whose
//                  quotient 0 / (a*d) is 0 for every d > 0.
//   flatNegative   float(-1.0 * (1.0 - w)), the same for s = -1.
//   oneNarrow      (AVX-512) 1.0f, the d of the lanes at or below the knee, which thus
//                  divide by w + a, never by zero, and are not kept.
//   boostSpan, magnitudeBitsSpan, quietBoundSpan
//                  (AVX-512) boost, magnitudeBits and quietBound sixteen lanes wide, for
//                  the test of a span of sixteen frames.
// The divided forms run only where w > 0 and a > 0 (runInForm below), so no lane's
// denominator w + a*d can be zero.

namespace {

// How a block shapes the lanes above the knee: by one value (a == 0, or w == 0 where the
// quotient is 0), or by division with the sign put on after the rounding to float (in
// rounding to nearest, which is symmetric) or before it (in the other modes).
enum class Form { flat, dividedNearest, divided };

// Runs Loops::run<kAccumulating, form, kSubnormals> over the block from frame first on,
// the form taken from the curve and from the rounding mode. Loops is a kernel's set of
// block loops.
template <class Loops, bool kAccumulating, SubnormalBoost kSubnormals>
std::int32_t runInForm(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                       float* outRight, std::int32_t first, std::int32_t frames) noexcept
{
    constexpr unsigned int kRoundingBits = 0x6000u;
    if (curve.a == 0.0f || curve.w == 0.0f) {
        return Loops::template run<kAccumulating, Form::flat, kSubnormals>(curve, inLeft, inRight, outLeft, outRight,
                                                                           first, frames);
    }
    if ((_mm_getcsr() & kRoundingBits) == 0) {
        return Loops::template run<kAccumulating, Form::dividedNearest, kSubnormals>(curve, inLeft, inRight, outLeft,
                                                                                     outRight, first, frames);
    }
    return Loops::template run<kAccumulating, Form::divided, kSubnormals>(curve, inLeft, inRight, outLeft, outRight,
                                                                          first, frames);
}

// Runs runInForm over the block. Where the kernel takes quiet groups first
// (Loops::kQuietFirst), Loops::runQuiet runs first over the groups at the start of the
// block that pass the curve unchanged, which are the same in every form, and runInForm
// from the first that may not: a block below the knee so reads neither the floating-point
// mode nor more of the curve than its quiet test needs (in 32-bit code the rest would be
// set up on the stack), at the cost of one more test and setup for a loud block.
template <class Loops, bool kAccumulating, SubnormalBoost kSubnormals>
std::int32_t runQuietFirst(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                           float* outRight, std::int32_t frames) noexcept
{
    // A copy the outputs cannot alias, so that both loops' constants can be set up once.
    const SoftKnee settings = curve;
    std::int32_t quiet = 0;
    if constexpr (Loops::kQuietFirst) {
        quiet =
            Loops::template runQuiet<kAccumulating, kSubnormals>(settings, inLeft, inRight, outLeft, outRight, frames);
        if (frames - quiet < Loops::kGroup) {
            return quiet;
        }
    }
    return runInForm<Loops, kAccumulating, kSubnormals>(settings, inLeft, inRight, outLeft, outRight, quiet, frames);
}

// As runQuietFirst, with the way subnormal groups are boosted chosen by the caller.
template <class Loops, bool kAccumulating>
std::int32_t runBlock(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                      std::int32_t frames, SubnormalBoost subnormals) noexcept
{
    if (subnormals == SubnormalBoost::narrow) {
        return runQuietFirst<Loops, kAccumulating, SubnormalBoost::narrow>(curve, inLeft, inRight, outLeft, outRight,
                                                                           frames);
    }
    return runQuietFirst<Loops, kAccumulating, SubnormalBoost::wide>(curve, inLeft, inRight, outLeft, outRight, frames);
}

} // namespace
