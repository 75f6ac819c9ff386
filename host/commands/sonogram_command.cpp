#include "atomic_output.h"
#include "audio_check.h"
#include "commands.h"
#include "sonogram.h"
#include "tone_plots.h"
#include "tone_setup.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace plughost {

namespace {

constexpr double kShortestSeconds = 0.5;
constexpr double kLongestSeconds = 60.0;

} // namespace

int runSpectrogram(const SpectrogramOptions& options)
{
    const ToneSetup low = parseToneSetup(options.from, options.sampleRate);
    SweepTone sweep;
    sweep.sampleRate = low.sampleRate;
    sweep.from = low.tone;
    sweep.to = options.to.empty() ? defaultHighestTone(sweep.sampleRate) : parseNumber(options.to, "--to");
    if (sweep.to >= sweep.sampleRate / 2.0)
        throw UserError("--to " + options.to + " Hz is at or above Nyquist at a rate of " + options.sampleRate + " Hz");
    if (!(sweep.from < sweep.to))
        throw UserError("--from " + options.from + " must be below --to " +
                        (options.to.empty() ? std::to_string(static_cast<int>(sweep.to)) + " (the default at this rate)"
                                            : options.to));
    sweep.seconds = parseNumber(options.seconds, "--seconds");
    if (sweep.seconds < kShortestSeconds || sweep.seconds > kLongestSeconds)
        throw UserError("--seconds " + options.seconds + " is outside 0.5 to 60");
    const double level = parseLevel(options.level, "--level");
    sweep.amplitude = std::pow(10.0, level / 20.0);
    std::string extension = std::filesystem::path(options.outputPath).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension != ".png" && extension != ".svg")
        throw UserError(options.outputPath + ": the spectrogram is written as .png or .svg");
    outputKind(options.outputPath, "spectrogram", options.modulePath);

    const PluginStart start{options.program, options.preset};
    const std::vector<std::string> shown = shownSettings(start, options.settings);
    const std::unique_ptr<AudioPlugin> plugin = preparePlugin(options.modulePath, options.settings, start);
    AtomicOutput output(options.outputPath);
    const std::vector<float> response = sweepResponse(*plugin, sweep, runName(plugin->name(), shown));
    output.checkInterrupted();
    const Spectrogram spectrogram = spectrogramOf(response, sweep.sampleRate, kSpectrogramColumns);
    char what[160];
    std::snprintf(what, sizeof what, "  (log sweep %g Hz to %g Hz in %g s at %g dBFS, %g Hz)", sweep.from, sweep.to,
                  sweep.seconds, level, sweep.sampleRate);
    drawSpectrogram(output.path(), output.target(), spectrogram, std::min(20.0, sweep.from),
                    plotTitle(plugin->name(), shown) + what);
    output.commit();
    std::printf("spectrogram of a log sweep from %g Hz to %g Hz in %g s written to %s\n", sweep.from, sweep.to,
                sweep.seconds, options.outputPath.c_str());
    return 0;
}

} // namespace plughost
