#include "soft_knee.h"

#include <xmmintrin.h>

#include <bit>
#include <cmath>

namespace {

float limited(float value, float low, float high, float whenNaN) noexcept
{
    if (std::isnan(value)) {
        return whenNaN;
    }
    return value < low ? low : (value > high ? high : value);
}

// The reciprocal estimate is within 1.5 * 2^-12 of 1 / boost and each product rounds by at
// most 2^-24, so bound * boost < knee * (1 - 2^-11): more than an ulp of the knee below it,
// whatever the rounding. Among the subnormals a product rounds by a whole step instead, so
// a bound that falls there admits only zeros, which are quiet at any knee.
std::uint32_t quietBoundOf(float boost, float knee) noexcept
{
    constexpr float kMargin = 1.0f - 0x1p-10f;
    constexpr std::uint32_t kSmallestNormal = 0x00800000u;
    const float reciprocal = _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(boost)));
    const std::uint32_t bound = std::bit_cast<std::uint32_t>(knee * reciprocal * kMargin) & 0x7fffffffu;
    return bound < kSmallestNormal ? 0u : bound;
}

} // namespace

SoftKnee makeSoftKnee(float boost, float knee, float hardness) noexcept
{
    SoftKnee curve{};
    curve.boost = limited(boost, 1.0f, 11.0f, 1.0f);
    curve.knee = limited(knee, 0.0f, 1.0f, 0.5f);
    curve.w = 1.0f - curve.knee;
    curve.a = 1.0f - limited(hardness, 0.0f, 1.0f, 0.0f);
    curve.quietBound = quietBoundOf(curve.boost, curve.knee);
    return curve;
}

// Both input samples of an index are read before either output of that index is
// written, so in-place processing and a mono signal on both inputs are safe.

void softKneeReplacing(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                       float* outRight, std::int32_t frames) noexcept
{
    for (std::int32_t i = 0; i < frames; ++i) {
        const float vLeft = inLeft[i] * curve.boost;
        const float vRight = inRight[i] * curve.boost;
        outLeft[i] = softKneeCurve(vLeft, curve.knee, curve.w, curve.a);
        outRight[i] = softKneeCurve(vRight, curve.knee, curve.w, curve.a);
    }
}

void softKneeAccumulating(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                          float* outRight, std::int32_t frames) noexcept
{
    for (std::int32_t i = 0; i < frames; ++i) {
        const float vLeft = inLeft[i] * curve.boost;
        const float vRight = inRight[i] * curve.boost;
        outLeft[i] += softKneeCurve(vLeft, curve.knee, curve.w, curve.a);
        outRight[i] += softKneeCurve(vRight, curve.knee, curve.w, curve.a);
    }
}
