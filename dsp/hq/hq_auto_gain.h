// The HQ core's auto gain: a gain that depends on Boost, Knee and Hardness alone, never on
// the signal, so that nothing pumps and the same settings always give the same gain.
//
// Law: a reference sine at -16 dBFS RMS, the level of a mix that peaks near -3 dBFS, keeps its RMS
// through the boost and the curve. The gain is sqrt(E_in / E_out), with E_in the energy of
// the sine's samples and E_out that of f(boost * sample), both summed over the same quarter
// period at kHqAutoGainPoints midpoints, so that the quadrature's error cancels where the
// curve is straight: below the knee the gain is 1 / boost to the last few bits.
//
// The sine's samples are made at compile time from + - * / alone, and the sums at run time
// from + - * / and the square root, which IEEE rounds exactly: the same bits on every target.
#pragma once

#include "hq_antiderivative.h"

#include <array>
#include <cmath>
#include <cstdint>

inline constexpr std::int32_t kHqAutoGainPoints = 64;
// The most the auto gain raises the shaped signal (+24 dB): a curve that gives almost nothing
// for the reference (Knee near 0 at Hardness 1) is not made up for without limit.
inline constexpr double kHqAutoGainMost = 16.0;

namespace hq_auto_gain {

// The reference sine's peak, 10^(-16 / 20) * sqrt 2.
inline constexpr double kReferencePeak = 0x1.cb08badca92e5p-3;
inline constexpr double kHalfPi = 0x1.921fb54442d18p+0;

// sin x for 0 <= x <= pi / 2 by its series to the x^27 term, far below a double's rounding.
constexpr double sineSeries(double x)
{
    double term = x;
    double sum = x;
    for (std::int32_t k = 1; k <= 13; ++k) {
        term = -term * x * x / static_cast<double>((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}

constexpr std::array<double, kHqAutoGainPoints> referenceQuarter()
{
    std::array<double, kHqAutoGainPoints> samples{};
    for (std::int32_t k = 0; k < kHqAutoGainPoints; ++k) {
        const double phase = kHalfPi * (static_cast<double>(k) + 0.5) / kHqAutoGainPoints;
        samples[static_cast<std::size_t>(k)] = kReferencePeak * sineSeries(phase);
    }
    return samples;
}

inline constexpr std::array<double, kHqAutoGainPoints> kReference = referenceQuarter();

} // namespace hq_auto_gain

// The gain for settings in the core's units (boost 1..11, knee and hardness 0..1).
inline double hqAutoGain(double boost, double knee, double hardness) noexcept
{
    const HqCurve curve = makeHqCurve(knee, hardness);
    double in = 0.0;
    double out = 0.0;
    for (const double x : hq_auto_gain::kReference) {
        const double y = hqCurveValue(boost * x, curve);
        in += x * x;
        out += y * y;
    }
    if (!(out * (kHqAutoGainMost * kHqAutoGainMost) > in)) {
        return kHqAutoGainMost;
    }
    return std::sqrt(in / out);
}
