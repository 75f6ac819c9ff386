// The HQ core as a format drives it: controls in real units, any block size, in-place buffers.

#include "hq_antiderivative.h"
#include "hq_float_environment.h"
#include "hq_kernels.h"
#include "hq_oversampling.h"
#include "hq_tone_levels.h"
#include "soft_knee_hq.h"
#include "soft_knee_hq_presets.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
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
    bool bypassed = false; // then the output must be the delayed input bit for bit
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
    hq->setBypass(c.bypassed);
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
            if (c.bypassed) {
                ASSERT_EQ(e, 0.0) << "bypassed, frame " << i;
            }
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
        cases.push_back({static_cast<HqQuality>(q), 48000.0, 1000.0, -300.0, 100.0f, 0.0f, true});
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
           (c.outputDb == 0.0f ? "" : "_output" + std::to_string(int(c.outputDb)) + "dB") + (c.bypassed ? "_bypassed" : "");
});

struct AliasingCase {
    HqQuality quality;
    double rate;
    double tone;
    float knee;
    float hardness;
    double maxAliasDb; // the strongest non-harmonic component in 20 Hz..20 kHz, re the tone
    float ceilingDb = kHqCeilingDb.maximum;
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
    hq->setCeilingDb(c.ceilingDb);
    hq->reset();
    const Stereo out = render(*hq, in, in, 512);
    const double aliasDb = hq_tone_levels::strongestAliasDb(out.left.data() + kSize, kSize, bin, c.rate);
    EXPECT_LT(aliasDb, c.maxAliasDb) << hqQualityName(c.quality) << " at " << c.rate << " Hz, tone " << c.tone
                                     << " Hz, knee " << c.knee << ", hardness " << c.hardness << ", ceiling "
                                     << c.ceilingDb;
    RecordProperty("alias_db", std::to_string(aliasDb));
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
    // The ceiling is a clip at the base rate; its own aliasing where it acts, at every Quality:
    // at 0 dBFS on the ringing of a hard clip (Knee 1, Hardness 1), and at -6 dBFS cutting
    // 3 dB off the shaped tone's peaks.
    const double ceilingLimits[kHqQualityCount][2] = {
        {-12.0, -11.0}, {-20.5, -12.5}, {-22.0, -12.5}, {-22.0, -12.5}, {-22.0, -12.5}};
    for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
        cases.push_back({static_cast<HqQuality>(q), 48000.0, 7000.0, 1.0f, 1.0f, ceilingLimits[q][0], 0.0f});
        cases.push_back({static_cast<HqQuality>(q), 48000.0, 7000.0, 0.5f, 0.0f, ceilingLimits[q][1], -6.0f});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(HighestAndDefaultQuality, HqAliasing, ::testing::ValuesIn(aliasingCases()),
                         [](const auto& info) {
                             const AliasingCase& c = info.param;
                             return std::string("q") + hqQualityName(c.quality) + "_" + std::to_string(int(c.rate)) +
                                    "Hz_tone" + std::to_string(int(c.tone)) + "_knee" +
                                    std::to_string(int(c.knee * 10)) + "_hard" + std::to_string(int(c.hardness * 10)) +
                                    (c.ceilingDb <= 0.0f ? "_ceiling" + std::to_string(int(-c.ceilingDb)) : "");
                         });

struct ClickCase {
    std::function<void(SoftKneeHq&, float)> set;
    const char* control;
    float from;
    float to;
    float largestRatio = 1.5f; // of the steepest step to the steady output's steepest
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
    c.set(*hq, c.from);
    hq->reset();
    std::vector<float> left(in.size());
    std::vector<float> right(in.size());
    constexpr std::int32_t kChange = kSecond + 640; // off the sine's zero crossings
    for (std::int32_t start = 0; start < static_cast<std::int32_t>(in.size()); start += 64) {
        if (start == kChange) {
            c.set(*hq, c.to);
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
    EXPECT_LE(during, c.largestRatio * std::max(before, after))
        << c.control << " from " << c.from << " to " << c.to << ": steady steps " << before << " and " << after;
    RecordProperty("click_ratio", std::to_string(during / std::max(before, after)));
}

std::vector<ClickCase> clickCases()
{
    const ClickCase ends[] = {
        {&SoftKneeHq::setBoost, "Boost", kHqBoost.minimum, kHqBoost.maximum},
        {&SoftKneeHq::setKnee, "Knee", kHqKnee.minimum, kHqKnee.maximum},
        {&SoftKneeHq::setHardness, "Hardness", kHqHardness.minimum, kHqHardness.maximum},
        {&SoftKneeHq::setOutputDb, "Output", kHqOutputDb.minimum, kHqOutputDb.maximum},
        {&SoftKneeHq::setMixPercent, "Mix", kHqMixPercent.minimum, kHqMixPercent.maximum},
        {&SoftKneeHq::setAutoGain, "AutoGain", kHqAutoGain.minimum, kHqAutoGain.maximum},
        {&SoftKneeHq::setCeilingDb, "Ceiling", kHqCeilingDb.minimum, 0.0f},
        // The bypass: no step steeper than the steady signal's own, effect or dry.
        {[](SoftKneeHq& hq, float on) { hq.setBypass(on != 0.0f); }, "Bypass", 0.0f, 1.0f, 1.0f},
    };
    std::vector<ClickCase> cases;
    for (const ClickCase& c : ends) {
        cases.push_back(c);
        cases.push_back({c.set, c.control, c.to, c.from, c.largestRatio});
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

// A setting held from the start and the same setting reached by a glide that has ended must
// give the same bits, and a glide that ends inside a piece those of one run frame by frame: the
// core takes a held Boost, Output and Mix as one value, a glide's frames one by one. Noise
// across the knee with exact zeros.
struct HeldCase {
    HqQuality quality;
    float autoGain;
    float to[3];   // Boost, Output dB, Mix %
    float from[3]; // the same, before the glide
};

class HqHeld : public ::testing::TestWithParam<HeldCase> {};

TEST_P(HqHeld, HeldSettingOrGlideEndingInAPieceChangesTheBits)
{
    const HeldCase c = GetParam();
    std::vector<float> left(3000);
    std::vector<float> right(3000);
    for (std::uint32_t i = 0, state = 777; i < 3000; ++i) {
        state = state * 1664525u + 1013904223u;
        const float unit = static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
        left[i] = i % 5 == 0 ? 0.0f : unit * 1.5f;
        right[i] = i % 7 == 0 ? -0.0f : unit * 0.05f;
    }
    // From `from`, the settings change to `to` after frame 10: a glide that ends at frame 969,
    // inside a block of 50 but at the end of a block of 1.
    const auto run = [&](const float* from, std::int32_t block) {
        auto hq = makeHq(48000.0, c.quality);
        hq->setAutoGain(c.autoGain);
        Stereo out{left, right};
        for (std::int32_t start = 0; start < 3000; start += start < 10 ? 10 : block) {
            const float* const setting = start < 10 ? from : c.to;
            hq->setBoost(setting[0]);
            hq->setOutputDb(setting[1]);
            hq->setMixPercent(setting[2]);
            if (start == 0) {
                hq->reset();
            }
            const std::int32_t n = std::min(start < 10 ? 10 : block, 3000 - start);
            hq->process(&left[start], &right[start], &out.left[start], &out.right[start], n);
        }
        return out;
    };
    const auto same = [](const Stereo& a, const Stereo& b, std::size_t from) {
        const std::size_t bytes = (a.left.size() - from) * sizeof(float);
        return std::memcmp(&a.left[from], &b.left[from], bytes) == 0 &&
               std::memcmp(&a.right[from], &b.right[from], bytes) == 0;
    };
    const Stereo inBlocks = run(c.from, 50);
    EXPECT_TRUE(same(inBlocks, run(c.from, 1), 0)) << "a glide ending inside a piece";
    // A glided Boost is heard through the path's delay.
    const std::size_t ended = 969 + (c.to[0] != c.from[0] ? kHqPathDelayFrames : 0);
    EXPECT_TRUE(same(inBlocks, run(c.to, 50), ended)) << "a held setting";
}

INSTANTIATE_TEST_SUITE_P(BoostOutputMix, HqHeld,
                         ::testing::Values(HeldCase{HqQuality::x1, 0.0f, {1.0f, 0.0f, 100.0f}, {2.0f, -6.0f, 50.0f}},
                                           HeldCase{HqQuality::x1, 0.0f, {3.5f, -6.0f, 100.0f}, {1.0f, 0.0f, 100.0f}},
                                           HeldCase{HqQuality::x1, 1.0f, {11.0f, 6.0f, 37.5f}, {11.0f, 0.0f, 100.0f}},
                                           HeldCase{HqQuality::x1, 0.0f, {1.0f, 0.0f, 100.0f}, {1.0f, -6.0f, 50.0f}},
                                           HeldCase{HqQuality::x8, 0.0f, {2.0f, 0.0f, 100.0f}, {2.0f, 6.0f, 0.0f}},
                                           HeldCase{HqQuality::x8, 1.0f, {2.0f, -3.0f, 60.0f}, {2.0f, 0.0f, 100.0f}}));

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
            hq.setAutoGain(value);
            hq.setCeilingDb(value);
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
        // Each block in an odd piece and the rest, which leaves a vector kernel frames that fill
        // only part of a vector at 2x and 4x.
        const std::int32_t n = std::min(256, 6000 - start);
        for (const std::int32_t at : {start, start + 37}) {
            const std::int32_t count = at == start ? 37 : n - 37;
            hq->process(left.data() + at, right.data() + at, out.left.data() + at, out.right.data() + at, count);
        }
    }
    return out;
}

// At the end of a test that compared every kernel this processor runs: skipped, saying so, where
// it lacks one.
void skipWhereAKernelIsMissing()
{
    for (const HqKernel kernel : {HqKernel::sse2, HqKernel::avx2, HqKernel::avx512}) {
        if (!hqKernelSupported(kernel)) {
            GTEST_SKIP() << hqKernelName(kernel) << " is not on this processor; the kernels it runs were compared";
        }
    }
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
        for (const HqKernel kernel : {HqKernel::sse2, HqKernel::avx2, HqKernel::avx512}) {
            if (hqKernelSupported(kernel)) {
                hqKernelSet(kernel).antiderivatives(x.data(), static_cast<std::int32_t>(x.size()), curve, f.data());
                EXPECT_EQ(f, expected) << hqKernelName(kernel) << ", knee " << c[0] << ", hardness " << c[1];
            }
        }
    }
    skipWhereAKernelIsMissing();
}

// The input and output kernels on the samples where lanes go different ways: non-finite and
// subnormal inputs, zeros of both signs, and samples beyond the loudest the path takes; every
// vector kernel must give the scalar reference's bits, in every lane and in the scalar tail.
TEST(SoftKneeHq, VectorInputOrOutputKernelDiffersFromScalar)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float special[] = {0.0f,       -0.0f, inf,   -inf, nan,   -nan,    1e-40f, -1e-40f, 0x1p-126f,
                             -0x1p-126f, 0.3f,  -0.7f, 5e9f, -5e9f, 0x1p32f, 3e38f,  -1.0f,   2.5f};
    std::vector<float> x;
    for (std::size_t i = 0; i < 7 * std::size(special); ++i) {
        x.push_back(special[(i * 5) % std::size(special)]);
    }
    const auto frames = static_cast<std::int32_t>(x.size());
    const auto bitsOf = [](const std::vector<float>& v) {
        std::vector<std::uint32_t> bits;
        for (const float f : v) {
            bits.push_back(std::bit_cast<std::uint32_t>(f));
        }
        return bits;
    };
    std::vector<float> wet(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        wet[i] = i % 3 == 0 ? (i % 2 == 0 ? -0.0f : 0.0f) : 0.25f * static_cast<float>(i % 7) - 0.75f;
    }
    for (const float boost : {1.0f, 3.7f, 11.0f}) {
        std::vector<float> dry(x.size()), boosted(x.size()), expectedDry(x.size()), expectedBoosted(x.size());
        std::vector<float> y(x.size()), expectedY(x.size());
        hqScalarKernels().takeInput(x.data(), boost, expectedDry.data(), expectedBoosted.data(), frames);
        hqScalarKernels().wetOnly(expectedDry.data(), wet.data(), expectedY.data(), frames);
        for (const HqKernel kernel : {HqKernel::sse2, HqKernel::avx2, HqKernel::avx512}) {
            if (hqKernelSupported(kernel)) {
                hqKernelSet(kernel).takeInput(x.data(), boost, dry.data(), boosted.data(), frames);
                hqKernelSet(kernel).wetOnly(expectedDry.data(), wet.data(), y.data(), frames);
                EXPECT_EQ(bitsOf(dry), bitsOf(expectedDry)) << hqKernelName(kernel) << ", boost " << boost;
                EXPECT_EQ(bitsOf(boosted), bitsOf(expectedBoosted)) << hqKernelName(kernel) << ", boost " << boost;
                EXPECT_EQ(bitsOf(y), bitsOf(expectedY)) << hqKernelName(kernel) << ", boost " << boost;
            }
        }
    }
    skipWhereAKernelIsMissing();
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

// F(v) in long double: above the knee G = knee^2 / 2 + d (knee + w h), h = 1 - ln(1 + z) / z,
// z = a d / w, h from its series where z is small enough for the logarithm to cancel.
long double exactAntiderivative(float v, const HqCurve& curve)
{
    const long double m = std::fabs(static_cast<long double>(v));
    const long double knee = curve.knee;
    if (m <= knee) {
        return m * m / 2;
    }
    const long double d = m - knee;
    const long double z = curve.flat ? 0.0L : curve.a * d / curve.w;
    const long double h = z < 1e-4L ? z / 2 - z * z / 3 + z * z * z / 4 : (z - std::log1p(z)) / z;
    return knee * knee / 2 + d * (knee + curve.w * h);
}

// Pairs of inputs on one side above the knee, across it and across zero, each row a range of x0
// and of x1, or x1 the next float up from x0, or x1 = x0 ("equal"): through the quotient and
// through the midpoint where the inputs are too close for it, the anti-aliased curve must be
// within 1e-7 of the curve's exact mean, as for the pairs around the knee above, at curves from
// straight to flat and knees from 0 to nearly 1.
TEST(SoftKneeHq, AntiderivativeOffTheCurvesMeanOnEitherSide)
{
    const struct {
        const char* what;
        double knee, hardness;
        float from0, to0, from1, to1; // to1 < from1: x1 is x0's next float up; equal: x1 = x0
    } rows[] = {
        {"one side, next float up", 0.5, 0.0, 0.5001f, 4.0f, 1.0f, 0.0f},
        {"one side, equal", 0.5, 0.3, 0.51f, 3.0f, 0.0f, 0.0f},
        {"one side, far apart", 0.5, 0.0, 0.51f, 1.0f, 2.0f, 40.0f},
        {"one side below zero", 0.7, 0.6, -3.0f, -0.71f, -0.71f, -1.5f},
        {"small knee, close", 0.05, 0.2, 0.051f, 0.3f, 0.0501f, 0.31f},
        {"knee 0, tiny inputs", 0.0, 0.7, 1e-6f, 1e-3f, 1e-5f, 0.1f},
        {"hardness near 1", 0.3, 1.0 - 1e-7, 0.31f, 5.0f, 0.31f, 500.0f},
        {"flat", 0.4, 1.0, 0.41f, 2.0f, 0.5f, 3.0f},
        {"knee near 1", 1.0 - 1e-6, 0.2, 1.0001f, 2.0f, 1.001f, 3.0f},
        {"crossing", 0.5, 0.1, -0.5f, 0.5f, 0.51f, 6.0f},
        {"crossing, small knee", 0.1, 0.5, -0.0999f, 0.0999f, -9.0f, -0.11f},
        {"crossing to far above", 0.5, 0.0, -0.5f, 0.5f, 100.0f, 1e6f},
        {"jump across zero", 0.5, 0.2, 0.51f, 3.0f, -3.0f, -0.51f},
        {"jump across zero, small knee", 0.1, 0.6, -2.0f, -0.11f, 0.11f, 2.0f},
    };
    constexpr int kPairs = 4000;
    for (const auto& row : rows) {
        const HqCurve curve = makeHqCurve(row.knee, row.hardness);
        for (int i = 0; i < kPairs; ++i) {
            const float x0 = row.from0 + (row.to0 - row.from0) * static_cast<float>(i) / kPairs;
            const float share = static_cast<float>((i * 7919) % kPairs) / kPairs;
            const float x1 = row.to1 < row.from1   ? std::nextafter(x0, 1e30f)
                             : row.to1 == row.from1 ? x0
                                                    : row.from1 + (row.to1 - row.from1) * share;
            const long double exact =
                x0 == x1 ? static_cast<long double>(hqCurveValue(x0, curve))
                         : (exactAntiderivative(x1, curve) - exactAntiderivative(x0, curve)) / (1.0L * x1 - x0);
            const double f0 = hqAntiderivative(x0, curve);
            const double f1 = hqAntiderivative(x1, curve);
            EXPECT_NEAR(hqAdaa(x0, x1, f0, f1, curve), static_cast<double>(exact), 1e-7)
                << row.what << ", " << x0 << " to " << x1;
        }
    }
}

TEST(SoftKneeHq, VectorKernelDiffersFromScalar)
{
    for (const HqKernel kernel : {HqKernel::sse2, HqKernel::avx2, HqKernel::avx512}) {
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
    skipWhereAKernelIsMissing();
}

struct CeilingCase {
    HqQuality quality;
    double rate;
    float ceilingDb;
    const char* signal; // "square": full scale, 1 kHz; "noise": +-2; "sine": full scale, 15 kHz
    float boost, knee, hardness, outputDb, mixPercent;
};

class HqCeiling : public ::testing::TestWithParam<CeilingCase> {};

std::vector<float> ceilingSignal(const std::string& kind, double rate, std::int32_t frames)
{
    if (kind == "sine") {
        return sine(15000.0, 1.0, rate, frames);
    }
    std::vector<float> x(static_cast<std::size_t>(frames));
    std::uint32_t state = 77;
    const auto half = static_cast<std::int32_t>(rate / 2000.0);
    for (std::int32_t i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        x[static_cast<std::size_t>(i)] = kind == "square"
                                             ? ((i / half) % 2 == 0 ? 1.0f : -1.0f)
                                             : static_cast<float>(static_cast<std::int32_t>(state)) * 0x1p-30f;
    }
    return x;
}

// The filters ring past every step the curve makes; without the ceiling these signals leave
// above it (checked, so that a row that never reaches the ceiling cannot pass unseen), with it
// no sample leaves above its level, 1.0 exactly at 0 dBFS.
TEST_P(HqCeiling, FiltersRingPastTheCeiling)
{
    const CeilingCase c = GetParam();
    const std::vector<float> in = ceilingSignal(c.signal, c.rate, 6000);
    float peaks[2] = {};
    for (const bool on : {false, true}) {
        auto hq = makeHq(c.rate, c.quality);
        hq->setBoost(c.boost);
        hq->setKnee(c.knee);
        hq->setHardness(c.hardness);
        hq->setOutputDb(c.outputDb);
        hq->setMixPercent(c.mixPercent);
        hq->setCeilingDb(on ? c.ceilingDb : kHqCeilingDb.maximum);
        hq->reset();
        const Stereo out = render(*hq, in, in, 333);
        for (const auto* channel : {&out.left, &out.right}) {
            for (const float y : *channel) {
                peaks[on] = std::max(peaks[on], std::fabs(y));
            }
        }
    }
    const float level = static_cast<float>(std::pow(10.0, c.ceilingDb / 20.0));
    const float limit = c.ceilingDb == 0.0f ? 1.0f : std::nextafter(level, 2.0f);
    // At 1x no filter rings: the curve at Knee 1 and Hardness 1 stops at full scale itself.
    if (c.quality != HqQuality::x1 || c.ceilingDb < 0.0f || c.outputDb > 0.0f) {
        EXPECT_GT(peaks[0], limit) << "the row never reaches the ceiling";
    }
    EXPECT_LE(peaks[1], limit) << c.signal << " at " << hqQualityName(c.quality) << ", " << c.rate << " Hz";
    RecordProperty("peak_off", std::to_string(peaks[0]));
    RecordProperty("peak_on", std::to_string(peaks[1]));
}

std::vector<CeilingCase> ceilingCases()
{
    std::vector<CeilingCase> cases;
    for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
        const auto quality = static_cast<HqQuality>(q);
        for (const double rate : {44100.0, 48000.0, 96000.0}) {
            cases.push_back({quality, rate, 0.0f, "square", 11.0f, 1.0f, 1.0f, 0.0f, 100.0f});
            cases.push_back({quality, rate, -12.0f, "square", 11.0f, 1.0f, 1.0f, 0.0f, 100.0f});
        }
        cases.push_back({quality, 48000.0, 0.0f, "noise", 1.0f, 1.0f, 0.0f, 24.0f, 100.0f});
        cases.push_back({quality, 48000.0, -6.0f, "sine", 11.0f, 0.1f, 0.8f, 6.0f, 50.0f});
        cases.push_back({quality, 44100.0, -0.5f, "sine", 4.0f, 0.5f, 0.5f, 1.0f, 100.0f});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryQualityAndRate, HqCeiling, ::testing::ValuesIn(ceilingCases()), [](const auto& info) {
    const CeilingCase& c = info.param;
    return std::string("q") + hqQualityName(c.quality) + "_" + std::to_string(int(c.rate)) + "Hz_" + c.signal +
           "_ceiling" + std::to_string(int(-c.ceilingDb * 10));
});

struct AutoGainCase {
    float boost, knee, hardness;
};

class HqAutoGain : public ::testing::TestWithParam<AutoGainCase> {};

double rmsDb(const float* x, std::size_t frames)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        sum += static_cast<double>(x[i]) * x[i];
    }
    return 10.0 * std::log10(sum / static_cast<double>(frames));
}

// The stated law: with auto gain on, a 100 Hz sine at -16 dBFS RMS leaves at -16 dBFS RMS
// whatever Boost, Knee and Hardness do to it (the harmonics the filters remove cost a little).
TEST_P(HqAutoGain, ReferenceSineChangesItsRms)
{
    const AutoGainCase c = GetParam();
    const std::int32_t frames = 48000;
    const std::vector<float> in = sine(100.0, std::pow(10.0, -16.0 / 20.0) * std::sqrt(2.0), 48000.0, frames);
    auto hq = makeHq(48000.0, HqQuality::x8);
    hq->setBoost(c.boost);
    hq->setKnee(c.knee);
    hq->setHardness(c.hardness);
    hq->setAutoGain(1.0f);
    hq->reset();
    const Stereo out = render(*hq, in, in, 512);
    const double level = rmsDb(out.left.data() + 9600, 38400);
    EXPECT_NEAR(level, -16.0, 0.1) << "Boost " << c.boost << ", Knee " << c.knee << ", Hardness " << c.hardness;
    RecordProperty("rms_db", std::to_string(level));
}

std::vector<AutoGainCase> autoGainCases()
{
    std::vector<AutoGainCase> cases;
    for (const float boost : {1.0f, 3.0f, 11.0f}) {
        for (const float knee : {0.1f, 0.5f, 1.0f}) {
            for (const float hardness : {0.0f, 0.5f, 1.0f}) {
                cases.push_back({boost, knee, hardness});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(BoostKneeHardnessGrid, HqAutoGain, ::testing::ValuesIn(autoGainCases()), [](const auto& info) {
    const AutoGainCase& c = info.param;
    return "boost" + std::to_string(int(c.boost)) + "_knee" + std::to_string(int(c.knee * 10)) + "_hard" +
           std::to_string(int(c.hardness * 10));
});

// A song of drums, bass, chords and a voice-like line, 8 s at 48 kHz, peaking at peakDb.
Stereo mixedSong(double peakDb)
{
    constexpr double kRate = 48000.0;
    constexpr std::int32_t kFrames = 8 * 48000;
    constexpr std::int32_t kBeat = 24000;
    Stereo song{std::vector<float>(kFrames), std::vector<float>(kFrames)};
    std::uint32_t state = 2024;
    const auto noise = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(static_cast<std::int32_t>(state)) * 0x1p-31;
    };
    const double roots[] = {55.0, 73.42, 61.74, 49.0};
    double kickPhase = 0.0;
    double previousNoise = 0.0;
    for (std::int32_t i = 0; i < kFrames; ++i) {
        const double t = i / kRate;
        const double beatT = (i % kBeat) / kRate;
        const double eighthT = (i % (kBeat / 2)) / kRate;
        const std::int32_t beat = i / kBeat;
        const double root = roots[(beat / 4) % 4];
        kickPhase += 2.0 * kPi * (50.0 + 100.0 * std::exp(-beatT * 30.0)) / kRate;
        const double kick = std::sin(kickPhase) * std::exp(-beatT * 8.0);
        const double n = noise();
        const double snare =
            beat % 2 == 1 ? (0.6 * n + 0.5 * std::sin(2.0 * kPi * 180.0 * beatT)) * std::exp(-beatT * 20.0) : 0.0;
        const double hat = 0.25 * (n - previousNoise) * std::exp(-eighthT * 60.0);
        previousNoise = n;
        double bass = 0.0;
        for (int h = 1; h <= 4; ++h) {
            bass += std::sin(2.0 * kPi * root * h * t) / h;
        }
        double chord = 0.0;
        for (const double ratio : {4.0, 5.04, 5.99}) {
            for (int h = 1; h <= 3; ++h) {
                chord += std::sin(2.0 * kPi * root * ratio * h * t + h) / (h * h);
            }
        }
        const double f0 = 140.0 + 30.0 * std::sin(2.0 * kPi * 0.7 * t);
        double voice = 0.0;
        for (int h = 1; h <= 20; ++h) {
            const double f = f0 * h;
            const double formants = 1.0 / (1.0 + std::pow((f - 700.0) / 150.0, 2.0)) +
                                    0.5 / (1.0 + std::pow((f - 1200.0) / 200.0, 2.0)) +
                                    0.2 / (1.0 + std::pow((f - 2600.0) / 300.0, 2.0));
            voice += formants * std::sin(2.0 * kPi * f0 * h * t);
        }
        const double syllables = std::pow(std::sin(2.0 * kPi * 2.0 * t), 2.0) * (t - 4.0 * std::floor(t / 4.0) < 3.0);
        const double centre = 0.8 * kick + 0.35 * snare + hat + 0.35 * bass + 0.5 * voice * syllables;
        song.left[static_cast<std::size_t>(i)] = static_cast<float>(centre + 0.12 * chord);
        song.right[static_cast<std::size_t>(i)] = static_cast<float>(centre + 0.09 * chord);
    }
    float peak = 0.0f;
    for (const auto* channel : {&song.left, &song.right}) {
        for (const float x : *channel) {
            peak = std::max(peak, std::fabs(x));
        }
    }
    const auto scale = static_cast<float>(std::pow(10.0, peakDb / 20.0) / peak);
    for (auto* channel : {&song.left, &song.right}) {
        for (float& x : *channel) {
            x *= scale;
        }
    }
    return song;
}

// Integrated loudness of 48 kHz stereo as broadcast meters measure it: K-weighting, 400 ms
// blocks every 100 ms, the absolute gate at -70 LUFS and the relative one 10 LU below.
double integratedLoudness(const Stereo& x, std::size_t from)
{
    const std::size_t frames = x.left.size() - from;
    std::vector<double> power(frames, 0.0);
    for (const auto* channel : {&x.left, &x.right}) {
        double s1[2] = {}, s2[2] = {};
        for (std::size_t i = 0; i < frames; ++i) {
            const double in = (*channel)[from + i];
            const double shelf = 1.53512485958697 * in + s1[0];
            s1[0] = -2.69169618940638 * in + 1.69065929318241 * shelf + s1[1];
            s1[1] = 1.19839281085285 * in - 0.73248077421585 * shelf;
            const double high = shelf + s2[0];
            s2[0] = -2.0 * shelf + 1.99004745483398 * high + s2[1];
            s2[1] = shelf - 0.99007225036621 * high;
            power[i] += high * high;
        }
    }
    std::vector<double> blocks;
    for (std::size_t start = 0; start + 19200 <= frames; start += 4800) {
        double sum = 0.0;
        for (std::size_t i = start; i < start + 19200; ++i) {
            sum += power[i];
        }
        blocks.push_back(sum / 19200.0);
    }
    const auto gated = [&blocks](double threshold) {
        double sum = 0.0;
        int count = 0;
        for (const double b : blocks) {
            if (-0.691 + 10.0 * std::log10(b) > threshold) {
                sum += b;
                ++count;
            }
        }
        return -0.691 + 10.0 * std::log10(sum / count);
    };
    return gated(gated(-70.0) - 10.0);
}

// The song's loudness through the core at a setting, the start-up and latency left out.
double loudnessThrough(const float (&values)[kHqControlCount], const Stereo& song)
{
    auto hq = makeHq(48000.0, HqQuality::x8);
    for (std::int32_t index = 0; index < kHqControlCount; ++index) {
        setHqControl(*hq, index, values[index]);
    }
    hq->reset();
    return integratedLoudness(render(*hq, song.left, song.right, 512), hqLatencyFrames(48000.0));
}

struct LoudnessCase {
    std::int32_t preset;
    double peakDb;
};

class HqPresetLoudness : public ::testing::TestWithParam<LoudnessCase> {};

// Every preset keeps the song's integrated loudness within 1 LU, loud and quiet, so that a
// comparison with the bypass is not won by level.
TEST_P(HqPresetLoudness, PresetChangesTheLoudnessOfAMix)
{
    const LoudnessCase c = GetParam();
    const Stereo song = mixedSong(c.peakDb);
    const double input = integratedLoudness(song, 0);
    const double output = loudnessThrough(kHqPresets[c.preset].values, song);
    EXPECT_NEAR(output, input, 1.0) << kHqPresets[c.preset].name << " at " << c.peakDb << " dBFS peak";
    RecordProperty("input_lufs", std::to_string(input));
    RecordProperty("change_lu", std::to_string(output - input));
}

std::vector<LoudnessCase> loudnessCases()
{
    std::vector<LoudnessCase> cases;
    for (std::int32_t preset = 0; preset < static_cast<std::int32_t>(std::size(kHqPresets)); ++preset) {
        cases.push_back({preset, -3.0});
        cases.push_back({preset, -15.0});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryPresetLoudAndQuiet, HqPresetLoudness, ::testing::ValuesIn(loudnessCases()),
                         [](const auto& info) {
                             std::string id = kHqPresets[info.param.preset].id;
                             std::replace(id.begin(), id.end(), '-', '_');
                             return id + "_peak" + std::to_string(int(-info.param.peakDb));
                         });

// With auto gain on, Boost from 1 to 11 moves the loudness of the song peaking at -3 dBFS,
// near the law's reference, by at most 1.5 LU. (The gain follows the settings, not the
// level: 12 dB quieter, the same sweep moves the song by 5.8 LU.)
TEST(SoftKneeHq, AutoGainLetsBoostChangeTheLoudness)
{
    for (const double peakDb : {-3.0}) {
        const Stereo song = mixedSong(peakDb);
        double lowest = 1e9;
        double highest = -1e9;
        for (float boost = 1.0f; boost <= 11.0f; boost += 1.0f) {
            const float values[kHqControlCount] = {boost, 0.5f, 0.0f, 0.0f, 100.0f, 3.0f, 1.0f, 1.0f};
            const double loudness = loudnessThrough(values, song);
            lowest = std::min(lowest, loudness);
            highest = std::max(highest, loudness);
            RecordProperty("peak" + std::to_string(int(-peakDb)) + "_boost" + std::to_string(int(boost)),
                           std::to_string(loudness));
        }
        EXPECT_LE(highest - lowest, 1.5) << "song at " << peakDb << " dBFS peak";
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
constexpr unsigned int kOverflow = 0x0008u;     // its flag
constexpr unsigned int kOverflowMask = 0x0400u; // and its mask

std::vector<float> noise(std::size_t count, float level, std::uint32_t seed)
{
    std::vector<float> x(count);
    for (float& sample : x) {
        seed = seed * 1664525u + 1013904223u;
        sample = (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f) * level;
    }
    return x;
}

// A kernel computes lanes whose results it drops; with a host's invalid-operation,
// division-by-zero and overflow exceptions unmasked, one 0/0, x/0 or overflow among them traps
// (the test program dies of SIGFPE). The kernels run as the core calls them but without its
// environment, under the host's usual mode and the core's, over silence, DC, noise at 1e-38, a
// full-scale sine, spikes of +-1e30, a slow ramp above the knee among jumps across it to -2e12,
// at curves with a knee of 0, 0.2, 0.5, 0.8 and 1, and flat at hardness 1.
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
    for (int i = 0; i < 640; ++i) {
        x.push_back(i % 3 == 0 ? 0.81f + static_cast<float>(i) * 0x1p-24f : (i % 3 == 1 ? 0.2f : -2e12f));
    }
    const double settings[][2] = {{0.5, 0.0}, {1.0, 0.3}, {0.0, 1.0}, {0.2, 0.999}, {0.8, 0.3}};
    for (const auto& setting : settings) {
        const std::vector<HqCurve> curves(kHqPieceFrames, makeHqCurve(setting[0], setting[1]));
        const bool changed[kHqPieceFrames] = {};
        for (const unsigned int mode : {kHostDefault, hqFloatMode()}) {
            auto path = std::make_unique<HqChannelPath>();
            path->configure(quality, kernel);
            float out[kHqPieceFrames];
            const unsigned int saved = _mm_getcsr();
            _mm_setcsr(mode & ~(kTheirMasks | kOverflowMask));
            for (std::size_t start = 0; start < x.size(); start += kHqPieceFrames) {
                path->run(x.data() + start, curves.data(), changed, kHqPieceFrames, out);
            }
            const unsigned int raised = _mm_getcsr() & (kInvalidAndDivideByZero | kOverflow);
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
    std::vector<double> scratch(kHqAdaaScratch(static_cast<std::int32_t>(quiet.size())));
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

// Every kind of segment in one piece, under one curve and a gliding one, at curves from straight
// to flat, with knees of 0 and 1: the outputs and the state a vector kernel leaves must be the
// scalar reference's bits. Vectors mix the kinds lane by lane: equal and next-float inputs above
// the knee (the midpoint's lanes), crossings, jumps from one side to the other, inputs of 2e13,
// and silence.
TEST_P(HqKernelAtQuality, MixedSegmentLaneDiffersFromScalar)
{
    const HqKernel kernel = GetParam().kernel;
    const HqQuality quality = GetParam().quality;
    if (quality == HqQuality::x1) {
        GTEST_SKIP() << "1x runs the plain curve, without anti-aliasing";
    }
    const std::int32_t factor = hqOversampling(quality);
    const std::size_t count = static_cast<std::size_t>(kHqPieceFrames * factor);
    std::vector<float> x = noise(count, 1.5f, 11);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t kind = (i / 5) % 6;
        x[i] = kind == 0   ? 0.75f + static_cast<float>(i % 3) * 0x1p-24f
               : kind == 1 ? (i % 2 == 0 ? 3.0f : -3.0f)
               : kind == 2 ? (i % 7 == 0 ? 2e13f : x[i])
               : kind == 3 ? 0.0f
                           : x[i];
    }
    const double settings[][2] = {{0.5, 0.0}, {0.2, 0.5}, {1.0, 0.3}, {0.0, 1.0}, {0.7, 0.999}};
    for (const auto& setting : settings) {
        for (const bool gliding : {false, true}) {
            std::vector<HqCurve> curves;
            bool changed[kHqPieceFrames];
            for (std::int32_t i = 0; i < kHqPieceFrames; ++i) {
                curves.push_back(makeHqCurve(setting[0] * (gliding ? 1.0 - 0.002 * i : 1.0), setting[1]));
                changed[i] = gliding;
            }
            std::vector<float> expected(count);
            std::vector<float> y(count);
            std::vector<double> scratch(kHqAdaaScratch(count));
            double expectedState[2] = {0.6, 0.0};
            double state[2] = {0.6, 0.0};
            hqScalarKernels().adaa(x.data(), kHqPieceFrames, factor, curves.data(), changed, expectedState,
                                   scratch.data(), expected.data());
            hqKernelSet(kernel).adaa(x.data(), kHqPieceFrames, factor, curves.data(), changed, state, scratch.data(),
                                     y.data());
            std::size_t differing = 0;
            for (std::size_t i = 0; i < count; ++i) {
                differing += std::bit_cast<std::uint32_t>(y[i]) != std::bit_cast<std::uint32_t>(expected[i]) ? 1 : 0;
            }
            EXPECT_EQ(differing, 0u) << "knee " << setting[0] << ", hardness " << setting[1]
                                     << (gliding ? ", gliding" : "");
            EXPECT_EQ(state[0], expectedState[0]);
            EXPECT_EQ(state[1], expectedState[1]);
        }
    }
}

std::vector<KernelQuality> kernelQualities()
{
    std::vector<KernelQuality> rows;
    for (const HqKernel kernel : {HqKernel::scalar, HqKernel::sse2, HqKernel::avx2, HqKernel::avx512}) {
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
