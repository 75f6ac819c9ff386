// Times a built module the way a host drives it: loaded from its file, processReplacing
// called through the record at the effect's initial settings, for every signal of
// test_signals.h and block sizes 64, 512 and 4096, beside the two yardsticks of bounds.h
// measured in the same run. Rounds visit the cases in a fresh random order each time and
// the table gives medians in nanoseconds per stereo frame. Built for every target, so the
// 32-bit DLL can be timed under Wine against the native module with the same program:
//   wine_timing [module-file] [--save=figures-file] [--against=figures-file]
// --save writes the module's medians to a file; --against reads such a file and adds the
// ratio of this run's module to it, as make bench does for each Windows DLL against the
// native module.
#include "aligned_channel.h"
#include "bounds.h"
#include "descriptor.h"
#include "module_loader.h"
#include "test_signals.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using EntryFunction = AEffect*(EFFECT_CALL*)(audioMasterCallback);

std::intptr_t EFFECT_CALL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

enum class Work { module, boostOnly, divisionsOnly };

struct Case {
    Signal signal;
    std::int32_t frames;
    Work work;
    ChannelBuffer left, right, outLeft, outRight;
    std::vector<double> nanosecondsPerFrame;
};

// About a million frames per measurement: long enough for the clock, short enough that
// many interleaved rounds fit in a few seconds.
void measure(Case& c, AEffect* effect)
{
    const std::int32_t calls = std::max<std::int32_t>(1, (1 << 20) / c.frames);
    float* inputs[] = {c.left.data(), c.right.data()};
    float* outputs[] = {c.outLeft.data(), c.outRight.data()};
    const auto start = std::chrono::steady_clock::now();
    for (std::int32_t call = 0; call < calls; ++call) {
        switch (c.work) {
        case Work::module:
            effect->processReplacing(effect, inputs, outputs, c.frames);
            break;
        case Work::boostOnly:
            boostOnly(inputs[0], inputs[1], outputs[0], outputs[1], c.frames, 1.0f);
            break;
        case Work::divisionsOnly:
            divisionsOnly(inputs[0], inputs[1], outputs[0], outputs[1], c.frames);
            break;
        }
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    c.nanosecondsPerFrame.push_back(elapsed.count() / (static_cast<double>(calls) * c.frames));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

using Figures = std::map<std::pair<std::string, int>, double>;

// Lines of "signal frames nanoseconds"; an unreadable file gives no figures.
Figures readFigures(const char* path)
{
    Figures figures;
    if (std::FILE* file = std::fopen(path, "r")) {
        char signal[32];
        int frames = 0;
        double nanoseconds = 0.0;
        while (std::fscanf(file, "%31s %d %lf", signal, &frames, &nanoseconds) == 3) {
            figures[{signal, frames}] = nanoseconds;
        }
        std::fclose(file);
    }
    return figures;
}

const char* option(int argc, char** argv, const char* prefix)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0) {
            return argv[i] + std::strlen(prefix);
        }
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 && std::strncmp(argv[1], "--", 2) != 0 ? argv[1] : SHAPER_MODULE_PATH;
    const char* savePath = option(argc, argv, "--save=");
    const char* againstPath = option(argc, argv, "--against=");
    const Figures against = againstPath != nullptr ? readFigures(againstPath) : Figures{};
    if (againstPath != nullptr && against.empty()) {
        std::fprintf(stderr, "no figures in %s\n", againstPath);
        return 2;
    }
    const LoadedModule module(path);
    const auto entry = module.find<EntryFunction>("main");
    AEffect* effect = entry != nullptr ? entry(hostCallback) : nullptr;
    if (effect == nullptr) {
        std::fprintf(stderr, "cannot load an effect from %s\n", path);
        return 1;
    }

    std::vector<Case> cases;
    for (Signal signal : kSignals) {
        for (std::int32_t frames : kBlockSizes) {
            for (Work work : {Work::module, Work::boostOnly, Work::divisionsOnly}) {
                const std::size_t size = static_cast<std::size_t>(frames);
                cases.push_back({signal,
                                 frames,
                                 work,
                                 ChannelBuffer(makeSignal(signal, size, 1)),
                                 ChannelBuffer(makeSignal(signal, size, 2)),
                                 ChannelBuffer(std::vector<float>(size)),
                                 ChannelBuffer(std::vector<float>(size)),
                                 {}});
            }
        }
    }
    constexpr int kRounds = 31;
    std::vector<std::size_t> order(cases.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::mt19937 shuffle(3);
    for (int round = 0; round <= kRounds; ++round) {
        std::shuffle(order.begin(), order.end(), shuffle);
        for (std::size_t i : order) {
            measure(cases[i], effect);
        }
        if (round == 0) {
            for (Case& c : cases) {
                c.nanosecondsPerFrame.clear(); // the first round only warms up
            }
        }
    }

    std::printf("%s, %d-bit, on %s, yardsticks %s: median ns per stereo frame over %d interleaved rounds\n\n", path,
                static_cast<int>(sizeof(void*) * 8), processorModel(), boundsInstructionSet(), kRounds);
    std::printf("| signal | frames | processReplacing | in*boost | division-bound | replacing / division |%s\n",
                againstPath != nullptr ? " this / saved module |" : "");
    std::printf("|---|---:|---:|---:|---:|---:|%s\n", againstPath != nullptr ? "---:|" : "");
    std::FILE* save = savePath != nullptr ? std::fopen(savePath, "w") : nullptr;
    if (savePath != nullptr && save == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", savePath);
        return 2;
    }
    for (std::size_t i = 0; i < cases.size(); i += 3) {
        const double module = median(cases[i].nanosecondsPerFrame);
        const double boost = median(cases[i + 1].nanosecondsPerFrame);
        const double division = median(cases[i + 2].nanosecondsPerFrame);
        const char* signal = signalName(cases[i].signal);
        const int frames = static_cast<int>(cases[i].frames);
        std::printf("| %s | %d | %.3f | %.3f | %.3f | %.2f |", signal, frames, module, boost, division,
                    module / division);
        if (againstPath != nullptr) {
            const auto found = against.find({signal, frames});
            found != against.end() ? std::printf(" %.2f |", module / found->second) : std::printf(" - |");
        }
        std::printf("\n");
        if (save != nullptr) {
            std::fprintf(save, "%s %d %.6f\n", signal, frames, module);
        }
    }
    if (save != nullptr) {
        std::fclose(save);
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
