#include "atomic_output.h"
#include "commands.h"
#include "harmonic_analysis.h"
#include "steady_tone.h"
#include "tone_plots.h"
#include "tone_setup.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>

namespace plughost {

namespace {

double toDb(double ratio)
{
    return 20.0 * std::log10(ratio);
}

// A figure as JSON: a number, or null where it is infinite (the decibels of nothing).
nlohmann::ordered_json number(double value)
{
    return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json ratioJson(double ratio)
{
    return {{"percent", number(100.0 * ratio)}, {"db", number(toDb(ratio))}};
}

nlohmann::ordered_json componentJson(const Component& component)
{
    return {{"frequency", number(component.frequency)},
            {"amplitude", number(component.amplitude)},
            {"db", number(component.relativeDb)},
            {"aboveFloor", component.aboveFloor}};
}

void printJson(const ToneFigures& figures, double inputDbfs)
{
    nlohmann::ordered_json document;
    document["tone"] = figures.tone;
    document["level"] = inputDbfs;
    document["sampleRate"] = figures.sampleRate;
    document["window"] = kAnalysisWindowName;
    document["points"] = figures.length;
    document["fundamental"] = {{"frequency", figures.tone},
                               {"amplitude", number(figures.fundamental.amplitude)},
                               {"dbfs", number(toDb(figures.fundamental.amplitude))}};
    document["floorDb"] = number(figures.floorDb);
    document["harmonics"] = nlohmann::ordered_json::array();
    for (const Harmonic& harmonic : figures.harmonics) {
        nlohmann::ordered_json entry = {{"order", harmonic.order}};
        entry.update(componentJson(harmonic));
        document["harmonics"].push_back(entry);
    }
    document["thd"] = ratioJson(figures.thd);
    document["thdPlusNoise"] = ratioJson(figures.thdPlusNoise);
    document["largestNonHarmonic"] = componentJson(figures.largestOther);
    std::cout << document.dump(2) << '\n';
}

void printText(const ToneFigures& figures, double inputDbfs)
{
    std::printf("tone:         %g Hz at %.2f dBFS, sample rate %g Hz\n", figures.tone, inputDbfs, figures.sampleRate);
    std::printf("analysis:     %zu points, %s window, after %d samples of settling\n", figures.length,
                kAnalysisWindowName, kSettlingFrames);
    std::printf("fundamental:  %.2f dBFS\n", toDb(figures.fundamental.amplitude));
    std::printf("floor:        %.1f dB re fundamental\n", figures.floorDb);
    if (figures.harmonics.empty())
        std::printf("harmonics:    none below Nyquist\n");
    else
        std::printf("harmonics:    dB re fundamental\n");
    for (const Harmonic& harmonic : figures.harmonics)
        std::printf("  %3d  %9.1f Hz  %8.2f%s\n", harmonic.order, harmonic.frequency, harmonic.relativeDb,
                    harmonic.aboveFloor ? "" : "  (below the floor)");
    std::printf("THD:          %.4g %%  (%.2f dB)\n", 100.0 * figures.thd, toDb(figures.thd));
    std::printf("THD+N:        %.4g %%  (%.2f dB)\n", 100.0 * figures.thdPlusNoise, toDb(figures.thdPlusNoise));
    std::printf("largest non-harmonic: %.2f dB at %.1f Hz%s\n", figures.largestOther.relativeDb,
                figures.largestOther.frequency, figures.largestOther.aboveFloor ? "" : "  (below the floor)");
}

void writeCsv(const AtomicOutput& output, const ToneSpectrum& spectrum)
{
    std::ofstream file(output.path());
    file << "frequency_hz,level_dbfs\n";
    char line[64];
    for (std::size_t k = 0; k < spectrum.levelDbfs.size(); ++k) {
        std::snprintf(line, sizeof line, "%.6f,%.4f\n", static_cast<double>(k) * spectrum.binWidth,
                      spectrum.levelDbfs[k]);
        file << line;
    }
    if (!file.flush())
        throw UserError(output.target() + ": cannot be written");
}

} // namespace

int runSpectrum(const SpectrumOptions& options)
{
    const ToneSetup setup = parseToneSetup(options.tone, options.sampleRate);
    const double level = parseLevel(options.level, "--level");
    const std::string kind =
        options.outputPath.empty() ? "" : outputKind(options.outputPath, "spectrum", options.modulePath);
    const Module module(options.modulePath);
    Effect effect = prepareEffect(module, options.settings);
    std::optional<AtomicOutput> output;
    if (!kind.empty())
        output.emplace(options.outputPath);
    const ToneAnalyser analyser(setup.tone, setup.sampleRate);
    const std::vector<float> samples =
        steadyResponse(effect, setup.tone, std::pow(10.0, level / 20.0), setup.sampleRate, analyser.length());
    effect.close();
    const ToneSpectrum spectrum = analyser.analyse(samples);

    if (kind == ".csv")
        writeCsv(*output, spectrum);
    else if (output)
        drawSpectrum(output->path(), output->target(), spectrum, plotTitle(options.modulePath, options.settings));
    if (output)
        output->commit();
    if (options.json)
        printJson(spectrum.figures, level);
    else
        printText(spectrum.figures, level);
    return 0;
}

} // namespace plughost
