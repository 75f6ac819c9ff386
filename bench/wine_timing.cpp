// Times a built module the way a host drives it: loaded from its file, processReplacing
// called through the record at the effect's initial settings, for every signal of
// signals.h and block sizes 64, 512 and 4096, beside the two yardsticks of bounds.h
// measured in the same run. Rounds visit the cases in a fresh random order each time and
// the table gives medians in nanoseconds per stereo frame. Built for every target, so the
// 32-bit DLL can be timed under Wine against the native module with the same program:
//   wine_timing [module-file]
#include "bounds.h"
#include "descriptor.h"
#include "signals.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using EntryFunction = AEffect*(EFFECT_CALL*)(audioMasterCallback);

std::intptr_t EFFECT_CALL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

EntryFunction findEntry(const char* path)
{
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path);
    return module != nullptr ? reinterpret_cast<EntryFunction>(reinterpret_cast<void*>(GetProcAddress(module, "main")))
                             : nullptr;
#else
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return module != nullptr ? reinterpret_cast<EntryFunction>(dlsym(module, "main")) : nullptr;
#endif
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

} // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : SHAPER_MODULE_PATH;
    const EntryFunction entry = findEntry(path);
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

    std::printf("%s, %d-bit, yardsticks %s: median ns per stereo frame over %d interleaved rounds\n\n", path,
                static_cast<int>(sizeof(void*) * 8), boundsInstructionSet(), kRounds);
    std::printf("| signal | frames | processReplacing | in*boost | division-bound | replacing / division |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (std::size_t i = 0; i < cases.size(); i += 3) {
        const double module = median(cases[i].nanosecondsPerFrame);
        const double boost = median(cases[i + 1].nanosecondsPerFrame);
        const double division = median(cases[i + 2].nanosecondsPerFrame);
        std::printf("| %s | %d | %.3f | %.3f | %.3f | %.2f |\n", signalName(cases[i].signal),
                    static_cast<int>(cases[i].frames), module, boost, division, module / division);
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
