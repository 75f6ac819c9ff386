#include "aliases.h"
#include "atomic_output.h"
#include "audio_check.h"
#include "commands.h"
#include "harmonic_analysis.h"
#include "steady_tone.h"
#include "tone_plots.h"
#include "tone_setup.h"

#include <nlohmann/json.hpp>

#include <algorithm>
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

nlohmann::ordered_json aliasJson(const Alias& alias)
{
    nlohmann::ordered_json entry = {{"frequency", number(alias.frequency)},
                                    {"db", number(alias.relativeDb)},
                                    {"harmonic", alias.order},
                                    {"harmonicFrequency", number(alias.harmonicFrequency)},
                                    {"amplitude", number(alias.amplitude)},
                                    {"aboveFloor", alias.aboveFloor}};
    return entry;
}

// "alias of H5 at 35 kHz"
std::string aliasName(const Alias& alias)
{
    char text[64];
    std::snprintf(text, sizeof text, "alias of H%d at %g kHz", alias.order, alias.harmonicFrequency / 1000.0);
    return text;
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
    document["strongestAlias"] = aliasJson(figures.strongestAlias);
    document["strongestAliasBelowNyquist"] = aliasJson(figures.strongestAliasAnywhere);
    document["aliases"] = nlohmann::ordered_json::array();
    for (const Alias& alias : figures.aliases)
        document["aliases"].push_back(aliasJson(alias));
    document["aliasesOnHarmonics"] = figures.hiddenAliases;
    document["largestNonHarmonic"] = componentJson(figures.largestOther);
    std::cout << document.dump(2) << '\n';
}

// The loudest aliases above the floor, loudest first.
void printAliases(const ToneFigures& figures)
{
    constexpr std::size_t kShown = 10;
    std::vector<Alias> heard;
    for (const Alias& alias : figures.aliases)
        if (alias.aboveFloor)
            heard.push_back(alias);
    if (heard.empty()) {
        std::printf("aliases:      none above the floor\n");
        return;
    }
    std::sort(heard.begin(), heard.end(), [](const Alias& a, const Alias& b) { return a.amplitude > b.amplitude; });
    std::printf("aliases:      harmonics above Nyquist, folded back; dB re fundamental\n");
    for (std::size_t i = 0; i < std::min(kShown, heard.size()); ++i)
        std::printf("  %3d  %9.1f Hz  %8.2f  (%s)\n", heard[i].order, heard[i].frequency, heard[i].relativeDb,
                    aliasName(heard[i]).c_str());
    if (heard.size() > kShown)
        std::printf("  ... and %zu more above the floor\n", heard.size() - kShown);
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
    printAliases(figures);
    std::printf("THD:          %.4g %%  (%.2f dB)\n", 100.0 * figures.thd, toDb(figures.thd));
    std::printf("THD+N:        %.4g %%  (%.2f dB)\n", 100.0 * figures.thdPlusNoise, toDb(figures.thdPlusNoise));
    const auto strongest = [&](const char* what, const Alias& alias) {
        if (alias.order == 0)
            std::printf("%s none\n", what);
        else
            std::printf("%s %.2f dB at %.1f Hz, %s%s\n", what, alias.relativeDb, alias.frequency,
                        aliasName(alias).c_str(), alias.aboveFloor ? "" : "  (below the floor)");
    };
    strongest("strongest alias:             ", figures.strongestAlias);
    if (figures.strongestAliasAnywhere.order != figures.strongestAlias.order)
        strongest("strongest alias to Nyquist:  ", figures.strongestAliasAnywhere);
    std::printf("largest non-harmonic: %.2f dB at %.1f Hz%s\n", figures.largestOther.relativeDb,
                figures.largestOther.frequency, figures.largestOther.aboveFloor ? "" : "  (below the floor)");
    if (figures.hiddenAliases > 0)
        std::printf("note:         %d of the first %d harmonics above Nyquist fold onto DC, the tone or its harmonics "
                    "and are counted with them; a tone that divides no common rate, such as 997 Hz, keeps them apart\n",
                    figures.hiddenAliases, kAliasOrders);
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
    const PluginStart start{options.program, options.preset};
    const std::vector<std::string> shown = shownSettings(start, options.settings);
    const std::unique_ptr<AudioPlugin> plugin = preparePlugin(options.modulePath, options.settings, start);
    std::optional<AtomicOutput> output;
    if (!kind.empty())
        output.emplace(options.outputPath);
    const ToneAnalyser analyser(setup.tone, setup.sampleRate);
    const ToneSpectrum spectrum =
        measureTone(*plugin, analyser, setup.tone, level, setup.sampleRate, runName(plugin->name(), shown));

    if (kind == ".csv")
        writeCsv(*output, spectrum);
    else if (output)
        drawSpectrum(output->path(), output->target(), spectrum, plotTitle(plugin->name(), shown));
    if (output)
        output->commit();
    if (options.json)
        printJson(spectrum.figures, level);
    else
        printText(spectrum.figures, level);
    return 0;
}

} // namespace plughost
