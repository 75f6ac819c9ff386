// Times the HQ shaper's process() in nanoseconds per stereo frame for each Quality, on loud
// noise (uniform in -1..1, Boost 11, so nearly every sample is bent) in 512-frame blocks,
// beside two yardsticks timed in the same run: the first effect's widest kernel on the same
// buffers and a plain copy of them. The last rows time it bypassed (faded out, the default 8x
// set), with auto gain on and the ceiling at -1 dBFS at 8x and 16x, and at Boost 1 at 8x and 16x.
//
//   build/native/bench/hq_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include "test_signals.h"
#include "soft_knee.h"
#include "soft_knee_hq.h"
#include "soft_knee_kernels.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kBlock = 512;
constexpr std::int32_t kBlocks = 16; // cycled, so the input is not one block over and over

struct Buffers {
    std::vector<float> left = makeSignal(Signal::random, kBlock* kBlocks, 1);
    std::vector<float> right = makeSignal(Signal::random, kBlock* kBlocks, 2);
    std::vector<float> outLeft = std::vector<float>(kBlock);
    std::vector<float> outRight = std::vector<float>(kBlock);

    Buffers()
    {
        for (auto* channel : {&left, &right}) {
            for (float& x : *channel) {
                x *= 0.5f; // -2..2 to -1..1
            }
        }
    }
};

void perFrame(benchmark::State& state)
{
    state.counters["ns/frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// range(1): 0 plain, 1 bypassed, 2 auto gain and ceiling, 3 Boost at its default of 1, as a host
// first loads the plug-in: the knee then splits the noise about in half.
void hq(benchmark::State& state)
{
    Buffers b;
    auto shaper = std::make_unique<SoftKneeHq>(48000.0);
    shaper->setQuality(static_cast<float>(state.range(0)));
    shaper->setBoost(state.range(1) == 3 ? 1.0f : 11.0f);
    shaper->setBypass(state.range(1) == 1);
    if (state.range(1) == 2) {
        shaper->setAutoGain(1.0f);
        shaper->setCeilingDb(-1.0f);
    }
    shaper->reset();
    std::int32_t block = 0;
    for (auto _ : state) {
        const std::size_t at = static_cast<std::size_t>(block) * kBlock;
        shaper->process(b.left.data() + at, b.right.data() + at, b.outLeft.data(), b.outRight.data(), kBlock);
        benchmark::DoNotOptimize(b.outLeft.data());
        block = (block + 1) % kBlocks;
    }
    const char* const extras[] = {"", " bypassed", " auto gain, ceiling", " Boost 1"};
    state.SetLabel(std::string(hqQualityName(static_cast<HqQuality>(state.range(0)))) + extras[state.range(1)]);
    perFrame(state);
}

void firstEffectKernel(benchmark::State& state)
{
    Buffers b;
    const SoftKnee curve = makeSoftKnee(11.0f, 0.5f, 0.0f);
    const SoftKneeKernel kernel = softKneeKernelInUse();
    std::int32_t block = 0;
    for (auto _ : state) {
        const std::size_t at = static_cast<std::size_t>(block) * kBlock;
        softKneeReplacingWith(kernel, curve, b.left.data() + at, b.right.data() + at, b.outLeft.data(),
                              b.outRight.data(), kBlock);
        benchmark::DoNotOptimize(b.outLeft.data());
        block = (block + 1) % kBlocks;
    }
    state.SetLabel(softKneeKernelName(kernel));
    perFrame(state);
}

void copy(benchmark::State& state)
{
    Buffers b;
    std::int32_t block = 0;
    for (auto _ : state) {
        const std::size_t at = static_cast<std::size_t>(block) * kBlock;
        std::memcpy(b.outLeft.data(), b.left.data() + at, kBlock * sizeof(float));
        std::memcpy(b.outRight.data(), b.right.data() + at, kBlock * sizeof(float));
        benchmark::DoNotOptimize(b.outLeft.data());
        benchmark::ClobberMemory();
        block = (block + 1) % kBlocks;
    }
    perFrame(state);
}

// On a machine shared with other work the fastest repetition is the one least disturbed; with
// --benchmark_repetitions it is reported beside the median.
double fastest(const std::vector<double>& times)
{
    return *std::min_element(times.begin(), times.end());
}

BENCHMARK(hq)
    ->ArgsProduct({benchmark::CreateDenseRange(0, kHqQualityCount - 1, 1), {0}})
    ->Args({3, 1})
    ->Args({3, 2})
    ->Args({4, 2})
    ->Args({3, 3})
    ->Args({4, 3})
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", fastest);
BENCHMARK(firstEffectKernel)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);
BENCHMARK(copy)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

} // namespace

BENCHMARK_MAIN();
