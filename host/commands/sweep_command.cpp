#include "atomic_output.h"
#include "audio_check.h"
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

constexpr int kMostLevels = 1000;
// Where a listener starts to hear a sine thicken: the sweep reports the first level past it.
constexpr double kAudibleThd = 0.001;

double toDb(double ratio)
{
    return 20.0 * std::log10(ratio);
}

std::vector<double> sweepLevels(const SweepOptions& options)
{
    const double from = parseLevel(options.from, "--from");
    const double to = parseLevel(options.to, "--to");
    const double step = parseNumber(options.step, "--step");
    if (!(from < to))
        throw UserError("--from " + options.from + " must be below --to " + options.to);
    if (!(step > 0.0))
        throw UserError("--step " + options.step + " must be above 0 dB");
    if ((to - from) / step >= kMostLevels)
        throw UserError("--step " + options.step + " gives more than " + std::to_string(kMostLevels) + " levels");
    std::vector<double> levels;
    for (int i = 0; from + i * step < to - 1e-9; ++i)
        levels.push_back(from + i * step);
    levels.push_back(to);
    return levels;
}

nlohmann::ordered_json number(double value)
{
    return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

void printJson(const std::vector<SweepPoint>& points, double tone, double sampleRate)
{
    nlohmann::ordered_json document;
    document["tone"] = tone;
    document["sampleRate"] = sampleRate;
    document["window"] = kAnalysisWindowName;
    document["levels"] = nlohmann::ordered_json::array();
    for (const SweepPoint& point : points)
        document["levels"].push_back(
            {{"input", point.inputDbfs},
             {"output", number(point.outputDbfs)},
             {"thd", {{"percent", number(100.0 * point.thd)}, {"db", number(toDb(point.thd))}}},
             {"thdPlusNoise",
              {{"percent", number(100.0 * point.thdPlusNoise)}, {"db", number(toDb(point.thdPlusNoise))}}}});
    std::cout << document.dump(2) << '\n';
}

void printText(const std::vector<SweepPoint>& points, double tone, double sampleRate)
{
    std::printf("tone %g Hz, sample rate %g Hz, %s window\n", tone, sampleRate, kAnalysisWindowName);
    std::printf("   input dBFS  output dBFS       THD %%    THD dB     THD+N %%  THD+N dB\n");
    for (const SweepPoint& p : points)
        std::printf("  %11.2f  %11.2f  %10.4g  %8.2f  %10.4g  %8.2f\n", p.inputDbfs, p.outputDbfs, 100.0 * p.thd,
                    toDb(p.thd), 100.0 * p.thdPlusNoise, toDb(p.thdPlusNoise));
    for (const SweepPoint& p : points)
        if (p.thd > kAudibleThd) {
            if (&p == &points.front())
                std::printf("THD is above %g %% already at the first level, %.2f dBFS input\n", 100.0 * kAudibleThd,
                            p.inputDbfs);
            else
                std::printf("THD passes %g %% at %.2f dBFS input\n", 100.0 * kAudibleThd, p.inputDbfs);
            return;
        }
    std::printf("THD stays at or below %g %%\n", 100.0 * kAudibleThd);
}

void writeCsv(const AtomicOutput& output, const std::vector<SweepPoint>& points)
{
    std::ofstream file(output.path());
    file << "input_dbfs,output_dbfs,thd_percent,thd_db,thdn_percent,thdn_db\n";
    char line[160];
    for (const SweepPoint& p : points) {
        std::snprintf(line, sizeof line, "%.4f,%.6f,%.6g,%.4f,%.6g,%.4f\n", p.inputDbfs, p.outputDbfs, 100.0 * p.thd,
                      toDb(p.thd), 100.0 * p.thdPlusNoise, toDb(p.thdPlusNoise));
        file << line;
    }
    if (!file.flush())
        throw UserError(output.target() + ": cannot be written");
}

} // namespace

int runSweep(const SweepOptions& options)
{
    const ToneSetup setup = parseToneSetup(options.tone, options.sampleRate);
    const std::vector<double> levels = sweepLevels(options);
    // Without --out the levels are only printed, as text or with --json as JSON.
    const std::string kind =
        options.outputPath.empty() ? "" : outputKind(options.outputPath, "sweep", options.modulePath);
    const PluginStart start{options.program, options.preset};
    const std::vector<std::string> shown = shownSettings(start, options.settings);
    const std::unique_ptr<AudioPlugin> plugin = preparePlugin(options.modulePath, options.settings, start);
    std::optional<AtomicOutput> output;
    if (!kind.empty())
        output.emplace(options.outputPath);
    const ToneAnalyser analyser(setup.tone, setup.sampleRate);
    std::vector<SweepPoint> points;
    for (const double level : levels) {
        if (output)
            output->checkInterrupted();
        const ToneFigures figures =
            measureTone(*plugin, analyser, setup.tone, level, setup.sampleRate, runName(plugin->name(), shown)).figures;
        points.push_back({level, toDb(figures.fundamental.amplitude), figures.thd, figures.thdPlusNoise});
    }

    if (kind == ".csv")
        writeCsv(*output, points);
    else if (output)
        drawSweep(output->path(), output->target(), points, setup.tone, plotTitle(plugin->name(), shown));
    if (output)
        output->commit();
    if (options.json)
        printJson(points, setup.tone, setup.sampleRate);
    else
        printText(points, setup.tone, setup.sampleRate);
    return 0;
}

} // namespace plughost
