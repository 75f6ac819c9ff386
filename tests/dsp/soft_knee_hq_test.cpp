// The HQ core as a format drives it: controls in real units, any block size, in-place buffers.

#include "soft_knee_hq.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<float> sine(double frequency, double amplitude, double rate, std::int32_t frames)
{
    std::vector<float> x(static_cast<std::size_t>(frames));
    for (std::int32_t i = 0; i < frames; ++i) {
        x[static_cast<std::size_t>(i)] = static_cast<float>(amplitude * std::sin(2.0 * kPi * frequency * i / rate));
    }
    return x;
}

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
};

// Runs both channels through the processor in blocks of blockFrames.
Stereo render(SoftKneeHq& hq, const std::vector<float>& left, const std::vector<float>& right,
              std::int32_t blockFrames)
{
    Stereo out{std::vector<float>(left.size()), std::vector<float>(right.size())};
    const auto frames = static_cast<std::int32_t>(left.size());
    for (std::int32_t start = 0; start < frames; start += blockFrames) {
        const std::int32_t n = std::min(blockFrames, frames - start);
        hq.process(left.data() + start, right.data() + start, out.left.data() + start, out.right.data() + start, n);
    }
    return out;
}

std::unique_ptr<SoftKneeHq> makeHq(double rate, HqQuality quality)
{
    auto hq = std::make_unique<SoftKneeHq>(rate);
    hq->setQuality(static_cast<float>(quality));
    hq->reset();
    return hq;
}

struct TransparencyCase {
    HqQuality quality;
    double rate;
    double frequency;
    double maxResidualDb;
};

class HqTransparency : public ::testing::TestWithParam<TransparencyCase> {};

// At Knee 1 and Boost 1 the curve is a straight line below full scale: the output must be the
// input delayed by exactly the reported latency. A wrong latency, a droop left uncompensated or
// a filter that passes less than the audible band all show here as a residual.
TEST_P(HqTransparency, LatencyOrDroopWrongLeavesResidual)
{
    const TransparencyCase c = GetParam();
    auto hq = makeHq(c.rate, c.quality);
    hq->setKnee(1.0f);
    hq->setBoost(1.0f);
    hq->reset();
    const std::int32_t frames = 8192;
    const std::vector<float> in = sine(c.frequency, 0.5, c.rate, frames);
    const Stereo out = render(*hq, in, in, 100);
    const std::int32_t latency = hqLatencyFrames(c.rate);
    double signal = 0.0;
    double residual = 0.0;
    for (std::int32_t i = 1024; i < frames; ++i) {
        const double expected = in[static_cast<std::size_t>(i - latency)];
        signal += expected * expected;
        for (const auto* channel : {&out.left, &out.right}) {
            const double e = (*channel)[static_cast<std::size_t>(i)] - expected;
            residual += 0.5 * e * e;
        }
    }
    const double residualDb = 10.0 * std::log10(residual / signal);
    EXPECT_LT(residualDb, c.maxResidualDb) << hqQualityName(c.quality) << " at " << c.rate << " Hz, "
                                           << c.frequency << " Hz sine";
}

std::vector<TransparencyCase> transparencyCases()
{
    std::vector<TransparencyCase> cases;
    for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
        for (const double rate : {44100.0, 48000.0}) {
            cases.push_back({static_cast<HqQuality>(q), rate, 1000.0, -80.0});
            cases.push_back({static_cast<HqQuality>(q), rate, 10000.0, -60.0});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryQuality, HqTransparency, ::testing::ValuesIn(transparencyCases()));

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A non-finite input sample must not stay in a filter: the output is finite again, and the same
// as with that sample silent, once the paths' memory has passed.
TEST(SoftKneeHq, NonFiniteInputStaysInFilters)
{
    for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
        for (const float bad : {kNaN, kInf, -kInf}) {
            auto hq = makeHq(48000.0, static_cast<HqQuality>(q));
            hq->setBoost(11.0f);
            std::vector<float> in = sine(440.0, 0.5, 48000.0, 2048);
            in[300] = bad;
            const Stereo out = render(*hq, in, in, 64);
            for (std::size_t i = 0; i < in.size(); ++i) {
                ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i]))
                    << "quality " << q << ", frame " << i;
            }
        }
    }
}

// Whatever the controls hold, finite input gives finite output, also for the loudest floats.
TEST(SoftKneeHq, ExtremeControlsGiveNonFiniteOutput)
{
    const float controls[] = {kNaN, kInf, -kInf, -1.0f, 0.0f, 0.5f, 1.0f, 1e30f};
    std::vector<float> loud(4096);
    for (std::size_t i = 0; i < loud.size(); ++i) {
        loud[i] = (i % 3 == 0 ? 3.4e38f : (i % 3 == 1 ? -1e-40f : 1e9f)) * (i % 2 ? 1.0f : -1.0f);
    }
    for (const float value : controls) {
        for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
            SoftKneeHq hq(44100.0);
            hq.setQuality(static_cast<float>(q));
            hq.reset();
            hq.setBoost(value);
            hq.setKnee(value);
            hq.setHardness(value);
            hq.setOutputDb(value);
            hq.setMixPercent(value);
            const Stereo out = render(hq, loud, loud, 512);
            for (std::size_t i = 0; i < loud.size(); ++i) {
                ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i]))
                    << "control " << value << ", quality " << q << ", frame " << i;
            }
        }
    }
}

// Block size, zero-frame calls and in-place buffers must not change a single output bit.
TEST(SoftKneeHq, BlockSizeOrInPlaceChangesOutput)
{
    const std::vector<float> left = sine(997.0, 0.7, 48000.0, 3000);
    const std::vector<float> right = sine(3001.0, 0.4, 48000.0, 3000);
    auto reference = makeHq(48000.0, HqQuality::x16);
    reference->setBoost(7.0f);
    const Stereo expected = render(*reference, left, right, 3000);
    for (const std::int32_t block : {1, 17, 64, 65, 1000}) {
        auto hq = makeHq(48000.0, HqQuality::x16);
        hq->setBoost(7.0f);
        Stereo inPlace{left, right};
        for (std::int32_t start = 0; start < 3000; start += block) {
            const std::int32_t n = std::min(block, 3000 - start);
            hq->process(inPlace.left.data() + start, inPlace.right.data() + start, inPlace.left.data() + start,
                        inPlace.right.data() + start, n);
            hq->process(nullptr, nullptr, nullptr, nullptr, 0);
        }
        EXPECT_EQ(inPlace.left, expected.left) << "blocks of " << block;
        EXPECT_EQ(inPlace.right, expected.right) << "blocks of " << block;
    }
}

} // namespace
