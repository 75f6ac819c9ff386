// The soft-knee curve through first-order antiderivative anti-aliasing (ADAA), each output
// from the previous input x0 and the new one x1, by the kind of segment between them.
//
// Contract: hqAdaa gives the mean of the curve f over the straight line from x0 to x1,
// (F(x1) - F(x0)) / (x1 - x0) with F the curve's antiderivative, rounded to float:
// - both at or below the knee: their midpoint, rounded once, which is exact there;
// - both above the knee on one side (the common case of a loud signal): the closed form below
//   in float, within kHqFloatMeanError of the exact mean, relative to it: a few roundings of the
//   float output itself;
// - anything else (the knee crossed, either input beyond kHqFloatLimit, a curve without the
//   closed form): in double, to within about 1e-9 of the output's scale, the quotient above, or
//   the curve at the midpoint where x0 and x1 are too close for that quotient to hold.
// Every vector form of these functions computes the same operations in the same order, so its
// lanes give these bits exactly.
//
// Design. The curve is odd, so F is even: F(v) = G(|v|) with
//   G(m) = m^2 / 2                                              m <= knee
//   G(m) = knee^2 / 2 + d - (w^2 / a) ln(1 + (a / w) d)          above, d = m - knee
// (at slope a = 0 the last term is w d). The logarithm is this file's own, built from
// + - * / and exact exponent splitting; it keeps its relative accuracy for small arguments,
// where w^2 / a is large as the hardness nears 1.
//
// On one side above the knee the quotient of two such G cancels: its terms are near 1 while the
// distance between the inputs may be tiny. The mean is written instead, with u = w + a d at the
// lower input, r = a (d1 - d0) the rise of u to the higher one and z = r / u, as
//   y = 1 - (w^2 / u) ln(1 + z) / z = (w knee + a d + w^2 h) / u,    h = 1 - ln(1 + z) / z,
// a sum of terms that are never negative. For z <= 2, with s = z / (2 + z) = r / (2u + r),
// h = s (1 - s (1 - s) P / 2) from the logarithm's series ln((1 + s) / (1 - s)) = 2s + s^3 P(s^2)
// cancels nothing however close the inputs are; beyond, h >= 0.45 and the first form,
// y = 1 - (w^2 / a) ln(1 + z) / (d1 - d0), serves. Its logarithm takes u (1 + z) over u scaled by a power of 2 to within a factor 2 of u, so that
// s stays within 1/3; and h > 0.45 there, so the term subtracted is at most 1.22 times y. Float suffices: every term is a product or a quotient of numbers each
// rounded a few times, so the result errs by a few float roundings of itself, while the double
// quotient's cancellation needed 53 bits to keep 30.
#pragma once

#include "hq_log_coefficients.h"

#include <bit>
#include <cstdint>

// The closed form's error bound, relative to the exact mean: 2^-21, eight times the float
// output's own rounding (at most 2^-24 of it), from the dozen roundings of its terms and of the
// curve's settings in float (a sweep of 2e7 pairs over every setting found at most 6.7 times
// 2^-24, 3.4 at the initial knee and hardness). Then the inputs' magnitude up to which it is
// taken, far above any signal and far below where a float in it could overflow.
inline constexpr double kHqFloatMeanError = 0x1p-21;
inline constexpr float kHqFloatLimit = 0x1p40f;

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
    // The closed form's settings in float (the design above).
    bool floatForm;  // w > 0; where w is 0 the curve above the knee is 1 and the general path serves
    bool shortForm;  // floatForm, a > 0 and knee >= 1/2: the shorter closed form serves
    float kneeDown;  // the largest float at or below the knee: |x| > kneeDown exactly where |x| > knee
    float kneeRest;  // knee - kneeDown, rounded
    float wF;        // w, or 1 where floatForm is false, so that no lane divides by 0
    float aF;        // a
    float wKnee;     // w knee
    float wSquared;  // w^2
    float cF;        // c
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
    curve.floatForm = curve.w > 0.0;
    curve.kneeDown = static_cast<float>(knee);
    if (static_cast<double>(curve.kneeDown) > knee) {
        curve.kneeDown = std::bit_cast<float>(std::bit_cast<std::uint32_t>(curve.kneeDown) - 1u);
    }
    curve.kneeRest = static_cast<float>(knee - static_cast<double>(curve.kneeDown));
    curve.wF = curve.floatForm ? static_cast<float>(curve.w) : 1.0f;
    curve.aF = static_cast<float>(curve.a);
    curve.wKnee = static_cast<float>(curve.w * knee);
    curve.wSquared = static_cast<float>(curve.w * curve.w);
    curve.cF = static_cast<float>(curve.c);
    curve.shortForm = curve.floatForm && !curve.flat && curve.kneeDown >= 0.5f;
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
// The float series for |s| <= 1/2, and ln 2 in two parts: e times the first is exact for |e| < 2^8.
inline constexpr float kQ0 = kHqLogSeriesFloat[0];
inline constexpr float kQ1 = kHqLogSeriesFloat[1];
inline constexpr float kQ2 = kHqLogSeriesFloat[2];
inline constexpr float kQ3 = kHqLogSeriesFloat[3];
inline constexpr float kQ4 = kHqLogSeriesFloat[4];
inline constexpr float kQ5 = kHqLogSeriesFloat[5];
inline constexpr float kLn2High = 0x1.62e4p-1f;
inline constexpr float kLn2Low = static_cast<float>(kLn2 - static_cast<double>(kLn2High));

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

// Both inputs at or below the knee, where the curve is the line y = v.
inline bool hqBelowKnee(float x0, float x1, const HqCurve& curve) noexcept
{
    const float m0 = x0 < 0.0f ? -x0 : x0;
    const float m1 = x1 < 0.0f ? -x1 : x1;
    return !((m0 > m1 ? m0 : m1) > curve.kneeDown);
}

// Both inputs above the knee on one side, within kHqFloatLimit, under a curve with the closed form.
inline bool hqOneSideAbove(float x0, float x1, const HqCurve& curve) noexcept
{
    const float k = curve.kneeDown;
    const bool high = x0 > k && x1 > k;
    const bool low = -k > x0 && -k > x1;
    const float m0 = x0 < 0.0f ? -x0 : x0;
    const float m1 = x1 < 0.0f ? -x1 : x1;
    return (high || low) && !((m0 > m1 ? m0 : m1) > kHqFloatLimit) && curve.floatForm;
}

// One input at or below the knee and the other above it, within kHqFloatLimit, under a curve with
// the closed form.
inline bool hqKneeCrossed(float x0, float x1, const HqCurve& curve) noexcept
{
    const float m0 = x0 < 0.0f ? -x0 : x0;
    const float m1 = x1 < 0.0f ? -x1 : x1;
    return (m0 > curve.kneeDown) != (m1 > curve.kneeDown) && !((m0 > m1 ? m0 : m1) > kHqFloatLimit) &&
           curve.floatForm;
}

// Both inputs above the knee on opposite sides, within kHqFloatLimit, under a curve with the
// closed form.
inline bool hqSidesJumped(float x0, float x1, const HqCurve& curve) noexcept
{
    const float k = curve.kneeDown;
    const float m0 = x0 < 0.0f ? -x0 : x0;
    const float m1 = x1 < 0.0f ? -x1 : x1;
    return m0 > k && m1 > k && !((x0 > k && x1 > k) || (-k > x0 && -k > x1)) &&
           !((m0 > m1 ? m0 : m1) > kHqFloatLimit) && curve.floatForm;
}

// What joins the two inputs of a segment the closed form takes.
enum class HqJoin { oneSide, crossed, jumped };

// The closed form as hqClosedMean below, shortened where the knee is at least 1/2: there the
// first form y = 1 - (w^2 / a) ln(1 + z) / (d1 - d0) subtracts a term at most w / knee <= 1
// times y, so it serves for every z. With z <= 2, s = r q and the term is w^2 (2 + z P) q, where
// q = 1 / (2u + r), so that nothing divides by the distance between the inputs, which may be 0.
inline float hqShortMean(float x0, float x1, HqJoin join, const HqCurve& curve) noexcept
{
    const bool crossed = join == HqJoin::crossed;
    using namespace hq_log;
    const float k = curve.kneeDown;
    const bool firstAbove = (x0 < 0.0f ? -x0 : x0) > k;
    const float xa = firstAbove ? x0 : x1;
    const float from = crossed ? k : x0;
    const float to = crossed ? xa : x1;
    const float a0 = from < 0.0f ? -from : from;
    const float a1 = to < 0.0f ? -to : to;
    const float m0 = a0 < kHqFloatLimit ? a0 : kHqFloatLimit;
    const float m1 = a1 < kHqFloatLimit ? a1 : kHqFloatLimit;
    const float lo = m0 < m1 ? m0 : m1;
    const float hi = m1 > m0 ? m1 : m0;
    const float below = (lo - k) - curve.kneeRest;
    const float d = below > 0.0f ? below : 0.0f;
    const float span = hi - lo;
    const float u = curve.wF + curve.aF * d;
    const float rise = curve.aF * span;
    const bool wide = rise > u + u; // z > 2
    const float uHi = u + rise;
    const std::int32_t octaves = static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(uHi) >> 23) -
                                 static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(u) >> 23);
    const float v = uHi * std::bit_cast<float>(static_cast<std::uint32_t>(127 - octaves) << 23);
    const float q = (wide ? v - u : 1.0f) / (wide ? v + u : (u + u) + rise);
    const float s = wide ? q : rise * q;
    const float z = s * s;
    const float z2 = z * z;
    const float p = ((kQ0 + kQ1 * z) + z2 * (kQ2 + kQ3 * z)) + (z2 * z2) * (kQ4 + kQ5 * z);
    const float series = 2.0f + z * p; // ln(1 + z) / s
    const float e = wide ? static_cast<float>(octaves) : 0.0f;
    const float bentLn = curve.cF * (e * kLn2High + (e * kLn2Low + s * series)); // wide
    const float term = curve.wSquared * (series * q);                            // narrow
    float y;
    if (join == HqJoin::oneSide) {
        y = 1.0f - (wide ? bentLn / span : term);
    } else {
        const float xb = firstAbove ? x1 : x0;
        const float b = xa < 0.0f ? -xb : xb;
        const float line = crossed ? ((k - b) * (k + b)) * 0.5f : 0.0f;
        y = ((line + span) - (wide ? bentLn : term * span)) / (crossed ? hi - b : hi + lo);
    }
    const float sign = join == HqJoin::jumped && !(m1 > m0) ? from : to;
    return sign < 0.0f ? -y : y;
}

// The closed form of the design above, for x0 and x1 on one side above the knee, or, crossed,
// for one of them, xa, above it and the other, xb, at or below it. A crossing is mirrored so that
// xa is positive: the closed form's integral from the knee to xa, plus that of the line from
// xb to the knee, (k - b)(k + b) / 2, over the whole distance xa - b. Every term is at least 0,
// so nothing cancels however close the inputs are. Written as the vector forms compute every
// lane: magnitudes held to kHqFloatLimit and distances to at least 0, so that a lane of any
// other kind computes from safe operands.
inline float hqClosedMean(float x0, float x1, HqJoin join, const HqCurve& curve) noexcept
{
    const bool crossed = join == HqJoin::crossed;
    using namespace hq_log;
    if (curve.shortForm) {
        return hqShortMean(x0, x1, join, curve);
    }
    const float k = curve.kneeDown;
    const bool firstAbove = (x0 < 0.0f ? -x0 : x0) > k;
    const float xa = firstAbove ? x0 : x1;
    const float from = crossed ? k : x0;
    const float to = crossed ? xa : x1;
    const float a0 = from < 0.0f ? -from : from;
    const float a1 = to < 0.0f ? -to : to;
    const float m0 = a0 < kHqFloatLimit ? a0 : kHqFloatLimit;
    const float m1 = a1 < kHqFloatLimit ? a1 : kHqFloatLimit;
    const float lo = m0 < m1 ? m0 : m1;
    const float hi = m1 > m0 ? m1 : m0;
    const float below = (lo - k) - curve.kneeRest;
    const float d = below > 0.0f ? below : 0.0f;
    const float span = hi - lo;
    const float u = curve.wF + curve.aF * d;
    const float rise = curve.aF * span;
    const bool wide = rise > u + u; // z > 2
    // u + rise over u as 2^e times v / u, v / u within (1/2, 2), from the exponent fields alone.
    const float uHi = u + rise;
    const std::int32_t octaves = static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(uHi) >> 23) -
                                 static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(u) >> 23);
    const float v = uHi * std::bit_cast<float>(static_cast<std::uint32_t>(127 - octaves) << 23);
    const float s = wide ? (v - u) / (v + u) : rise / ((u + u) + rise);
    const float z = s * s;
    const float z2 = z * z;
    const float p = ((kQ0 + kQ1 * z) + z2 * (kQ2 + kQ3 * z)) + (z2 * z2) * (kQ4 + kQ5 * z);
    const float e = static_cast<float>(octaves);
    const float bentLn = curve.cF * (e * kLn2High + (e * kLn2Low + s * (2.0f + z * p))); // wide
    const float h = s * (1.0f - 0.5f * ((s * (1.0f - s)) * p));                        // narrow
    const float narrow = (curve.wKnee + curve.aF * d) + curve.wSquared * h;              // the mean times u
    float y;
    if (join == HqJoin::oneSide) {
        y = wide ? 1.0f - bentLn / span : narrow / u;
    } else {
        const float xb = firstAbove ? x1 : x0;
        const float b = xa < 0.0f ? -xb : xb;
        const float line = crossed ? ((k - b) * (k + b)) * 0.5f : 0.0f;
        const float gap = crossed ? hi - b : hi + lo;
        y = wide ? ((line + span) - bentLn) / gap : (line * u + narrow * span) / (u * gap);
    }
    const float sign = join == HqJoin::jumped && !(m1 > m0) ? from : to;
    return sign < 0.0f ? -y : y;
}

// Below this share of the inputs' scale the general path's quotient gives way to the midpoint:
// there the rounding of F (a few 1e-16 of it) would be divided by almost nothing, while the
// curve's mean over so short a line differs from its midpoint value by less than 1e-7 of the scale.
inline constexpr double kHqCloseInputs = 0x1p-22;

// The general path in double, from the antiderivatives of both inputs under the same curve.
inline double hqGeneralMean(double x0, double x1, const HqCurve& curve) noexcept
{
    const double f0 = hqAntiderivative(x0, curve);
    const double f1 = hqAntiderivative(x1, curve);
    const double dx = x1 - x0;
    const double ax0 = x0 < 0.0 ? -x0 : x0;
    const double ax1 = x1 < 0.0 ? -x1 : x1;
    const double adx = dx < 0.0 ? -dx : dx;
    if (adx > kHqCloseInputs * ((1.0 + ax0) + ax1)) {
        return (f1 - f0) / dx;
    }
    return hqCurveValue(0.5 * (x0 + x1), curve);
}

// One output of the anti-aliased curve from the previous input x0 and the new one x1.
inline float hqAdaa(float x0, float x1, const HqCurve& curve) noexcept
{
    if (hqBelowKnee(x0, x1, curve)) {
        return 0.5f * (x0 + x1);
    }
    if (hqOneSideAbove(x0, x1, curve)) {
        return hqClosedMean(x0, x1, HqJoin::oneSide, curve);
    }
    if (hqKneeCrossed(x0, x1, curve)) {
        return hqClosedMean(x0, x1, HqJoin::crossed, curve);
    }
    if (hqSidesJumped(x0, x1, curve)) {
        return hqClosedMean(x0, x1, HqJoin::jumped, curve);
    }
    return static_cast<float>(hqGeneralMean(x0, x1, curve));
}
