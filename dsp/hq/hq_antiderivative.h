// The soft-knee curve through first-order antiderivative anti-aliasing (ADAA), in double.
//
// Contract: hqAdaa gives the mean of the curve f over the straight line from x0 to x1,
// (F(x1) - F(x0)) / (x1 - x0) with F the curve's antiderivative, to within about 1e-9 of
// the output's scale; where x0 and x1 are too close for that quotient to hold it gives the
// curve at their midpoint, and where both are at or below the knee, their midpoint exactly. Every vector form of these
// functions computes the same operations in the same order, so its lanes give these bits exactly.
//
// Design. The curve is odd, so F is even: F(v) = G(|v|) with
//   G(m) = m^2 / 2                                              m <= knee
//   G(m) = knee^2 / 2 + d - (w^2 / a) ln(1 + (a / w) d)          above, d = m - knee
// (at slope a = 0 the last term is w d). The logarithm is this file's own, built from
// + - * / and exact exponent splitting; it keeps its relative accuracy for small arguments,
// where w^2 / a is large as the hardness nears 1.
#pragma once

#include "hq_log_coefficients.h"

#include <bit>
#include <cstdint>

// The curve's settings for one base-rate frame, derived from the glided knee and hardness.
struct HqCurve {
    double knee;   // threshold on the boosted magnitude
    double w;      // 1 - knee; 0 when within 2^-30 of it
    double a;      // 1 - hardness, the slope at the knee; 0 when within 2^-30 of it
    double shapeA; // a, or 1 where w is 0, so that the curve's quotient never divides 0 by 0
    double g;      // a / w, 0 where w is 0
    double c;      // w^2 / a; unused at slope 0
    double atKnee; // G(knee) = knee^2 / 2
    bool flat;     // a == 0: above the knee the curve is the constant 1 - w
};

// Knee and hardness are taken as they are; the caller keeps them in 0..1.
inline HqCurve makeHqCurve(double knee, double hardness) noexcept
{
    constexpr double kSnap = 0x1p-30;
    HqCurve curve{};
    curve.knee = knee;
    curve.w = 1.0 - knee;
    curve.a = 1.0 - hardness;
    if (curve.w < kSnap) {
        curve.w = 0.0;
    }
    if (curve.a < kSnap) {
        curve.a = 0.0;
    }
    curve.flat = curve.a == 0.0;
    curve.shapeA = curve.w == 0.0 ? 1.0 : curve.a;
    curve.g = curve.w == 0.0 ? 0.0 : curve.a / curve.w;
    curve.c = curve.flat ? 0.0 : curve.w * curve.w / curve.a;
    curve.atKnee = 0.5 * knee * knee;
    return curve;
}

namespace hq_log {

// ln 2 rounded; e ln 2 then errs by half a unit of itself, a few 1e-17 of the logarithm it is part of.
inline constexpr double kLn2 = 0x1.62e42fefa39efp-1;
inline constexpr double kSqrt2 = 0x1.6a09e667f3bcdp+0;
// ln((1 + s) / (1 - s)) = s (2 + z P(z)), z = s^2, P from hq_log_coefficients.h.
inline constexpr double kP0 = kHqLogSeries[0];
inline constexpr double kP1 = kHqLogSeries[1];
inline constexpr double kP2 = kHqLogSeries[2];
inline constexpr double kP3 = kHqLogSeries[3];
inline constexpr double kP4 = kHqLogSeries[4];
inline constexpr double kP5 = kHqLogSeries[5];
inline constexpr double kP6 = kHqLogSeries[6];

} // namespace hq_log

// ln(1 + z) for finite z >= 0, with relative error of a few units in the last place.
// 1 + z = 2^e * m with m in [sqrt(1/2), sqrt 2); t = m - 1 is formed from z itself, so the
// rounding of 1 + z costs nothing; then ln m = 2 atanh(t / (2 + t)), its series summed in
// pairs (Estrin's scheme) so that its chain of dependent operations is short.
inline double hqLog1p(double z) noexcept
{
    using namespace hq_log;
    const double r = 1.0 + z;
    const std::uint64_t biased = std::bit_cast<std::uint64_t>(r * kSqrt2) >> 52;
    const double scale = std::bit_cast<double>((2046u - biased) << 52);                           // 2^-e
    const double e = std::bit_cast<double>(0x4330000000000000u | biased) - 0x1.00000000003ffp+52; // e exactly
    const double t = z * scale + (scale - 1.0);
    const double s = t / (2.0 + t);
    const double z2 = s * s;
    const double z4 = z2 * z2;
    const double z8 = z4 * z4;
    const double low = (kP0 + kP1 * z2) + z4 * (kP2 + kP3 * z2);
    const double high = (kP4 + kP5 * z2) + z4 * kP6;
    const double lnM = s * (2.0 + z2 * (low + z8 * high));
    return e * kLn2 + lnM;
}

// F(v): the antiderivative of the curve, zero at zero.
inline double hqAntiderivative(double v, const HqCurve& curve) noexcept
{
    const double m = v < 0.0 ? -v : v;
    if (!(m > curve.knee)) {
        return 0.5 * (m * m);
    }
    const double d = m - curve.knee;
    const double bent = curve.flat ? curve.w * d : curve.c * hqLog1p(curve.g * d);
    return curve.atKnee + (d - bent);
}

// f(v): the curve itself, y = s (1 - w^2 / (w + a d)) above the knee.
inline double hqCurveValue(double v, const HqCurve& curve) noexcept
{
    const double m = v < 0.0 ? -v : v;
    if (!(m > curve.knee)) {
        return v;
    }
    const double d = m - curve.knee;
    const double y = 1.0 - curve.w * curve.w / (curve.w + curve.shapeA * d);
    return v < 0.0 ? -y : y;
}

// Below this share of the inputs' scale the quotient gives way to the midpoint: there the
// rounding of F (a few 1e-16 of it) would be divided by almost nothing, while the curve's
// mean over so short a line differs from its midpoint value by less than 1e-7 of the scale.
inline constexpr double kHqCloseInputs = 0x1p-22;

// Both inputs at or below the knee, where the curve is the line y = v.
inline bool hqBelowKnee(double x0, double x1, const HqCurve& curve) noexcept
{
    const double ax0 = x0 < 0.0 ? -x0 : x0;
    const double ax1 = x1 < 0.0 ? -x1 : x1;
    return !((ax0 > ax1 ? ax0 : ax1) > curve.knee);
}

// One output of the anti-aliased curve from the previous input x0 and the new one x1 with
// their antiderivatives f0 = F(x0) and f1 = F(x1), all under the same curve. Where both inputs
// are at or below the knee the mean of the line between them is their midpoint, taken as it
// is rather than as a quotient of rounded squares: exact there, and cheap for a quiet signal.
inline double hqAdaa(double x0, double x1, double f0, double f1, const HqCurve& curve) noexcept
{
    if (hqBelowKnee(x0, x1, curve)) {
        return 0.5 * (x0 + x1);
    }
    const double dx = x1 - x0;
    const double ax0 = x0 < 0.0 ? -x0 : x0;
    const double ax1 = x1 < 0.0 ? -x1 : x1;
    const double adx = dx < 0.0 ? -dx : dx;
    if (adx > kHqCloseInputs * ((1.0 + ax0) + ax1)) {
        return (f1 - f0) / dx;
    }
    return hqCurveValue(0.5 * (x0 + x1), curve);
}
