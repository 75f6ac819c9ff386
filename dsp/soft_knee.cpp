#include "soft_knee.h"

#include <cmath>

namespace {

float limited(float value, float low, float high, float whenNaN) noexcept
{
    if (std::isnan(value)) {
        return whenNaN;
    }
    return value < low ? low : (value > high ? high : value);
}

} // namespace

SoftKnee makeSoftKnee(float boost, float knee, float hardness) noexcept
{
    SoftKnee curve{};
    curve.boost = limited(boost, 1.0f, 11.0f, 1.0f);
    curve.knee = limited(knee, 0.0f, 1.0f, 0.5f);
    curve.w = 1.0f - curve.knee;
    curve.a = 1.0f - limited(hardness, 0.0f, 1.0f, 0.0f);
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
