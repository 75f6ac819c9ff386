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
