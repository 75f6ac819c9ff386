// Times each vector kernel's block loop as this tree has it against the same loop as
// another tree of dsp/ has it (the baseline, built in with its entry points renamed),
// alternating the two over the same buffers, and checks that both write the same bits.
// On a shared machine whose speed drifts, the ratio within each round is steadier than
// either time: the median of those ratios is the figure a change to a kernel is judged by.
// tools/kernel-ab.sh builds and runs it against a git revision.
#include "aligned_channel.h"
#include "soft_knee_kernels.h"
#include "test_signals.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using KernelLoop = std::int32_t (*)(const SoftKnee&, const float*, const float*, float*, float*, std::int32_t,
                                    SubnormalBoost) noexcept;

std::int32_t baselineReplacingSse2(const SoftKnee&, const float*, const float*, float*, float*, std::int32_t,
                                   SubnormalBoost) noexcept;
std::int32_t baselineReplacingAvx2(const SoftKnee&, const float*, const float*, float*, float*, std::int32_t,
                                   SubnormalBoost) noexcept;
std::int32_t baselineReplacingAvx512(const SoftKnee&, const float*, const float*, float*, float*, std::int32_t,
                                     SubnormalBoost) noexcept;

namespace {

struct Contender {
    SoftKneeKernel kernel;
    KernelLoop current;
    KernelLoop baseline;
};

const Contender kContenders[] = {
    {SoftKneeKernel::sse2, softKneeReplacingSse2, baselineReplacingSse2},
    {SoftKneeKernel::avx2, softKneeReplacingAvx2, baselineReplacingAvx2},
    {SoftKneeKernel::avx512, softKneeReplacingAvx512, baselineReplacingAvx512},
};

struct Block {
    ChannelBuffer left;
    ChannelBuffer right;
    ChannelBuffer outLeft;
    ChannelBuffer outRight;
    std::int32_t frames;
};

// Nanoseconds per call, averaged over that many calls back to back.
double timeCalls(KernelLoop loop, const SoftKnee& curve, Block& block, SubnormalBoost subnormals, int calls)
{
    const auto start = std::chrono::steady_clock::now();
    for (int call = 0; call < calls; ++call) {
        loop(curve, block.left.data(), block.right.data(), block.outLeft.data(), block.outRight.data(), block.frames,
             subnormals);
        asm volatile("" ::: "memory"); // each call's stores stay, and stay in this place
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / calls;
}

// The frames each loop wrote (it leaves the rest to the reference loop), both channels.
std::vector<float> outputOf(KernelLoop loop, const SoftKnee& curve, Block& block, SubnormalBoost subnormals)
{
    std::fill_n(block.outLeft.data(), block.frames, 0.0f);
    std::fill_n(block.outRight.data(), block.frames, 0.0f);
    const std::int32_t done = loop(curve, block.left.data(), block.right.data(), block.outLeft.data(),
                                   block.outRight.data(), block.frames, subnormals);
    std::vector<float> written(block.outLeft.data(), block.outLeft.data() + done);
    written.insert(written.end(), block.outRight.data(), block.outRight.data() + done);
    return written;
}

// The value below which the fraction q of values lies (the nearest one at or below).
double quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
}

// Prints one line for the pair; false when their outputs differ.
bool compare(const Contender& contender, Signal signal, std::int32_t frames, int rounds, SubnormalBoost subnormals)
{
    const auto size = static_cast<std::size_t>(frames);
    Block block{ChannelBuffer(makeSignal(signal, size, 1)), ChannelBuffer(makeSignal(signal, size, 2)),
                ChannelBuffer(std::vector<float>(size)), ChannelBuffer(std::vector<float>(size)), frames};
    const SoftKnee curve = makeSoftKnee(1.0f, 0.5f, 0.0f);
    const bool same =
        outputOf(contender.current, curve, block, subnormals) == outputOf(contender.baseline, curve, block, subnormals);

    constexpr int kCalls = 200;
    std::vector<double> ratios, currentTimes, baselineTimes;
    for (int round = 0; round < rounds; ++round) {
        // Which one goes first alternates, so neither always follows the other's cache state.
        double current = 0.0;
        double baseline = 0.0;
        if (round % 2 == 0) {
            current = timeCalls(contender.current, curve, block, subnormals, kCalls);
            baseline = timeCalls(contender.baseline, curve, block, subnormals, kCalls);
        } else {
            baseline = timeCalls(contender.baseline, curve, block, subnormals, kCalls);
            current = timeCalls(contender.current, curve, block, subnormals, kCalls);
        }
        ratios.push_back(current / baseline);
        currentTimes.push_back(current);
        baselineTimes.push_back(baseline);
    }
    std::printf("%-7s %-10s %5d  %6.3f  (%.3f..%.3f)  %9.1f  %9.1f  %s\n", softKneeKernelName(contender.kernel),
                signalName(signal), frames, quantile(ratios, 0.5), quantile(ratios, 0.25), quantile(ratios, 0.75),
                quantile(baselineTimes, 0.5), quantile(currentTimes, 0.5), same ? "same" : "DIFFERENT");
    return same;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Times this tree's kernels against the baseline's, alternating over the same buffers"};
    std::vector<std::string> kernels;
    std::vector<std::string> signals;
    std::int32_t frames = 512;
    int rounds = 201;
    std::string subnormalsName = softKneeSubnormalBoostName(softKneeSubnormalBoostInUse());
    app.add_option("--kernel", kernels, "Kernels to compare (default: every one this processor runs)")
        ->check(CLI::IsMember({"sse2", "avx2", "avx512"}));
    app.add_option("--signal", signals, "Signals to time them on (default: all)")
        ->check(CLI::IsMember({"below", "above", "random", "subnormal"}));
    app.add_option("--frames", frames, "Frames per block (default 512)")->check(CLI::Range(8, 1 << 16));
    app.add_option("--rounds", rounds, "Rounds of 200 calls each, alternating (default 201)")
        ->check(CLI::Range(1, 100000));
    app.add_option("--subnormals", subnormalsName,
                   "How subnormal groups are boosted (default: as the module here does)")
        ->check(CLI::IsMember({"wide", "narrow"}));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error); // --help
        }
        std::fprintf(stderr, "kernel_ab: %s\n", error.what());
        return 2;
    }

    const auto chosen = [](const std::vector<std::string>& names, const char* name) {
        return names.empty() || std::find(names.begin(), names.end(), name) != names.end();
    };
    const SubnormalBoost subnormals = subnormalsName == "wide" ? SubnormalBoost::wide : SubnormalBoost::narrow;
    std::printf("subnormal groups boosted %s; ratio = this tree / baseline, median of %d rounds (quartiles)\n",
                softKneeSubnormalBoostName(subnormals), rounds);
    std::printf("%-7s %-10s %5s  %6s  %-14s  %9s  %9s  %s\n", "kernel", "signal", "frames", "ratio", "", "base ns",
                "this ns", "output");
    bool allSame = true;
    for (const Contender& contender : kContenders) {
        const char* kernelName = softKneeKernelName(contender.kernel);
        if (!chosen(kernels, kernelName)) {
            continue;
        }
        if (!softKneeKernelSupported(contender.kernel)) {
            std::printf("%-7s skipped: this processor lacks it\n", kernelName);
            continue;
        }
        for (Signal signal : kSignals) {
            if (chosen(signals, signalName(signal))) {
                allSame = compare(contender, signal, frames, rounds, subnormals) && allSame;
            }
        }
    }
    return allSame ? 0 : 1;
}
