// The shaper's transfer curve and its block loops. Nothing here knows the host's
// record: the loops take plain channel buffers and a frame count.
//
// Every value kept between steps is a 32-bit float; only the curve's rational
// expression is evaluated in double and rounded once, which is what makes the
// output identical on every target.
#pragma once

#include <cstdint>

// The settings one block runs with, taken once at the start of the block.
struct SoftKnee {
    float boost; // gain applied before the knee test, 1..11
    float knee;  // threshold on the boosted magnitude, 0..1
    float w;     // headroom above the knee, 1 - knee rounded to float
    float a;     // slope at the knee, 1 - hardness rounded to float
    // A magnitude (a float, as its bit pattern) such that every normal float no larger,
    // times boost, rounds to a value at or below the knee in every rounding mode: a group of
    // inputs no larger than that, none of them subnormal, passes the curve unchanged once
    // boosted. Slightly below the largest such magnitude, so that it takes no division to
    // find; 0 (only zeros pass) where it would fall among the subnormals.
    std::uint32_t quietBound;
};

// Limits each parameter to its nominal range (boost 1..11, knee and hardness 0..1;
// NaN becomes the initial value) and derives w, a and the quiet bound. In-range values pass unchanged,
// so no parameter value can make the curve divide by zero or boost a sample to NaN.
SoftKnee makeSoftKnee(float boost, float knee, float hardness) noexcept;

// Shapes one boosted sample v.
// A magnitude at or below the knee (or NaN) passes unchanged; above it
// y = s * (1 - w^2 / (w + a*d)), with s the sign of v and d = |v| - knee.
inline float softKneeCurve(float v, float knee, float w, float a) noexcept
{
    const float m = v > 0.0f ? v : -v;
    if (!(m > knee)) {
        return v;
    }
    const double s = v > 0.0f ? 1.0 : -1.0;
    const float d = m - knee;
    // At slope zero the quotient is w exactly; taking it so keeps an infinite d from giving 0 * inf.
    if (a == 0.0f) {
        return static_cast<float>(s * (1.0 - static_cast<double>(w)));
    }
    const double wd = w;
    return static_cast<float>(s * (1.0 - wd * wd / (wd + static_cast<double>(a) * static_cast<double>(d))));
}

// [audio thread] no allocation, no locks. Writes the shaped samples over the outputs.
// An output may be the same memory as an input, and the two inputs may be one buffer.
// Touches nothing when frames is zero or negative, and nothing at or beyond frames.
void softKneeReplacing(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                       float* outRight, std::int32_t frames) noexcept;

// [audio thread] As softKneeReplacing, but adds the shaped samples to what the outputs hold.
void softKneeAccumulating(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                          float* outRight, std::int32_t frames) noexcept;
