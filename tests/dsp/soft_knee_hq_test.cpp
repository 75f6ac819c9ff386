// The HQ core as a format drives it: controls in real units, any block size, in-place buffers.

#include "hq_float_environment.h"
#include "hq_kernels.h"
#include "hq_oversampling.h"
#include "hq_tone_levels.h"
#include "soft_knee_hq.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
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
Stereo render(SoftKneeHq& hq, const std::vector<float>& left, const std::vector<float>& right, std::int32_t blockFrames)
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
    EXPECT_LT(residualDb, c.maxResidualDb)
        << hqQualityName(c.quality) << " at " << c.rate << " Hz, " << c.frequency << " Hz sine";
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

INSTANTIATE_TEST_SUITE_P(EveryQuality, HqTransparency, ::testing::ValuesIn(transparencyCases()), [](const auto& info) {
    const TransparencyCase& c = info.param;
    return std::string("q") + hqQualityName(c.quality) + "_" + std::to_string(int(c.rate)) + "Hz_tone" +
           std::to_string(int(c.frequency));
});

struct AliasingCase {
    HqQuality quality;
    double rate;
    double tone;
    float knee;
    float hardness;
    double maxAliasDb; // the strongest non-harmonic component in 20 Hz..20 kHz, re the tone
};

class HqAliasing : public ::testing::TestWithParam<AliasingCase> {};

// A sine at -6 dBFS, Boost 11: filters too short or too shallow, or the anti-aliasing lost,
// let the curve's harmonics fold back into the audible band above these limits.
TEST_P(HqAliasing, WeakFiltersOrAntiAliasingLetHarmonicsFoldBack)
{
    const AliasingCase c = GetParam();
    constexpr std::int32_t kSize = 32768;
    const std::int32_t bin = hq_tone_levels::toneBin(c.tone, c.rate, kSize);
    const std::vector<float> in = hq_tone_levels::periodicTone(bin, kSize, std::pow(10.0, -6.0 / 20.0), 2 * kSize);
    auto hq = makeHq(c.rate, c.quality);
    hq->setBoost(11.0f);
    hq->setKnee(c.knee);
    hq->setHardness(c.hardness);
    hq->reset();
    const Stereo out = render(*hq, in, in, 512);
    const double aliasDb = hq_tone_levels::strongestAliasDb(out.left.data() + kSize, kSize, bin, c.rate);
    EXPECT_LT(aliasDb, c.maxAliasDb) << hqQualityName(c.quality) << " at " << c.rate << " Hz, tone " << c.tone
                                     << " Hz, knee " << c.knee << ", hardness " << c.hardness;
}

std::vector<AliasingCase> aliasingCases()
{
    const float settings[4][2] = {{0.5f, 0.0f}, {0.5f, 0.5f}, {0.5f, 1.0f}, {0.1f, 0.0f}};
    std::vector<AliasingCase> cases;
    for (const double rate : {44100.0, 48000.0}) {
        for (const auto& s : settings) {
            cases.push_back({HqQuality::x16, rate, 7000.0, s[0], s[1], -100.0});
            cases.push_back({HqQuality::x16, rate, 15000.0, s[0], s[1], -95.0});
            cases.push_back({HqQuality::x8, rate, 7000.0, s[0], s[1], -70.0});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(HighestAndDefaultQuality, HqAliasing, ::testing::ValuesIn(aliasingCases()),
                         [](const auto& info) {
                             const AliasingCase& c = info.param;
                             return std::string("q") + hqQualityName(c.quality) + "_" + std::to_string(int(c.rate)) +
                                    "Hz_tone" + std::to_string(int(c.tone)) + "_knee" +
                                    std::to_string(int(c.knee * 10)) + "_hard" + std::to_string(int(c.hardness * 10));
                         });

struct ClickCase {
    void (SoftKneeHq::*set)(float);
    const char* control;
    float from;
    float to;
};

class HqClicks : public ::testing::TestWithParam<ClickCase> {};

// A control thrown from one end of its range to the other on a 100 Hz sine at -12 dBFS, in
// 64-frame blocks: without a glide the output steps. The largest sample-to-sample change in the
// second after the throw may be at most 1.5 times the largest of the steady output before or after.
TEST_P(HqClicks, ControlChangeSteps)
{
    const ClickCase c = GetParam();
    constexpr double kRate = 48000.0;
    constexpr std::int32_t kSecond = 48000;
    const std::vector<float> in = sine(100.0, std::pow(10.0, -12.0 / 20.0), kRate, 3 * kSecond + 640);
    auto hq = makeHq(kRate, HqQuality::x8);
    hq->setBoost(4.0f);
    ((*hq).*c.set)(c.from);
    hq->reset();
    std::vector<float> left(in.size());
    std::vector<float> right(in.size());
    constexpr std::int32_t kChange = kSecond + 640; // off the sine's zero crossings
    for (std::int32_t start = 0; start < static_cast<std::int32_t>(in.size()); start += 64) {
        if (start == kChange) {
            ((*hq).*c.set)(c.to);
        }
        hq->process(in.data() + start, in.data() + start, left.data() + start, right.data() + start, 64);
    }
    const auto largestStep = [&left](std::int32_t from, std::int32_t to) {
        float largest = 0.0f;
        for (std::int32_t i = from; i < to; ++i) {
            largest =
                std::max(largest, std::abs(left[static_cast<std::size_t>(i)] - left[static_cast<std::size_t>(i - 1)]));
        }
        return largest;
    };
    const float before = largestStep(kChange - kSecond / 2, kChange);
    const float after = largestStep(kChange + kSecond, kChange + 2 * kSecond);
    const float during = largestStep(kChange, kChange + kSecond);
    EXPECT_LE(during, 1.5f * std::max(before, after))
        << c.control << " from " << c.from << " to " << c.to << ": steady steps " << before << " and " << after;
}

std::vector<ClickCase> clickCases()
{
    const ClickCase ends[] = {
        {&SoftKneeHq::setBoost, "Boost", kHqBoost.minimum, kHqBoost.maximum},
        {&SoftKneeHq::setKnee, "Knee", kHqKnee.minimum, kHqKnee.maximum},
        {&SoftKneeHq::setHardness, "Hardness", kHqHardness.minimum, kHqHardness.maximum},
        {&SoftKneeHq::setOutputDb, "Output", kHqOutputDb.minimum, kHqOutputDb.maximum},
        {&SoftKneeHq::setMixPercent, "Mix", kHqMixPercent.minimum, kHqMixPercent.maximum},
    };
    std::vector<ClickCase> cases;
    for (const ClickCase& c : ends) {
        cases.push_back(c);
        cases.push_back({c.set, c.control, c.to, c.from});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryControlBothWays, HqClicks, ::testing::ValuesIn(clickCases()), [](const auto& info) {
    return std::string(info.param.control) + (info.param.from < info.param.to ? "Up" : "Down");
});

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A non-finite input sample must not reach a filter: the output is exactly that of the same
// input with the sample silent, so nothing of it stays once the paths' memory has passed.
TEST(SoftKneeHq, NonFiniteInputStaysInFilters)
{
    for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
        std::vector<float> in = sine(440.0, 0.5, 48000.0, 2048);
        in[300] = 0.0f;
        auto reference = makeHq(48000.0, static_cast<HqQuality>(q));
        reference->setBoost(11.0f);
        const Stereo expected = render(*reference, in, in, 64);
        for (const float bad : {kNaN, kInf, -kInf}) {
            auto hq = makeHq(48000.0, static_cast<HqQuality>(q));
            hq->setBoost(11.0f);
            in[300] = bad;
            const Stereo out = render(*hq, in, in, 64);
            EXPECT_EQ(out.left, expected.left) << "quality " << q << ", input " << bad;
            EXPECT_EQ(out.right, expected.right) << "quality " << q << ", input " << bad;
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

// Noise across the knee at every level the curve meets (quiet, near the knee, loud, subnormal,
// exact zeros), through every Quality, with every control gliding and the Quality switching on
// the way: any vector kernel must give the scalar reference's bits.
Stereo renderWithKernel(HqKernel kernel, HqQuality quality)
{
    hqPinKernel(kernel);
    auto hq = makeHq(44100.0, quality);
    hqUnpinKernel();
    std::vector<float> left(6000);
    std::vector<float> right(6000);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < left.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const float unit = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
        const float level = i < 1000 ? 0.01f : (i < 2000 ? 0.09f : (i < 3000 ? 2.0f : 1e-39f));
        left[i] = unit * level;
        right[i] = i % 7 == 0 ? 0.0f : -unit * level * 3.0f;
    }
    Stereo out{std::vector<float>(left.size()), std::vector<float>(right.size())};
    for (std::int32_t start = 0, block = 0; start < 6000; start += 256, ++block) {
        hq->setBoost(block % 3 == 0 ? 11.0f : 2.5f);
        hq->setKnee(block % 4 == 1 ? 0.0f : (block % 4 == 2 ? 1.0f : 0.3f));
        hq->setHardness(block % 5 == 3 ? 1.0f : 0.4f);
        hq->setOutputDb(block % 2 == 0 ? 6.0f : -3.0f);
        hq->setMixPercent(block % 6 == 5 ? 40.0f : 100.0f);
        if (block == 12) {
            hq->setQuality(static_cast<float>((static_cast<std::int32_t>(quality) + 2) % kHqQualityCount));
        }
        const std::int32_t n = std::min(256, 6000 - start);
        hq->process(left.data() + start, right.data() + start, out.left.data() + start, out.right.data() + start, n);
    }
    return out;
}

// The antiderivative in double, before any rounding to float could hide a last-bit difference:
// every lane of every vector kernel must be the scalar reference's, for inputs from far below the
// knee to far above it, at curves from straight to flat.
TEST(SoftKneeHq, VectorAntiderivativeDiffersFromScalar)
{
    std::vector<float> x;
    for (float magnitude = 1e-7f; magnitude < 1e10f; magnitude *= 1.0137f) {
        x.push_back(magnitude);
        x.push_back(-magnitude * 0.999f);
    }
    x.resize(x.size() / 4 * 4);
    const double curves[][2] = {{0.5, 0.0}, {0.5, 0.5}, {0.1, 1.0 - 1e-9}, {0.3, 1.0},
                                {0.0, 0.0}, {1.0, 0.7}, {0.97, 0.2}};
    std::vector<double> expected(x.size());
    std::vector<double> f(x.size());
    for (const auto& c : curves) {
        const HqCurve curve = makeHqCurve(c[0], c[1]);
        hqScalarKernels().antiderivatives(x.data(), static_cast<std::int32_t>(x.size()), curve, expected.data());
        for (const HqKernel kernel : {HqKernel::sse2, HqKernel::avx2}) {
            if (hqKernelSupported(kernel)) {
                hqKernelSet(kernel).antiderivatives(x.data(), static_cast<std::int32_t>(x.size()), curve, f.data());
                EXPECT_EQ(f, expected) << hqKernelName(kernel) << ", knee " << c[0] << ", hardness " << c[1];
            }
        }
    }
}

TEST(SoftKneeHq, VectorKernelDiffersFromScalar)
{
    for (const HqKernel kernel : {HqKernel::sse2, HqKernel::avx2}) {
        if (!hqKernelSupported(kernel)) {
            continue;
        }
        for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
            const Stereo expected = renderWithKernel(HqKernel::scalar, static_cast<HqQuality>(q));
            const Stereo out = renderWithKernel(kernel, static_cast<HqQuality>(q));
            EXPECT_EQ(out.left, expected.left) << hqKernelName(kernel) << ", quality " << q;
            EXPECT_EQ(out.right, expected.right) << hqKernelName(kernel) << ", quality " << q;
        }
    }
}

// Every kernel at every Quality, each row a kernel the processor runs.
struct KernelQuality {
    HqKernel kernel;
    HqQuality quality;
};

class HqKernelAtQuality : public ::testing::TestWithParam<KernelQuality> {
protected:
    void SetUp() override
    {
        if (!hqKernelSupported(GetParam().kernel)) {
            GTEST_SKIP() << hqKernelName(GetParam().kernel) << " is not on this processor";
        }
    }
};

constexpr unsigned int kHostDefault = 0x1f80u; // MXCSR: to nearest, no flush, every exception masked
constexpr unsigned int kInvalidAndDivideByZero = 0x0005u;
constexpr unsigned int kTheirMasks = 0x0280u;

std::vector<float> noise(std::size_t count, float level, std::uint32_t seed)
{
    std::vector<float> x(count);
    for (float& sample : x) {
        seed = seed * 1664525u + 1013904223u;
        sample = (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f) * level;
    }
    return x;
}

// A kernel computes lanes whose results it drops; with a host's invalid-operation and
// division-by-zero exceptions unmasked, one 0/0 or x/0 among them traps (the test program dies
// of SIGFPE). The kernels run as the core calls them but without its environment, under the
// host's usual mode and the core's, over silence, DC, noise at 1e-38, a full-scale sine and
// spikes of +-1e30, at curves with a knee of 0 and of 1 and flat at hardness 1.
TEST_P(HqKernelAtQuality, DeadLaneTrapsWithExceptionsUnmasked)
{
    const HqKernel kernel = GetParam().kernel; // plain names, which lambdas capture on every compiler
    const HqQuality quality = GetParam().quality;
    std::vector<float> x(640, 0.0f);
    x.insert(x.end(), 640, 0.25f);
    x.insert(x.end(), 640, -3.0f);
    const std::vector<float> tiny = noise(640, 1e-38f, 99);
    const std::vector<float> tone = sine(997.0, 1.0, 48000.0, 640);
    x.insert(x.end(), tiny.begin(), tiny.end());
    x.insert(x.end(), tone.begin(), tone.end());
    for (int i = 0; i < 640; ++i) {
        x.push_back(i % 50 == 0 ? (i % 100 == 0 ? 1e30f : -1e30f) : 0.0f);
    }
    const double settings[][2] = {{0.5, 0.0}, {1.0, 0.3}, {0.0, 1.0}, {0.2, 0.999}};
    for (const auto& setting : settings) {
        const std::vector<HqCurve> curves(kHqPieceFrames, makeHqCurve(setting[0], setting[1]));
        const bool changed[kHqPieceFrames] = {};
        for (const unsigned int mode : {kHostDefault, hqFloatMode()}) {
            auto path = std::make_unique<HqChannelPath>();
            path->configure(quality, kernel);
            float out[kHqPieceFrames];
            const unsigned int saved = _mm_getcsr();
            _mm_setcsr(mode & ~kTheirMasks);
            for (std::size_t start = 0; start < x.size(); start += kHqPieceFrames) {
                path->run(x.data() + start, curves.data(), changed, kHqPieceFrames, out);
            }
            const unsigned int raised = _mm_getcsr() & kInvalidAndDivideByZero;
            _mm_setcsr(saved);
            EXPECT_EQ(raised, 0u) << "knee " << setting[0] << ", hardness " << setting[1] << ", mode " << mode;
        }
    }
}

// A host may leave flush-to-zero, denormals-are-zero or a directed rounding mode set, flags
// raised or exceptions unmasked; the core's output must be the default mode's bits, and the
// host must get its MXCSR back. The signal: a 7 kHz tone decaying to 1e-40 beside noise at
// 1e-38, 0.01 and 2, with the controls and the Quality changing.
TEST_P(HqKernelAtQuality, HostModeChangesOutputOrIsNotGivenBack)
{
    const HqKernel kernel = GetParam().kernel; // plain names, which lambdas capture on every compiler
    const HqQuality quality = GetParam().quality;
    constexpr std::int32_t kFrames = 6000;
    Stereo in{sine(7000.0, 0.9, 48000.0, kFrames), noise(2000, 1e-38f, 7)};
    for (const float level : {0.01f, 2.0f}) {
        const std::vector<float> more = noise(2000, level, 7);
        in.right.insert(in.right.end(), more.begin(), more.end());
    }
    for (std::int32_t i = 0; i < kFrames; ++i) {
        in.left[static_cast<std::size_t>(i)] *= static_cast<float>(std::pow(1e-40 / 0.9, i / (kFrames - 1.0)));
    }
    const auto renderIn = [&](unsigned int mode) {
        const unsigned int saved = _mm_getcsr();
        _mm_setcsr(mode);
        hqPinKernel(kernel);
        auto hq = makeHq(44100.0, quality);
        hqUnpinKernel();
        Stereo out{std::vector<float>(kFrames), std::vector<float>(kFrames)};
        for (std::int32_t start = 0, block = 0; start < kFrames; start += 500, ++block) {
            hq->setBoost(block % 3 == 0 ? 11.0f : 2.5f);
            hq->setKnee(block % 4 == 1 ? 0.0f : 0.3f);
            hq->setHardness(block % 5 == 3 ? 1.0f : 0.4f);
            hq->setOutputDb(block % 2 == 0 ? 6.0f : -3.3f);
            hq->setMixPercent(block % 6 == 5 ? 40.0f : 100.0f);
            hq->setQuality(block == 8 ? 4.4f - static_cast<float>(quality) : static_cast<float>(quality));
            hq->process(in.left.data() + start, in.right.data() + start, out.left.data() + start,
                        out.right.data() + start, 500);
        }
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after, mode) << "the host's MXCSR after the calls";
        out.left.insert(out.left.end(), out.right.begin(), out.right.end());
        return out.left;
    };
    const std::vector<float> expected = renderIn(kHostDefault);
    const struct {
        const char* what;
        unsigned int mode;
    } modes[] = {{"flush to zero", kHostDefault | 0x8000u},
                 {"denormals are zero", kHostDefault | 0x0040u},
                 {"both", kHostDefault | 0x8040u},
                 {"round down", kHostDefault | 0x2000u},
                 {"round up", kHostDefault | 0x4000u},
                 {"round toward zero, every flag raised", kHostDefault | 0x6000u | 0x003fu},
                 {"invalid and division by zero unmasked", kHostDefault & ~kTheirMasks}};
    for (const auto& mode : modes) {
        const std::vector<float> out = renderIn(mode.mode);
        std::size_t differing = 0;
        for (std::size_t i = 0; i < out.size(); ++i) {
            differing += std::bit_cast<std::uint32_t>(out[i]) != std::bit_cast<std::uint32_t>(expected[i]) ? 1 : 0;
        }
        EXPECT_EQ(differing, 0u) << "samples of " << out.size() << " that differ from the default mode's, "
                                 << mode.what;
    }
}

// The cost of a quiet signal, counted rather than timed: a block whose curve input stays at or
// below the knee, under one curve or a gliding one, takes no logarithm and no quotient in any
// kernel; one that crosses the knee once does, so the count is seen to count.
TEST_P(HqKernelAtQuality, BelowKneeBlockTakesTheGeneralPath)
{
    const HqKernel kernel = GetParam().kernel; // plain names, which lambdas capture on every compiler
    const HqQuality quality = GetParam().quality;
    if (quality == HqQuality::x1) {
        GTEST_SKIP() << "1x runs the plain curve, without anti-aliasing";
    }
    const std::int32_t factor = hqOversampling(quality);
    const std::vector<float> quiet = noise(static_cast<std::size_t>(kHqPieceFrames * factor), 0.01f, 5);
    std::vector<float> loud = quiet;
    loud[loud.size() / 3] = 0.75f;
    std::vector<float> y(quiet.size());
    std::vector<double> scratch(3 * (quiet.size() + 1));
    for (const bool gliding : {false, true}) {
        std::vector<HqCurve> curves;
        bool changed[kHqPieceFrames];
        for (std::int32_t i = 0; i < kHqPieceFrames; ++i) {
            curves.push_back(makeHqCurve(gliding ? 0.5 - 0.001 * i : 0.5, gliding ? 0.1 : 0.0));
            changed[i] = gliding;
        }
        const auto general = [&](const std::vector<float>& x) {
            double state[2] = {0.002, 0.5 * 0.002 * 0.002};
            return hqKernelSet(kernel).adaa(x.data(), kHqPieceFrames, factor, curves.data(), changed, state,
                                            scratch.data(), y.data());
        };
        EXPECT_EQ(general(quiet), 0) << (gliding ? "gliding" : "one curve");
        EXPECT_GT(general(loud), 0) << (gliding ? "gliding" : "one curve");
    }
}

std::vector<KernelQuality> kernelQualities()
{
    std::vector<KernelQuality> rows;
    for (const HqKernel kernel : {HqKernel::scalar, HqKernel::sse2, HqKernel::avx2}) {
        for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
            rows.push_back({kernel, static_cast<HqQuality>(q)});
        }
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, HqKernelAtQuality, ::testing::ValuesIn(kernelQualities()), [](const auto& info) {
    return std::string(hqKernelName(info.param.kernel)) + "_q" + hqQualityName(info.param.quality);
});

} // namespace
