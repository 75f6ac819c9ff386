// The HQ core as a format drives it: controls in real units, any block size, in-place buffers.

#include "hq_antiderivative.h"
#include "hq_kernels.h"
#include "hq_oversampling.h"
#include "hq_tone_levels.h"
#include "soft_knee_hq.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    float mixPercent = 100.0f;
    float outputDb = 0.0f;
};

class HqTransparency : public ::testing::TestWithParam<TransparencyCase> {};

// At Knee 1 and Boost 1 the curve is a straight line below full scale: the output must be the
// input delayed by exactly the reported latency, times (1 - mix) + gain * mix. A wrong latency, a
// droop left uncompensated, a filter that passes less than the audible band, a dry share not
// delayed with the shaped one (a comb filter) or Output applied to the dry share show as a residual.
TEST_P(HqTransparency, LatencyOrDroopWrongLeavesResidual)
{
    const TransparencyCase c = GetParam();
    auto hq = makeHq(c.rate, c.quality);
    hq->setKnee(1.0f);
    hq->setBoost(1.0f);
    hq->setMixPercent(c.mixPercent);
    hq->setOutputDb(c.outputDb);
    hq->reset();
    const double mix = c.mixPercent / 100.0;
    const double scale = (1.0 - mix) + std::pow(10.0, c.outputDb / 20.0) * mix;
    const std::int32_t frames = 8192;
    const std::vector<float> in = sine(c.frequency, 0.5, c.rate, frames);
    const Stereo out = render(*hq, in, in, 100);
    const std::int32_t latency = hqLatencyFrames(c.rate);
    double signal = 0.0;
    double residual = 0.0;
    for (std::int32_t i = 1024; i < frames; ++i) {
        const double expected = scale * in[static_cast<std::size_t>(i - latency)];
        signal += expected * expected;
        for (const auto* channel : {&out.left, &out.right}) {
            const double e = (*channel)[static_cast<std::size_t>(i)] - expected;
            residual += 0.5 * e * e;
        }
    }
    const double residualDb = 10.0 * std::log10(residual / signal);
    EXPECT_LT(residualDb, c.maxResidualDb) << hqQualityName(c.quality) << " at " << c.rate << " Hz, " << c.frequency
                                           << " Hz sine, Mix " << c.mixPercent << " %, Output " << c.outputDb << " dB";
}

std::vector<TransparencyCase> transparencyCases()
{
    std::vector<TransparencyCase> cases;
    for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
        for (const double rate : {44100.0, 48000.0}) {
            cases.push_back({static_cast<HqQuality>(q), rate, 1000.0, -80.0});
            cases.push_back({static_cast<HqQuality>(q), rate, 10000.0, -60.0});
        }
        for (const float mix : {0.0f, 50.0f}) {
            cases.push_back({static_cast<HqQuality>(q), 48000.0, 1000.0, -80.0, mix});
        }
        cases.push_back({static_cast<HqQuality>(q), 48000.0, 1000.0, -80.0, 50.0f, 6.0f});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryQuality, HqTransparency, ::testing::ValuesIn(transparencyCases()), [](const auto& info) {
    const TransparencyCase& c = info.param;
    return std::string("q") + hqQualityName(c.quality) + "_" + std::to_string(int(c.rate)) + "Hz_tone" +
           std::to_string(int(c.frequency)) + (c.mixPercent == 100.0f ? "" : "_mix" + std::to_string(int(c.mixPercent))) +
           (c.outputDb == 0.0f ? "" : "_output" + std::to_string(int(c.outputDb)) + "dB");
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

struct GlideCase {
    void (SoftKneeHq::*set)(float);
    const char* control;
    float from;
    float to;
    double rate;
};

class HqGlides : public ::testing::TestWithParam<GlideCase> {};

// DC at a linear setting (Knee 1) and Output -6 dB, a control stepped at a piece's start: the
// output must move for the glide's whole 20 ms, frame by frame, and settle after it
// (for Boost, the filters' span later). A shortened glide still avoids clicks, and is heard.
TEST_P(HqGlides, GlideShorterOrLongerThanItsTime)
{
    const GlideCase c = GetParam();
    auto hq = makeHq(c.rate, HqQuality::x8);
    hq->setKnee(1.0f);
    hq->setOutputDb(-6.0f);
    ((*hq).*c.set)(c.from);
    hq->reset();
    const auto glide = static_cast<std::int32_t>(0.02 * c.rate + 0.5); // 20 ms, as the README promises
    constexpr std::int32_t kChange = 4096;
    const std::int32_t frames = kChange + 3 * glide;
    const std::vector<float> in(static_cast<std::size_t>(frames), 0.25f);
    std::vector<float> out(in.size());
    for (std::int32_t start = 0; start < frames; start += 64) {
        if (start == kChange) {
            ((*hq).*c.set)(c.to);
        }
        const std::int32_t n = std::min(64, frames - start);
        hq->process(in.data() + start, in.data() + start, out.data() + start, out.data() + start, n);
    }
    std::int32_t first = -1;
    std::int32_t last = -1;
    for (std::int32_t i = kChange / 2; i < frames; ++i) { // the filters have filled by kChange / 2
        if (out[static_cast<std::size_t>(i)] != out[static_cast<std::size_t>(i - 1)]) {
            first = first < 0 ? i : first;
            last = i;
        }
    }
    ASSERT_GE(first, kChange) << c.control << ": the output moved before the change";
    const std::int32_t moving = last - kChange + 1;
    EXPECT_GE(moving, glide) << c.control << " from " << c.from << " to " << c.to << " at " << c.rate << " Hz";
    EXPECT_LE(moving, glide + 2 * hqLatencyFrames(c.rate) + 1) << c.control << " at " << c.rate << " Hz";
}

std::vector<GlideCase> glideCases()
{
    std::vector<GlideCase> cases;
    for (const double rate : {44100.0, 48000.0}) {
        cases.push_back({&SoftKneeHq::setBoost, "Boost", 1.0f, 2.0f, rate});
        cases.push_back({&SoftKneeHq::setOutputDb, "Output", -6.0f, 0.0f, rate});
        cases.push_back({&SoftKneeHq::setMixPercent, "Mix", 100.0f, 50.0f, rate});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(OnDcAtALinearSetting, HqGlides, ::testing::ValuesIn(glideCases()), [](const auto& info) {
    return std::string(info.param.control) + "_" + std::to_string(int(info.param.rate)) + "Hz";
});

struct QualityFadeCase {
    HqQuality from;
    HqQuality to;
    HqQuality midFade; // requested halfway through the fade; == to for no request
};

class HqQualityFades : public ::testing::TestWithParam<QualityFadeCase> {};

// The wet output during a switch is old + fade (new - old), each path's output being what a
// processor that stays at its Quality gives. A 9 kHz tone at Boost 11 makes the paths differ
// widely; where they differ by 0.05 or more, the fade is read back from the output. It must
// never fall and rise by at most one fade length's share a frame until it reaches 1, also with
// a request made halfway through; a request back to the old Quality then fades back the same way.
TEST_P(HqQualityFades, FadeSkippedOrInterrupted)
{
    const QualityFadeCase c = GetParam();
    constexpr double kRate = 48000.0;
    const auto fadeFrames = static_cast<std::int32_t>(kHqQualityFadeSeconds * kRate + 0.5);
    ASSERT_EQ(fadeFrames, 480) << "a Quality change fades over 10 ms";
    constexpr std::int32_t kSwitch = 4096;
    const std::int32_t midFade = (kSwitch + kHqPathMemoryFrames + fadeFrames / 2) / 64 * 64;
    const std::int32_t frames = kSwitch + 4 * (kHqPathMemoryFrames + fadeFrames);
    const std::vector<float> in = sine(9000.0, 0.5, kRate, frames);
    const auto run = [&](HqQuality first, bool switching) {
        auto hq = makeHq(kRate, first);
        hq->setBoost(11.0f);
        hq->setHardness(0.5f);
        hq->reset();
        std::vector<float> out(in.size());
        for (std::int32_t start = 0; start < frames; start += 64) {
            if (switching && start == kSwitch) {
                hq->setQuality(static_cast<float>(c.to));
            }
            if (switching && start == midFade) {
                hq->setQuality(static_cast<float>(c.midFade));
            }
            hq->process(in.data() + start, in.data() + start, out.data() + start, out.data() + start, 64);
        }
        return out;
    };
    const std::vector<float> before = run(c.from, false);
    const std::vector<float> after = run(c.to, false);
    const std::vector<float> out = run(c.from, true);
    const double step = 1.0 / fadeFrames;
    constexpr double kTolerance = 1e-5;
    double fade = 0.0;
    std::int32_t at = kSwitch;
    bool back = false; // fading back to the old Quality
    for (std::int32_t i = kSwitch; i < frames; ++i) {
        const double a = before[static_cast<std::size_t>(i)];
        const double difference = after[static_cast<std::size_t>(i)] - a;
        if (std::fabs(difference) < 0.05) {
            continue;
        }
        const double now = (out[static_cast<std::size_t>(i)] - a) / difference;
        const double rise = back ? fade - now : now - fade;
        ASSERT_GE(rise, -kTolerance) << "frame " << i << ": the fade went from " << fade << " back to " << now;
        ASSERT_LE(rise, (i - at) * step + kTolerance) << "frame " << i << ": the fade jumped from " << fade << " to "
                                                      << now << " in " << (i - at) << " frames";
        fade = now;
        at = i;
        if (!back && fade > 1.0 - kTolerance) {
            if (c.midFade != c.from) {
                break;
            }
            back = true;
        }
    }
    EXPECT_NEAR(fade, back ? 0.0 : 1.0, kTolerance) << "the fade never ended";
}

INSTANTIATE_TEST_SUITE_P(
    UpDownAndInterrupted, HqQualityFades,
    ::testing::Values(QualityFadeCase{HqQuality::x1, HqQuality::x16, HqQuality::x16},
                      QualityFadeCase{HqQuality::x16, HqQuality::x1, HqQuality::x1},
                      QualityFadeCase{HqQuality::x1, HqQuality::x16, HqQuality::x1},
                      QualityFadeCase{HqQuality::x1, HqQuality::x8, HqQuality::x4}),
    [](const auto& info) {
        const QualityFadeCase& c = info.param;
        return std::string("from") + hqQualityName(c.from) + "to" + hqQualityName(c.to) +
               (c.midFade == c.to ? "" : std::string("then") + hqQualityName(c.midFade));
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

// The curve's exact mean from lo to hi, lo at or below the knee and hi above it: the straight
// part's integral and the bent part's, D - (w^2 / a) ln(1 + a D / w) over D above the knee.
long double exactMeanAcrossTheKnee(double lo, double hi, const HqCurve& curve)
{
    const long double knee = curve.knee;
    const long double below = (knee - lo) * (knee + lo) / 2;
    const long double d = hi - knee;
    const long double w = curve.w;
    const long double a = curve.a;
    const long double bent = curve.flat ? knee * d : d - w * w / a * std::log1p(a * d / w);
    return (below + bent) / (static_cast<long double>(hi) - lo);
}

// Pairs of inputs on both sides of the knee, apart by 1e-2 down to 1e-9, through the quotient
// and through the midpoint where the inputs are too close for it: the anti-aliased curve must
// be within 1e-7 of the curve's exact mean. A threshold for "too close" too large, or the
// fallback taken at one end of the pair, fails here and is too small to see in a rendering.
TEST(SoftKneeHq, AntiderivativeOffTheCurvesMeanAcrossTheKnee)
{
    const double curves[][2] = {{0.5, 0.0}, {0.5, 0.5}, {0.3, 1.0}, {0.9, 0.3}, {0.99, 0.0}, {0.999, 0.9}};
    for (const auto& k : curves) {
        const HqCurve curve = makeHqCurve(k[0], k[1]);
        for (double apart = 1e-2; apart > 0.9e-9; apart /= std::sqrt(std::sqrt(10.0))) {
            for (const double share : {0.1, 0.5, 0.9}) {
                const double lo = curve.knee - share * apart;
                const double hi = lo + apart;
                const double exact = static_cast<double>(exactMeanAcrossTheKnee(lo, hi, curve));
                for (const double sign : {1.0, -1.0}) {
                    const double x0 = sign * lo;
                    const double x1 = sign * hi;
                    const double f0 = hqAntiderivative(x0, curve);
                    const double f1 = hqAntiderivative(x1, curve);
                    EXPECT_NEAR(hqAdaa(x0, x1, f0, f1, curve), sign * exact, 1e-7)
                        << "knee " << k[0] << ", hardness " << k[1] << ", from " << x0 << " to " << x1;
                    EXPECT_NEAR(hqAdaa(x1, x0, f1, f0, curve), sign * exact, 1e-7)
                        << "knee " << k[0] << ", hardness " << k[1] << ", from " << x1 << " to " << x0;
                }
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

} // namespace
