#include "sonogram.h"

#include "audio_check.h"
#include "channel_buffers.h"
#include "harmonic_analysis.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <numbers>
#include <string>

namespace plughost {

namespace {

constexpr int kBlockFrames = 512;
constexpr double kFrameSeconds = 0.085;
// Frame lengths of 1, 2, 4 and 8 times kFrameSeconds; at 48 kHz the longest, 0.68 s, serves
// below 29 Hz and the shortest above 117 Hz.
constexpr int kLayers = 4;
constexpr double kCyclesPerFrame = 40.0;

} // namespace

std::vector<float> sweepResponse(AudioPlugin& plugin, const SweepTone& sweep, const std::string& run)
{
    const auto total = static_cast<std::size_t>(std::llround(sweep.seconds * sweep.sampleRate));
    ChannelBuffers inputs(std::max(plugin.inputs(), 1), kBlockFrames);
    ChannelBuffers outputs(std::max(plugin.outputs(), 1), kBlockFrames);
    std::vector<float> kept;
    kept.reserve(total);
    OutputWatch watch;
    const double growth = std::log(sweep.to / sweep.from);
    const double scale = 2.0 * std::numbers::pi * sweep.from * sweep.seconds / growth;
    plugin.start(sweep.sampleRate, kBlockFrames);
    for (std::size_t start = 0; start < total; start += kBlockFrames) {
        const int count = static_cast<int>(std::min<std::size_t>(kBlockFrames, total - start));
        for (int i = 0; i < count; ++i) {
            const double t = static_cast<double>(start + static_cast<std::size_t>(i)) / sweep.sampleRate;
            const double phase = scale * (std::exp(t * growth / sweep.seconds) - 1.0);
            const auto sample =
                static_cast<float>(sweep.amplitude * std::sin(std::fmod(phase, 2.0 * std::numbers::pi)));
            for (int c = 0; c < inputs.channels(); ++c)
                inputs.channel(c)[i] = sample;
        }
        plugin.process(inputs.pointers(), outputs.pointers(), count);
        for (int c = 0; c < outputs.channels(); ++c)
            watch.add(outputs.channel(c), static_cast<std::size_t>(count));
        kept.insert(kept.end(), outputs.channel(0), outputs.channel(0) + count);
    }
    plugin.stop();
    char given[128];
    std::snprintf(given, sizeof given, " given a log sweep from %g Hz to %g Hz at %.2f dBFS", sweep.from, sweep.to,
                  20.0 * std::log10(sweep.amplitude));
    watch.require(run + given);
    return kept;
}

namespace {

// Each column's frame of `n` samples centred on its time, windowed, as levels of a sine on each bin.
std::vector<std::vector<float>> transformColumns(const std::vector<float>& signal, std::size_t n,
                                                 const std::vector<double>& centres)
{
    const std::vector<double> window = analysisWindow(n);
    double windowSum = 0.0;
    for (const double w : window)
        windowSum += w;
    double* timeData = fftw_alloc_real(n);
    fftw_complex* frequencyData = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = timeData && frequencyData
                         ? fftw_plan_dft_r2c_1d(static_cast<int>(n), timeData, frequencyData, FFTW_ESTIMATE)
                         : nullptr;
    if (!plan) {
        fftw_free(timeData);
        fftw_free(frequencyData);
        throw std::bad_alloc();
    }
    // A sine centred on a bin shows |X| = A / 2 * sum(w).
    const double scale = 2.0 / windowSum;
    std::vector<std::vector<float>> columns;
    for (const double centre : centres) {
        const auto first = static_cast<long long>(centre) - static_cast<long long>(n / 2);
        for (std::size_t i = 0; i < n; ++i) {
            const long long at = first + static_cast<long long>(i);
            const double sample =
                at >= 0 && at < static_cast<long long>(signal.size()) ? signal[static_cast<std::size_t>(at)] : 0.0;
            timeData[i] = window[i] * sample;
        }
        fftw_execute(plan);
        std::vector<float> levels(n / 2 + 1);
        for (std::size_t k = 0; k <= n / 2; ++k) {
            const double magnitude = std::hypot(frequencyData[k][0], frequencyData[k][1]);
            levels[k] = static_cast<float>(20.0 * std::log10(std::max(scale * magnitude, 1e-30)));
        }
        columns.push_back(std::move(levels));
    }
    fftw_destroy_plan(plan);
    fftw_free(timeData);
    fftw_free(frequencyData);
    return columns;
}

} // namespace

Spectrogram spectrogramOf(const std::vector<float>& signal, double sampleRate, std::size_t columns)
{
    std::size_t n = 256;
    while (static_cast<double>(n) < kFrameSeconds * sampleRate)
        n *= 2;
    Spectrogram result;
    result.sampleRate = sampleRate;
    result.seconds = static_cast<double>(signal.size()) / sampleRate;
    std::vector<double> centres;
    for (std::size_t column = 0; column < columns; ++column) {
        centres.push_back((static_cast<double>(column) + 0.5) / static_cast<double>(columns) *
                          static_cast<double>(signal.size()));
        result.times.push_back(centres.back() / sampleRate);
    }
    for (int layer = 0; layer < kLayers; ++layer, n *= 2) {
        // A frame of n samples serves the frequencies whose kCyclesPerFrame periods last at least that long.
        const double below = layer == 0 ? sampleRate : kCyclesPerFrame * sampleRate / static_cast<double>(n);
        result.layers.push_back({sampleRate / static_cast<double>(n), below, transformColumns(signal, n, centres)});
    }
    return result;
}

double Spectrogram::level(std::size_t column, double low, double high) const
{
    const double middle = std::sqrt(low * high);
    const SpectrogramLayer* layer = &layers.front();
    for (const SpectrogramLayer& candidate : layers)
        if (middle < candidate.below)
            layer = &candidate;
    const std::vector<float>& bins = layer->levelDbfs[column];
    const double lastBin = static_cast<double>(bins.size() - 1);
    const double top = std::min(high / layer->binWidth, lastBin);
    const double bottom = std::min(low / layer->binWidth, lastBin);
    double loudest = -1e9;
    for (auto k = static_cast<std::size_t>(std::ceil(bottom)); static_cast<double>(k) <= top; ++k)
        loudest = std::max(loudest, static_cast<double>(bins[k]));
    if (loudest > -1e8)
        return loudest;
    const auto k = static_cast<std::size_t>(bottom);
    const double f = bottom - static_cast<double>(k);
    return (1.0 - f) * bins[k] + f * bins[std::min(k + 1, bins.size() - 1)];
}

} // namespace plughost
