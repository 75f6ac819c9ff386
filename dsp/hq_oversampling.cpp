#include "hq_oversampling.h"

#include "hq_filter_coefficients.h"

#include <array>
#include <cstring>

namespace {

// One filter's distinct taps as its stage uses them.
struct Taps {
    const float* pairs;
    std::int32_t count;
};

template <std::size_t kCount> constexpr Taps tapsOf(const float (&pairs)[kCount])
{
    return {pairs, static_cast<std::int32_t>(kCount)};
}

// The half-band taps doubled for interpolation, which keeps the passband gain at 1 while
// every other output sample is a plain copy; doubling is exact.
template <std::size_t kCount> struct Doubled {
    std::array<float, kCount> pairs{};
    constexpr explicit Doubled(const float (&halved)[kCount])
    {
        for (std::size_t j = 0; j < kCount; ++j) {
            pairs[j] = 2.0f * halved[j];
        }
    }
    Taps taps() const { return {pairs.data(), static_cast<std::int32_t>(kCount)}; }
};

constexpr Doubled kUp2(kHalfbandPairs2x);
constexpr Doubled kUp4(kHalfbandPairs4x);
constexpr Doubled kUp8(kHalfbandPairs8x);
constexpr Doubled kUp16(kHalfbandPairs16x);

// Doubles the rate of frames samples starting at x, whose line holds 2 * (taps.count - 1) + 1
// samples of history before them; y[2i] sums the tap pairs, y[2i + 1] is the centre tap's copy.
//   y[2i] = sum_j g_j (x[i - j] + x[i - span + j]),  span = 2 (count - 1) + 1
void interpolate(const float* x, std::int32_t frames, Taps taps, float* y) noexcept
{
    const std::int32_t m = taps.count - 1;
    const std::int32_t span = 2 * m + 1;
    for (std::int32_t i = 0; i < frames; ++i) {
        const float* p = x + i;
        float sum = taps.pairs[0] * (p[0] + p[-span]);
        for (std::int32_t j = 1; j <= m; ++j) {
            sum += taps.pairs[j] * (p[-j] + p[-span + j]);
        }
        y[2 * i] = sum;
        y[2 * i + 1] = p[-m];
    }
}

// Halves the rate of 2 * frames samples starting at u, output i taken at input 2i + 1 - lag:
//   y[i] = sum_j h_j (u[t - 2j] + u[t - span + 2j]) + u[t - centre] / 2,  span = 4 (count - 1) + 2
void decimateHalfband(const float* u, std::int32_t frames, Taps taps, std::int32_t lag, float* y) noexcept
{
    const std::int32_t m = taps.count - 1;
    const std::int32_t span = 4 * m + 2;
    const std::int32_t centre = 2 * m + 1;
    for (std::int32_t i = 0; i < frames; ++i) {
        const float* t = u + 2 * i + 1 - lag;
        float sum = taps.pairs[0] * (t[0] + t[-span]);
        for (std::int32_t j = 1; j <= m; ++j) {
            sum += taps.pairs[j] * (t[-2 * j] + t[-span + 2 * j]);
        }
        y[i] = sum + 0.5f * t[-centre];
    }
}

// Halves the rate through an even-length filter, output i taken at input 2i + 1 - lag:
//   y[i] = sum_j h_j (u[t - j] + u[t - span + j]),  span = 2 count - 1
void decimateEven(const float* u, std::int32_t frames, Taps taps, std::int32_t lag, float* y) noexcept
{
    const std::int32_t span = 2 * taps.count - 1;
    for (std::int32_t i = 0; i < frames; ++i) {
        const float* t = u + 2 * i + 1 - lag;
        float sum = taps.pairs[0] * (t[0] + t[-span]);
        for (std::int32_t j = 1; j < taps.count; ++j) {
            sum += taps.pairs[j] * (t[-j] + t[-span + j]);
        }
        y[i] = sum;
    }
}

// Each Quality's first decimator and the lags that make its delay kHqPathDelayFrames: the
// filters alone give 84 frames at 16x, 83.5 at 8x, 82.25 at 4x and 79.5 at 2x, and a lag of
// one sample adds 1 / rate frames.
struct QualityLayout {
    Taps decimator;
    std::int32_t decimatorLag;  // in samples at the curve's rate
    std::int32_t firstStageLag; // in samples at 2x, for the last half-band stage down
};

QualityLayout layoutOf(HqQuality quality) noexcept
{
    switch (quality) {
    case HqQuality::x2:
        return {tapsOf(kDecimatorPairs2x), 9, 0};
    case HqQuality::x4:
        return {tapsOf(kDecimatorPairs4x), 1, 3};
    case HqQuality::x8:
        return {tapsOf(kDecimatorPairs8x), 0, 1};
    case HqQuality::x16:
        return {tapsOf(kDecimatorPairs16x), 0, 0};
    case HqQuality::x1:
        break;
    }
    return {tapsOf(kDecimatorPairs16x), 0, 0};
}

} // namespace

void HqChannelPath::configure(HqQuality quality) noexcept
{
    quality_ = quality;
    factor_ = hqOversampling(quality);
    const QualityLayout layout = layoutOf(quality);
    decimatorLag_ = layout.decimatorLag;
    firstStageLag_ = layout.firstStageLag;
    up2_.clear((kHalfbandTaps2x - 1) / 2);
    up4_.clear((kHalfbandTaps4x - 1) / 2);
    up8_.clear((kHalfbandTaps8x - 1) / 2);
    up16_.clear((kHalfbandTaps16x - 1) / 2);
    std::memset(curveIn_, 0, sizeof(curveIn_));
    lastInput_ = 0.0;
    lastAntiderivative_ = 0.0;
    decimatorIn_.clear(2 * layout.decimator.count - 1 + decimatorLag_);
    down8_.clear(kHalfbandTaps8x - 1);
    down4_.clear(kHalfbandTaps4x - 1);
    down2_.clear(kHalfbandTaps2x - 1 + firstStageLag_);
    plain_.clear(kHqPathDelayFrames);
}

void HqChannelPath::run(const float* boosted, const HqCurve* curves, const bool* changed, std::int32_t frames,
                        float* out) noexcept
{
    if (quality_ == HqQuality::x1) {
        std::memcpy(plain_.fresh(), boosted, static_cast<std::size_t>(frames) * sizeof(float));
        for (std::int32_t i = 0; i < frames; ++i) {
            out[i] = static_cast<float>(hqCurveValue(plain_.samples[i], curves[i]));
        }
        plain_.advance(frames);
        return;
    }

    // Up to the curve's rate; each stage writes the next one's fresh samples.
    std::memcpy(up2_.fresh(), boosted, static_cast<std::size_t>(frames) * sizeof(float));
    const std::int32_t factor = factor_;
    interpolate(up2_.fresh(), frames, kUp2.taps(), factor == 2 ? curveIn_ : up4_.fresh());
    up2_.advance(frames);
    if (factor >= 4) {
        interpolate(up4_.fresh(), 2 * frames, kUp4.taps(), factor == 4 ? curveIn_ : up8_.fresh());
        up4_.advance(2 * frames);
    }
    if (factor >= 8) {
        interpolate(up8_.fresh(), 4 * frames, kUp8.taps(), factor == 8 ? curveIn_ : up16_.fresh());
        up8_.advance(4 * frames);
    }
    if (factor >= 16) {
        interpolate(up16_.fresh(), 8 * frames, kUp16.taps(), curveIn_);
        up16_.advance(8 * frames);
    }

    // The curve, its settings held for each base frame. Where they change, the previous input's
    // antiderivative is taken again under the new settings, so that both ends of a quotient
    // come from the same curve.
    float* curveOut = decimatorIn_.fresh();
    double x0 = lastInput_;
    double f0 = lastAntiderivative_;
    for (std::int32_t i = 0; i < frames; ++i) {
        const HqCurve& curve = curves[i];
        if (changed[i]) {
            f0 = hqAntiderivative(x0, curve);
        }
        for (std::int32_t k = 0; k < factor; ++k) {
            const double x1 = curveIn_[i * factor + k];
            const double f1 = hqAntiderivative(x1, curve);
            curveOut[i * factor + k] = static_cast<float>(hqAdaa(x0, x1, f0, f1, curve));
            x0 = x1;
            f0 = f1;
        }
    }
    lastInput_ = x0;
    lastAntiderivative_ = f0;

    // Down to the base rate.
    const Taps decimator = layoutOf(quality_).decimator;
    const std::int32_t below = factor / 2; // the rate after the first decimator
    float* const decimated = below == 8 ? down8_.fresh() : below == 4 ? down4_.fresh() : below == 2 ? down2_.fresh() : out;
    decimateEven(decimatorIn_.fresh(), below * frames, decimator, decimatorLag_, decimated);
    decimatorIn_.advance(factor * frames);
    if (below >= 8) {
        decimateHalfband(down8_.fresh(), 4 * frames, tapsOf(kHalfbandPairs8x), 0, down4_.fresh());
        down8_.advance(8 * frames);
    }
    if (below >= 4) {
        decimateHalfband(down4_.fresh(), 2 * frames, tapsOf(kHalfbandPairs4x), 0, down2_.fresh());
        down4_.advance(4 * frames);
    }
    if (below >= 2) {
        decimateHalfband(down2_.fresh(), frames, tapsOf(kHalfbandPairs2x), firstStageLag_, out);
        down2_.advance(2 * frames);
    }
}
