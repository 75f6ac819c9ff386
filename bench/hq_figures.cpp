// Prints the HQ shaper's aliasing and transparency figures at every Quality:
//
//     hq_figures [aliasing|transparency|clicks]
//
// Aliasing: a sine at -6 dBFS on an exact bin near 7 kHz and 15 kHz, 44.1 and 48 kHz, Boost 11,
// Mix 100 %, Output 0 dB, four (Knee, Hardness) settings; the strongest non-harmonic component
// between 20 Hz and 20 kHz in dB re the fundamental (hq_tone_levels.h says how).
// Transparency: Knee 1, Boost 1, a sine at -6 dBFS; the output minus the input delayed by the
// reported latency, in dB re the input.
// Clicks: each control thrown from one end of its range to the other (and Quality from 1x to 16x
// and back) on a 100 Hz sine at -12 dBFS, Boost 4, 8x, 48 kHz, 64-frame blocks: the largest
// sample-to-sample step in the second after the throw over the largest of the steady output
// before and after it (the tests hold it to at most 1.5).

#include "hq_tone_levels.h"
#include "soft_knee_hq.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::int32_t kSize = 32768;
const double kAmplitude = std::pow(10.0, -6.0 / 20.0);

std::vector<float> run(SoftKneeHq& hq, const std::vector<float>& in)
{
    std::vector<float> left(in.size());
    std::vector<float> right(in.size());
    hq.process(in.data(), in.data(), left.data(), right.data(), static_cast<std::int32_t>(in.size()));
    return left;
}

void aliasing()
{
    const double settings[4][2] = {{0.5, 0.0}, {0.5, 0.5}, {0.5, 1.0}, {0.1, 0.0}};
    std::printf("%-6s %-6s %-10s", "rate", "tone", "knee,hard");
    for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
        std::printf(" %7s", hqQualityName(static_cast<HqQuality>(q)));
    }
    std::printf("\n");
    for (const double rate : {44100.0, 48000.0}) {
        for (const double tone : {7000.0, 15000.0}) {
            const std::int32_t bin = hq_tone_levels::toneBin(tone, rate, kSize);
            const std::vector<float> in = hq_tone_levels::periodicTone(bin, kSize, kAmplitude, 2 * kSize);
            for (const auto& setting : settings) {
                std::printf("%-6.0f %-6.0f %3.1f,%3.1f   ", rate, bin * rate / kSize, setting[0], setting[1]);
                for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
                    auto hq = std::make_unique<SoftKneeHq>(rate);
                    hq->setQuality(static_cast<float>(q));
                    hq->setBoost(11.0f);
                    hq->setKnee(static_cast<float>(setting[0]));
                    hq->setHardness(static_cast<float>(setting[1]));
                    hq->reset();
                    const std::vector<float> out = run(*hq, in);
                    std::printf(" %7.1f", hq_tone_levels::strongestAliasDb(out.data() + kSize, kSize, bin, rate));
                }
                std::printf("\n");
            }
        }
    }
}

void transparency()
{
    std::printf("%-6s %-6s", "rate", "tone");
    for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
        std::printf(" %7s", hqQualityName(static_cast<HqQuality>(q)));
    }
    std::printf("   (residual dB, latency %d frames)\n", hqLatencyFrames(48000.0));
    for (const double rate : {44100.0, 48000.0}) {
        for (const double tone : {1000.0, 10000.0, 20000.0}) {
            std::printf("%-6.0f %-6.0f", rate, tone);
            for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
                auto hq = std::make_unique<SoftKneeHq>(rate);
                hq->setQuality(static_cast<float>(q));
                hq->setKnee(1.0f);
                hq->reset();
                const std::int32_t bin = hq_tone_levels::toneBin(tone, rate, kSize);
                const std::vector<float> in = hq_tone_levels::periodicTone(bin, kSize, kAmplitude, kSize);
                const std::vector<float> out = run(*hq, in);
                const std::int32_t latency = hqLatencyFrames(rate);
                double signal = 0.0;
                double residual = 0.0;
                for (std::int32_t i = 4096; i < kSize; ++i) {
                    const double x = in[static_cast<std::size_t>(i - latency)];
                    const double e = out[static_cast<std::size_t>(i)] - x;
                    signal += x * x;
                    residual += e * e;
                }
                std::printf(" %7.1f", 10.0 * std::log10(residual / signal));
            }
            std::printf("\n");
        }
    }
}

void clicks()
{
    struct Throw {
        const char* control;
        void (SoftKneeHq::*set)(float);
        float from;
        float to;
    };
    const Throw throws[] = {
        {"Boost", &SoftKneeHq::setBoost, kHqBoost.minimum, kHqBoost.maximum},
        {"Knee", &SoftKneeHq::setKnee, kHqKnee.minimum, kHqKnee.maximum},
        {"Hardness", &SoftKneeHq::setHardness, kHqHardness.minimum, kHqHardness.maximum},
        {"Output", &SoftKneeHq::setOutputDb, kHqOutputDb.minimum, kHqOutputDb.maximum},
        {"Mix", &SoftKneeHq::setMixPercent, kHqMixPercent.minimum, kHqMixPercent.maximum},
        {"Quality", &SoftKneeHq::setQuality, 0.0f, 4.0f},
    };
    constexpr std::int32_t kSecond = 48000;
    constexpr std::int32_t kChange = kSecond + 640;
    std::vector<float> in(static_cast<std::size_t>(3 * kSecond + 640));
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<float>(std::pow(10.0, -12.0 / 20.0) *
                                   std::sin(2.0 * 3.14159265358979323846 * 100.0 * i / 48000.0));
    }
    std::printf("%-9s %8s %8s\n", "control", "up", "down");
    for (const Throw& t : throws) {
        std::printf("%-9s", t.control);
        for (const bool up : {true, false}) {
            auto hq = std::make_unique<SoftKneeHq>(48000.0);
            hq->setBoost(4.0f);
            ((*hq).*t.set)(up ? t.from : t.to);
            hq->reset();
            std::vector<float> left(in.size());
            std::vector<float> right(in.size());
            for (std::int32_t start = 0; start < static_cast<std::int32_t>(in.size()); start += 64) {
                if (start == kChange) {
                    ((*hq).*t.set)(up ? t.to : t.from);
                }
                hq->process(in.data() + start, in.data() + start, left.data() + start, right.data() + start, 64);
            }
            const auto largest = [&left](std::int32_t from, std::int32_t to) {
                float step = 0.0f;
                for (std::int32_t i = from; i < to; ++i) {
                    step = std::max(
                        step, std::abs(left[static_cast<std::size_t>(i)] - left[static_cast<std::size_t>(i - 1)]));
                }
                return step;
            };
            const float steady =
                std::max(largest(kChange - kSecond / 2, kChange), largest(kChange + kSecond, kChange + 2 * kSecond));
            std::printf(" %8.3f", largest(kChange, kChange + kSecond) / steady);
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool all = argc < 2;
    if (argc > 2 || (!all && std::strcmp(argv[1], "aliasing") != 0 && std::strcmp(argv[1], "transparency") != 0 &&
                     std::strcmp(argv[1], "clicks") != 0)) {
        std::fprintf(stderr, "usage: hq_figures [aliasing|transparency|clicks]\n");
        return 2;
    }
    if (all || std::strcmp(argv[1], "aliasing") == 0) {
        aliasing();
    }
    if (all || std::strcmp(argv[1], "transparency") == 0) {
        transparency();
    }
    if (all || std::strcmp(argv[1], "clicks") == 0) {
        clicks();
    }
    return 0;
}
