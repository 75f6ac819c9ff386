#include "steady_tone.h"

#include "channel_buffers.h"
#include "user_error.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace plughost {

std::vector<float> steadyResponse(AudioPlugin& plugin, double tone, double amplitude, double sampleRate,
                                  std::size_t frames)
{
    ChannelBuffers inputs(std::max(plugin.inputs(), 1), kToneBlockFrames);
    ChannelBuffers outputs(std::max(plugin.outputs(), 1), kToneBlockFrames);
    plugin.start(sampleRate, kToneBlockFrames);
    std::vector<float> kept;
    kept.reserve(frames);
    const std::size_t total = kSettlingFrames + frames;
    // The phase comes from the sample index, so no error accumulates over a long run.
    const double cyclesPerSample = tone / sampleRate;
    for (std::size_t start = 0; start < total; start += kToneBlockFrames) {
        const int count = static_cast<int>(std::min<std::size_t>(kToneBlockFrames, total - start));
        for (int i = 0; i < count; ++i) {
            const double cycles =
                std::fmod(cyclesPerSample * static_cast<double>(start + static_cast<std::size_t>(i)), 1.0);
            const auto sample = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * cycles));
            for (int c = 0; c < inputs.channels(); ++c)
                inputs.channel(c)[i] = sample;
        }
        plugin.process(inputs.pointers(), outputs.pointers(), count);
        for (int i = 0; i < count; ++i)
            if (start + static_cast<std::size_t>(i) >= kSettlingFrames)
                kept.push_back(outputs.channel(0)[i]);
    }
    plugin.stop();
    const auto bad = std::count_if(kept.begin(), kept.end(), [](float s) { return !std::isfinite(s); });
    if (bad > 0)
        throw UserError("the module's output holds " + std::to_string(bad) +
                        " samples that are NaN or infinite; no spectrum can be taken");
    return kept;
}

} // namespace plughost
