// What subnormal input costs against normal input, through the effect's record: the
// least time of many short trials per signal, interleaved so that all signals see the
// same machine. Reported as ratios, never judged: a shared machine only errs upwards, and
// the structure that keeps subnormals cheap is checked by the tests instead.
//
// Two yardsticks: a typical signal of normal samples, which crosses the knee, and normal
// samples all below the knee, the cheapest input there is, where no division hides the
// extra work that a subnormal group takes. The scalar loop costs some 35 times the latter.

#include "shaper_effect.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kFrames = 512;
constexpr int kBlocksPerTrial = 16;
constexpr int kTrials = 301;

// Normal samples of both signs, all below the knee, so the two signals take the same path
// through the curve and differ only in the arithmetic on subnormals.
std::vector<float> normalSamples()
{
    std::vector<float> samples(kFrames);
    for (std::int32_t i = 0; i < kFrames; ++i) {
        const float magnitude = 0.001f + 0.04f * static_cast<float>((i * 37) % 100) / 100.0f;
        samples[i] = i % 2 == 0 ? magnitude : -magnitude;
    }
    return samples;
}

// Normal samples spread over -2..2, as a loud signal is: most cross the knee.
std::vector<float> typicalSamples()
{
    std::vector<float> samples(kFrames);
    for (std::int32_t i = 0; i < kFrames; ++i) {
        samples[i] = -2.0f + 4.0f * static_cast<float>((i * 211) % kFrames) / static_cast<float>(kFrames);
    }
    return samples;
}

// Subnormal samples of both signs, spread over the whole subnormal range.
std::vector<float> subnormalSamples()
{
    std::vector<float> samples(kFrames);
    for (std::int32_t i = 0; i < kFrames; ++i) {
        const std::uint32_t bits = 1u + static_cast<std::uint32_t>(i) * 16381u % 0x7fffffu;
        samples[i] = std::bit_cast<float>(i % 2 == 0 ? bits : bits | 0x80000000u);
    }
    return samples;
}

struct Costs {
    double normal;
    double typical;
    double subnormal;
};

// The least time of kTrials trials per signal, each trial kBlocksPerTrial blocks.
template <typename Block> Costs leastCosts(Block block)
{
    std::vector<float> normal = normalSamples();
    std::vector<float> typical = typicalSamples();
    std::vector<float> subnormal = subnormalSamples();
    std::vector<float> outLeft(kFrames);
    std::vector<float> outRight(kFrames);
    auto trial = [&](std::vector<float>& input) {
        float* inputs[2] = {input.data(), input.data()};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        // Silence in the outputs, as a host clears them before an accumulating block.
        std::fill(outLeft.begin(), outLeft.end(), 0.0f);
        std::fill(outRight.begin(), outRight.end(), 0.0f);
        const auto start = std::chrono::steady_clock::now();
        for (int b = 0; b < kBlocksPerTrial; ++b) {
            block(inputs, outputs);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    Costs least{1e9, 1e9, 1e9};
    for (int t = 0; t < kTrials; ++t) {
        least.normal = std::min(least.normal, trial(normal));
        least.typical = std::min(least.typical, trial(typical));
        least.subnormal = std::min(least.subnormal, trial(subnormal));
    }
    return least;
}

struct Setting {
    const char* what;
    float boost;
    float knee;
};

void report(const char* what, const Costs& costs)
{
    const double perFrame = 1e9 / (kBlocksPerTrial * kFrames);
    std::printf("| %s | %.3f | %.3f | %.3f | %.2f | %.2f |\n", what, costs.subnormal * perFrame,
                costs.typical * perFrame, costs.normal * perFrame, costs.subnormal / costs.typical,
                costs.subnormal / costs.normal);
}

} // namespace

int main()
{
    std::printf("Least of %d trials of %d blocks of %d frames, ns per stereo frame\n\n", kTrials, kBlocksPerTrial,
                kFrames);
    std::printf(
        "| setting, block | subnormal | typical | below knee | subnormal / typical | subnormal / below knee |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    // Boost 1 keeps a subnormal input subnormal; boost 11 makes subnormal products too.
    const Setting settings[] = {{"boost 1, knee 0.5", 0.0f, 0.5f}, {"boost 11, knee 1", 1.0f, 1.0f}};
    for (const Setting& setting : settings) {
        ShaperEffect effect(nullptr);
        AEffect* record = effect.getAEffect();
        record->setParameter(record, kBoostParam, setting.boost);
        record->setParameter(record, kKneeParam, setting.knee);
        const std::string what = setting.what;
        report((what + ", processReplacing").c_str(), leastCosts([&](float** inputs, float** outputs) {
                   record->processReplacing(record, inputs, outputs, kFrames);
               }));
        report((what + ", process").c_str(),
               leastCosts([&](float** inputs, float** outputs) { record->process(record, inputs, outputs, kFrames); }));
    }
    return 0;
}
