// Times the effect's block processing through the effect object, in nanoseconds per
// stereo frame, beside the scalar reference loop and the two yardsticks of bounds.h, for
// every signal of signals.h and block sizes 64, 512 and 4096. Repetitions are
// interleaved at random and the closing table gives medians and ratios.
//
//   build/native/bench/shaper_bench [Google Benchmark flags]
#include "bounds.h"
#include "shaper_effect.h"
#include "signals.h"
#include "soft_knee.h"
#include "soft_knee_kernels.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// What each benchmark times; every one reads two input channels and writes two outputs.
enum class Path { replacing, accumulating, scalar, sse2, boostOnly, divisionsOnly };

constexpr Path kPaths[] = {Path::replacing, Path::accumulating, Path::scalar,
                           Path::sse2,      Path::boostOnly,    Path::divisionsOnly};

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
            softKneeReplacingWith(SoftKneeKernel::sse2, curve, inputs[0], inputs[1], outputs[0], outputs[1], frames);
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
        std::printf("\nMedian ns per stereo frame, kernel in use: %s, yardsticks: %s\n\n",
                    softKneeKernelName(softKneeKernelInUse()), boundsInstructionSet());
        std::printf("| signal | frames |");
        for (Path path : kPaths) {
            std::printf(" %s |", pathName(path));
        }
        std::printf(" replacing / division | replacing / in*boost | scalar / in*boost |\n|---|---:|");
        for (std::size_t i = 0; i < std::size(kPaths) + 3; ++i) {
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
                    std::printf(" %.3f |", median(path, signal, frames));
                }
                const double boost = median(Path::boostOnly, signal, frames);
                std::printf(" %.2f | %.2f | %.1f |\n",
                            median(Path::replacing, signal, frames) / median(Path::divisionsOnly, signal, frames),
                            median(Path::replacing, signal, frames) / boost,
                            median(Path::scalar, signal, frames) / boost);
            }
        }
        std::printf("\nsubnormal / below, processReplacing:");
        for (std::int32_t frames : kBlockSizes) {
            if (median(Path::replacing, Signal::below, frames) == 0.0) {
                continue;
            }
            std::printf(" %d: %.2f", static_cast<int>(frames),
                        median(Path::replacing, Signal::subnormal, frames) /
                            median(Path::replacing, Signal::below, frames));
        }
        std::printf("\n");
    }

private:
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
