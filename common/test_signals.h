// The test signals of the timing programs, the same on every target: seeded, so every
// run and every build measures identical buffers.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

enum class Signal { below, above, random, subnormal };

inline constexpr Signal kSignals[] = {Signal::below, Signal::above, Signal::random, Signal::subnormal};
inline constexpr std::int32_t kBlockSizes[] = {64, 512, 4096};

inline const char* signalName(Signal signal)
{
    switch (signal) {
    case Signal::below:
        return "below";
    case Signal::above:
        return "above";
    case Signal::random:
        return "random";
    case Signal::subnormal:
        return "subnormal";
    }
    return "unknown";
}

// One channel of frames samples for the effect's initial settings (boost 1, knee 0.5):
// below stays within +-0.45, above keeps magnitudes in 0.55..2 with random signs, random
// is uniform in -2..2 and so crosses the knee unpredictably, subnormal holds only
// subnormal floats of both signs.
inline std::vector<float> makeSignal(Signal signal, std::size_t frames, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<float> samples(frames);
    for (float& sample : samples) {
        const float sign = (random() & 1) != 0 ? -1.0f : 1.0f;
        switch (signal) {
        case Signal::below:
            sample = sign * 0.45f * unit(random);
            break;
        case Signal::above:
            sample = sign * (0.55f + 1.45f * unit(random));
            break;
        case Signal::random:
            sample = 4.0f * unit(random) - 2.0f;
            break;
        case Signal::subnormal:
            sample = sign * static_cast<float>(random() % 0x7fffffu + 1) * 0x1p-149f;
            break;
        }
    }
    return samples;
}
