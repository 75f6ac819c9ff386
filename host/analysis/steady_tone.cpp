#include "steady_tone.h"

#include "audio_check.h"
#include "channel_buffers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace plughost {

std::vector<float> steadyResponse(AudioPlugin& plugin, double tone, double amplitude, double sampleRate,
                                  std::size_t frames, const std::string& run)
{
    ChannelBuffers inputs(std::max(plugin.inputs(), 1), kToneBlockFrames);
    ChannelBuffers outputs(std::max(plugin.outputs(), 1), kToneBlockFrames);
    plugin.start(sampleRate, kToneBlockFrames);
    std::vector<float> kept;
    kept.reserve(frames);
    OutputWatch watch;
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
        for (int c = 0; c < outputs.channels(); ++c)
            watch.add(outputs.channel(c), static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            if (start + static_cast<std::size_t>(i) >= kSettlingFrames)
                kept.push_back(outputs.channel(0)[i]);
    }
    plugin.stop();
    char given[96];
    std::snprintf(given, sizeof given, " given a %g Hz sine at %.2f dBFS", tone, 20.0 * std::log10(amplitude));
    watch.require(run + given);
    return kept;
}

ToneSpectrum measureTone(AudioPlugin& plugin, const ToneAnalyser& analyser, double tone, double levelDbfs,
                         double sampleRate, const std::string& run)
{
    ToneSpectrum spectrum = analyser.analyse(
        steadyResponse(plugin, tone, std::pow(10.0, levelDbfs / 20.0), sampleRate, analyser.length(), run));
    // Output within +60 dBFS keeps every sum far inside a double; this is the guard should one not.
    const ToneFigures& f = spectrum.figures;
    if (!std::isfinite(f.fundamental.amplitude) || std::isnan(f.thd) || std::isnan(f.thdPlusNoise) ||
        (f.fundamental.amplitude > 0.0 && !(std::isfinite(f.thd) && std::isfinite(f.thdPlusNoise))))
        throw NotAudio(run + ": a figure computed from the output overflows; none is reported");
    // Every figure is relative to the fundamental; with none there is nothing to relate to.
    if (!(f.fundamental.amplitude > 0.0))
        throw NotAudio(run + ": the output holds nothing at " + std::to_string(static_cast<int>(std::lround(tone))) +
                       " Hz, so no figure relative to the fundamental exists");
    return spectrum;
}

} // namespace plughost
