#include "hq_oversampling.h"

#include "hq_filter_coefficients.h"
#include "hq_kernels.h"

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
    static constexpr std::int32_t count() { return static_cast<std::int32_t>(kCount); }
};

constexpr Doubled kUp2(kHalfbandPairs2x);
constexpr Doubled kUp4(kHalfbandPairs4x);
constexpr Doubled kUp8(kHalfbandPairs8x);
constexpr Doubled kUp16(kHalfbandPairs16x);
constexpr std::int32_t kDown8Count = tapsOf(kHalfbandPairs8x).count;
constexpr std::int32_t kDown4Count = tapsOf(kHalfbandPairs4x).count;
constexpr std::int32_t kDown2Count = tapsOf(kHalfbandPairs2x).count;

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

void HqChannelPath::configure(HqQuality quality, HqKernel kernel) noexcept
{
    kernels_ = &hqKernelSet(kernel);
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
    curveState_[0] = 0.0;
    curveState_[1] = 0.0;
    decimatorIn_.clear(2 * layout.decimator.count - 1 + decimatorLag_);
    down8_.clear(kHalfbandTaps8x - 1);
    down4_.clear(kHalfbandTaps4x - 1);
    down2_.clear(kHalfbandTaps2x - 1 + firstStageLag_);
    plain_.clear();
}

void HqChannelPath::run(const float* boosted, const HqCurve* curves, const bool* changed, std::int32_t frames,
                        float* out) noexcept
{
    if (quality_ == HqQuality::x1) {
        std::memcpy(plain_.fresh(), boosted, static_cast<std::size_t>(frames) * sizeof(float));
        kernels_->plainCurve(plain_.delayed(), frames, curves, changed, out);
        plain_.advance(frames);
        return;
    }

    // Up to the curve's rate; each stage writes the next one's fresh samples.
    const HqKernelSet& k = *kernels_;
    std::memcpy(up2_.fresh(), boosted, static_cast<std::size_t>(frames) * sizeof(float));
    const std::int32_t factor = factor_;
    k.interpolate(up2_.fresh(), frames, kUp2.pairs.data(), kUp2.count(), factor == 2 ? curveIn_ : up4_.fresh());
    up2_.advance(frames);
    if (factor >= 4) {
        k.interpolate(up4_.fresh(), 2 * frames, kUp4.pairs.data(), kUp4.count(), factor == 4 ? curveIn_ : up8_.fresh());
        up4_.advance(2 * frames);
    }
    if (factor >= 8) {
        k.interpolate(up8_.fresh(), 4 * frames, kUp8.pairs.data(), kUp8.count(),
                      factor == 8 ? curveIn_ : up16_.fresh());
        up8_.advance(4 * frames);
    }
    if (factor >= 16) {
        k.interpolate(up16_.fresh(), 8 * frames, kUp16.pairs.data(), kUp16.count(), curveIn_);
        up16_.advance(8 * frames);
    }

    // The curve, its settings held for each base frame (hq_kernels.h).
    k.adaa(curveIn_, frames, factor, curves, changed, curveState_, curveScratch_, decimatorIn_.fresh());

    // Down to the base rate.
    const Taps decimator = layoutOf(quality_).decimator;
    const std::int32_t below = factor / 2; // the rate after the first decimator
    float* const decimated = below == 8   ? down8_.fresh()
                             : below == 4 ? down4_.fresh()
                             : below == 2 ? down2_.fresh()
                                          : out;
    k.decimateEven(decimatorIn_.fresh(), below * frames, decimator.pairs, decimator.count, decimatorLag_, decimated,
                   scratch_);
    decimatorIn_.advance(factor * frames);
    if (below >= 8) {
        k.decimateHalfband(down8_.fresh(), 4 * frames, kHalfbandPairs8x, kDown8Count, 0, down4_.fresh(), scratch_);
        down8_.advance(8 * frames);
    }
    if (below >= 4) {
        k.decimateHalfband(down4_.fresh(), 2 * frames, kHalfbandPairs4x, kDown4Count, 0, down2_.fresh(), scratch_);
        down4_.advance(4 * frames);
    }
    if (below >= 2) {
        k.decimateHalfband(down2_.fresh(), frames, kHalfbandPairs2x, kDown2Count, firstStageLag_, out, scratch_);
        down2_.advance(2 * frames);
    }
}
