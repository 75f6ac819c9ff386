// The HQ shaper's static transfer curve: what a steady input sample becomes once every control
// has settled, as the core forms it. The input is held within the loudest level the shaped
// path takes and boosted to a float, bent by the curve (hq_antiderivative.h), scaled by Output
// and mixed with the dry input:
//   y = x (1 - mix) + f(float(x boost)) gain mix
// The anti-aliasing and the filters leave this unchanged where the input changes slowly, so it
// is the curve that a picture of the controls shows. Only + - * / in double, so it gives the
// same bits on every target.
#pragma once

#include "hq_antiderivative.h"
#include "hq_glide.h"
#include "hq_input.h"

struct HqTransferSettings {
    float boost;      // times, 1..11
    float knee;       // 0..1
    float hardness;   // 0..1
    float outputDb;   // -24..24
    float mixPercent; // 0..100
};

class HqTransfer {
public:
    explicit HqTransfer(const HqTransferSettings& settings) noexcept
        : boost_(settings.boost), curve_(makeHqCurve(settings.knee, settings.hardness)),
          gain_(hqDecibelsToGain(settings.outputDb)), mix_(settings.mixPercent / 100.0)
    {
    }

    double operator()(double x) const noexcept
    {
        constexpr double kLoudest = kHqLoudest;
        const double held = x < -kLoudest ? -kLoudest : (x > kLoudest ? kLoudest : x);
        const double boosted = static_cast<float>(held * boost_);
        return x * (1.0 - mix_) + hqCurveValue(boosted, curve_) * gain_ * mix_;
    }

    // The input level at which the boosted signal reaches the knee.
    double kneeInput() const noexcept { return curve_.knee / boost_; }

private:
    double boost_;
    HqCurve curve_;
    double gain_;
    double mix_;
};
