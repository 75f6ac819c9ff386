// Times the effect's block processing through the effect object, in nanoseconds per
// stereo frame, beside the scalar reference loop, each vector kernel this processor runs
// and the two yardsticks of bounds.h, for every signal of test_signals.h and block sizes
// 64, 512 and 4096. Repetitions are interleaved at random; the closing tables give the
// processor, the kernel in use, medians, and the ratios the kernels are held to.
//
//   build/native/bench/shaper_bench [Google Benchmark flags]
#include "aligned_channel.h"
#include "bounds.h"
#include "shaper_effect.h"
#include "soft_knee.h"
#include "soft_knee_kernels.h"
#include "test_signals.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// What each benchmark times; every one reads two input channels and writes two outputs.
enum class Path { replacing, accumulating, scalar, sse2, avx2, avx512, boostOnly, divisionsOnly };

constexpr Path kPaths[] = {Path::replacing, Path::accumulating, Path::scalar,    Path::sse2,
                           Path::avx2,      Path::avx512,       Path::boostOnly, Path::divisionsOnly};

constexpr SoftKneeKernel kVectorKernels[] = {SoftKneeKernel::sse2, SoftKneeKernel::avx2, SoftKneeKernel::avx512};

Path pathOf(SoftKneeKernel kernel)
{
    switch (kernel) {
    case SoftKneeKernel::avx512:
        return Path::avx512;
    case SoftKneeKernel::avx2:
        return Path::avx2;
    case SoftKneeKernel::sse2:
        return Path::sse2;
    case SoftKneeKernel::scalar:
        break;
    }
    return Path::scalar;
}

// The kernel a path runs directly, or scalar for the other paths.
SoftKneeKernel kernelOf(Path path)
{
    for (SoftKneeKernel kernel : kVectorKernels) {
        if (pathOf(kernel) == path) {
            return kernel;
        }
    }
    return SoftKneeKernel::scalar;
}

const char* pathName(Path path)
{
    switch (path) {
    case Path::replacing:
        return "processReplacing";
    case Path::accumulating:
        return "process";
    case Path::scalar:
        return "scalar-reference";
    case Path::sse2:
        return "sse2-kernel";
    case Path::avx2:
        return "avx2-kernel";
    case Path::avx512:
        return "avx512-kernel";
    case Path::boostOnly:
        return "in*boost";
    case Path::divisionsOnly:
        return "division-bound";
    }
    return "unknown";
}

void timeBlock(benchmark::State& state, Path path, Signal signal, std::int32_t frames)
{
    const std::size_t size = static_cast<std::size_t>(frames);
    ChannelBuffer left(makeSignal(signal, size, 1));
    ChannelBuffer right(makeSignal(signal, size, 2));
    ChannelBuffer outLeft{std::vector<float>(size)};
    ChannelBuffer outRight{std::vector<float>(size)};
    ShaperEffect effect(nullptr);
    const SoftKnee curve = makeSoftKnee(1.0f, 0.5f, 0.0f);
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};
    for (auto _ : state) {
        switch (path) {
        case Path::replacing:
            effect.processReplacing(inputs, outputs, frames);
            break;
        case Path::accumulating:
            effect.process(inputs, outputs, frames);
            break;
        case Path::scalar:
            softKneeReplacing(curve, inputs[0], inputs[1], outputs[0], outputs[1], frames);
            break;
        case Path::sse2:
        case Path::avx2:
        case Path::avx512:
            softKneeReplacingWith(kernelOf(path), curve, inputs[0], inputs[1], outputs[0], outputs[1], frames);
            break;
        case Path::boostOnly:
            boostOnly(inputs[0], inputs[1], outputs[0], outputs[1], frames, curve.boost);
            break;
        case Path::divisionsOnly:
            divisionsOnly(inputs[0], inputs[1], outputs[0], outputs[1], frames);
            break;
        }
        benchmark::ClobberMemory();
    }
    state.counters["frame"] = benchmark::Counter(
        static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

std::string benchmarkName(Path path, Signal signal, std::int32_t frames)
{
    return std::string(pathName(path)) + "/" + signalName(signal) + "/" + std::to_string(frames);
}

// The console output as usual, then one table of the medians in nanoseconds per frame.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                const auto counter = run.counters.find("frame");
                if (counter != run.counters.end()) {
                    medians[run.run_name.function_name] = counter->second.value * 1e9;
                }
            }
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nProcessor: %s\nKernel in use: %s, subnormal groups boosted %s; yardsticks: %s\n\n"
                    "Median ns per stereo frame\n\n",
                    processorModel(), softKneeKernelName(softKneeKernelInUse()),
                    softKneeSubnormalBoostName(softKneeSubnormalBoostInUse()), boundsInstructionSet());
        std::printf("| signal | frames |");
        for (Path path : kPaths) {
            std::printf(" %s |", pathName(path));
        }
        std::printf(" replacing / division | replacing / in*boost |\n|---|---:|");
        for (std::size_t i = 0; i < std::size(kPaths) + 2; ++i) {
            std::printf("---:|");
        }
        std::printf("\n");
        for (Signal signal : kSignals) {
            for (std::int32_t frames : kBlockSizes) {
                if (median(Path::replacing, signal, frames) == 0.0) {
                    continue; // filtered out of this run
                }
                std::printf("| %s | %d |", signalName(signal), static_cast<int>(frames));
                for (Path path : kPaths) {
                    const double value = median(path, signal, frames);
                    value > 0.0 ? std::printf(" %.3f |", value) : std::printf(" - |");
                }
                std::printf(" %.2f | %.2f |\n",
                            median(Path::replacing, signal, frames) / median(Path::divisionsOnly, signal, frames),
                            median(Path::replacing, signal, frames) / median(Path::boostOnly, signal, frames));
            }
        }
        printTargets();
    }

private:
    // The ratios at 512 frames that every kernel is held to, for processReplacing (the
    // kernel in use, through the effect) and for each kernel run directly.
    void printTargets() const
    {
        constexpr std::int32_t kFrames = 512;
        if (median(Path::replacing, Signal::random, kFrames) == 0.0) {
            return;
        }
        std::vector<Path> columns = {Path::replacing};
        for (SoftKneeKernel kernel : kVectorKernels) {
            if (softKneeKernelSupported(kernel)) {
                columns.push_back(pathOf(kernel));
            }
        }
        std::printf("\nRatios at %d frames, within this run\n\n| ratio | target |", static_cast<int>(kFrames));
        for (Path path : columns) {
            std::printf(" %s |", pathName(path));
        }
        std::printf("\n|---|---|");
        for (std::size_t i = 0; i < columns.size(); ++i) {
            std::printf("---:|");
        }
        std::printf("\n");
        struct Ratio {
            const char* what;
            const char* target;
            Signal signal;
            Path yardstick;
            Signal yardstickSignal;
        };
        const Ratio ratios[] = {
            {"random / division-bound", "at most 1.2, aim below 1.0", Signal::random, Path::divisionsOnly,
             Signal::random},
            {"below / in*boost", "at most 2.5, aim 1.5", Signal::below, Path::boostOnly, Signal::below},
            {"subnormal / random", "at most 1", Signal::subnormal, Path::replacing, Signal::random},
        };
        for (const Ratio& ratio : ratios) {
            std::printf("| %s | %s |", ratio.what, ratio.target);
            for (Path path : columns) {
                // The subnormal signal is held against the same path's random signal.
                const Path against = ratio.yardstick == Path::replacing ? path : ratio.yardstick;
                std::printf(" %.2f |",
                            median(path, ratio.signal, kFrames) / median(against, ratio.yardstickSignal, kFrames));
            }
            std::printf("\n");
        }
        std::printf("\nThe 32-bit DLL under Wine against the native module (target at most 1.2): wine_timing, "
                    "see make bench.\n");
    }

    double median(Path path, Signal signal, std::int32_t frames) const
    {
        const auto found = medians.find(benchmarkName(path, signal, frames));
        return found != medians.end() ? found->second : 0.0;
    }

    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char** argv)
{
    // Defaults first, so that flags given on the command line override them.
    std::vector<char*> arguments = {argv[0]};
    char repetitions[] = "--benchmark_repetitions=15";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    char minTime[] = "--benchmark_min_time=0.02";
    for (char* flag : {repetitions, interleaving, aggregates, minTime}) {
        arguments.push_back(flag);
    }
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 1;
    }
    for (Signal signal : kSignals) {
        for (std::int32_t frames : kBlockSizes) {
            for (Path path : kPaths) {
                if (!softKneeKernelSupported(kernelOf(path))) {
                    continue; // this processor lacks the kernel; its column shows "-"
                }
                benchmark::RegisterBenchmark(benchmarkName(path, signal, frames).c_str(), timeBlock, path, signal,
                                             frames);
            }
        }
    }
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
