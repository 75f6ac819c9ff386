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
#include <memory>
#include <optional>

namespace plughost {

namespace {

constexpr int kFewestTones = 1;
constexpr int kMostTones = 200;
// Options of the command that take a value, so the scan below can step over it.
const char* const kValueOptions[] = {"--set", "--from", "--to", "--tones", "--level", "--rate", "--out"};

std::string numberText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

struct LineRequest {
    std::string module;
    std::vector<std::string> settings;
    PluginStart start;
};

std::vector<std::string> splitSettings(const std::string& group)
{
    std::vector<std::string> settings;
    std::size_t start = 0;
    for (std::size_t comma; (comma = group.find(',', start)) != std::string::npos; start = comma + 1)
        settings.push_back(group.substr(start, comma - start));
    settings.push_back(group.substr(start));
    return settings;
}

// Each --set is one line of settings (NAME=VALUE, comma separated) for the MODULE
// before it, or for the first when it comes before any; a MODULE without one is one
// line at its defaults. --program and --preset choose where every line of the MODULE
// before them starts.
std::vector<LineRequest> lineRequests(const AliasingOptions& options)
{
    std::vector<std::vector<std::string>> groups(options.modules.size());
    std::vector<PluginStart> starts(options.modules.size());
    std::size_t seen = 0;
    const std::vector<std::string>& words = options.arguments;
    // The value of `option` when words[i] is it ("--set X" or "--set=X"), stepping over it.
    const auto valueOf = [&](std::size_t& i, const std::string& option) -> std::optional<std::string> {
        if (words[i] == option)
            return i + 1 < words.size() ? words[++i] : "";
        if (words[i].rfind(option + "=", 0) == 0)
            return words[i].substr(option.size() + 1);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::size_t module = seen == 0 ? 0 : seen - 1;
        if (const auto group = valueOf(i, "--set")) {
            if (!groups.empty())
                groups[module].push_back(*group);
        } else if (const auto program = valueOf(i, "--program")) {
            if (!starts.empty())
                starts[module].program = *program;
        } else if (const auto preset = valueOf(i, "--preset")) {
            if (!starts.empty())
                starts[module].preset = *preset;
        } else if (words[i].rfind('-', 0) == 0) {
            for (const char* option : kValueOptions)
                if (words[i] == option)
                    ++i;
        } else {
            ++seen;
        }
    }
    std::vector<LineRequest> lines;
    for (std::size_t m = 0; m < options.modules.size(); ++m) {
        if (groups[m].empty())
            lines.push_back({options.modules[m], {}, starts[m]});
        for (const std::string& group : groups[m])
            lines.push_back({options.modules[m], splitSettings(group), starts[m]});
    }
    return lines;
}

struct ToneRange {
    std::vector<double> tones;
    double sampleRate;
};

// Log-spaced tones, each moved to the nearest whole hertz whose harmonics and aliases fall apart.
ToneRange toneRange(const AliasingOptions& options)
{
    const ToneSetup low = parseToneSetup(options.from, options.sampleRate);
    const double rate = low.sampleRate;
    const double from = low.tone;
    const double to = options.to.empty() ? defaultHighestTone(rate) : parseNumber(options.to, "--to");
    const std::string toText = options.to.empty() ? numberText(to) + " (the default at this rate)" : options.to;
    if (to >= rate / 2.0)
        throw UserError("--to " + options.to + " Hz is at or above Nyquist (" + numberText(rate / 2.0) +
                        " Hz at a rate of " + options.sampleRate + " Hz)");
    char* end = nullptr;
    const long count = std::strtol(options.tones.c_str(), &end, 10);
    if (options.tones.empty() || *end != '\0' || count < kFewestTones || count > kMostTones)
        throw UserError("--tones takes a whole number from " + std::to_string(kFewestTones) + " to " +
                        std::to_string(kMostTones) + ", not '" + options.tones + "'");
    // --tones 1 is --from alone; --from equal to --to is that one tone however many are asked for.
    if (from > to)
        throw UserError("--from " + options.from + " must be below --to " + toText);
    ToneRange range{{}, rate};
    for (long i = 0; i < count; ++i) {
        const double share = count > 1 ? static_cast<double>(i) / static_cast<double>(count - 1) : 0.0;
        const double nominal = from * std::pow(to / from, share);
        const double apart = 24.0 * rate / static_cast<double>(analysisLength(nominal, rate));
        const double tone = std::max(separatedTone(nominal, to, rate, apart), from);
        if (range.tones.empty() || tone > range.tones.back())
            range.tones.push_back(tone);
    }
    return range;
}

nlohmann::ordered_json number(double value)
{
    return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json aliasJson(const Alias& alias)
{
    return {{"frequency", number(alias.frequency)}, {"db", number(alias.relativeDb)}, {"harmonic", alias.order}};
}

void printJson(const std::vector<LineRequest>& requests, const std::vector<AliasingLine>& lines, double rate, double level)
{
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        nlohmann::ordered_json line;
        line["module"] = requests[i].module;
        line["settings"] = shownSettings(requests[i].start, requests[i].settings);
        line["sampleRate"] = rate;
        line["level"] = level;
        line["tones"] = nlohmann::ordered_json::array();
        for (const AliasingPoint& p : lines[i].points)
            line["tones"].push_back({{"frequency", p.tone},
                                     {"strongestAlias", aliasJson(p.audible)},
                                     {"strongestAliasBelowNyquist", aliasJson(p.anywhere)},
                                     {"thdDb", number(20.0 * std::log10(p.thd))}});
        all.push_back(line);
    }
    const auto& document = all.size() == 1 ? all.front() : all;
    std::cout << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

std::string dbText(double value)
{
    char text[16];
    if (std::isfinite(value))
        std::snprintf(text, sizeof text, "%7.1f", value);
    else
        std::snprintf(text, sizeof text, "%7s", "-inf");
    return text;
}

// One row per tone; per line the strongest audible alias (level and place), the strongest below
// Nyquist and THD. Two lines fit side by side in 100 columns; more come as blocks beneath.
void printTable(const std::vector<AliasingLine>& lines, double rate, double level)
{
    constexpr std::size_t kLinesPerBlock = 2;
    const std::size_t tones = lines.front().points.size();
    std::printf("aliasing: %zu tone%s at %.2f dBFS, sample rate %g Hz; dB re fundamental\n", tones,
                tones == 1 ? "" : "s", level, rate);
    for (std::size_t i = 0; i < lines.size(); ++i)
        std::printf("  [%zu] %s\n", i + 1, lines[i].label.c_str());
    for (std::size_t first = 0; first < lines.size(); first += kLinesPerBlock) {
        const std::size_t last = std::min(first + kLinesPerBlock, lines.size());
        std::printf("%s%9s", first == 0 ? "" : "\n", "");
        for (std::size_t i = first; i < last; ++i)
            std::printf("  | [%zu] alias   at kHz  to Nyq   THD", i + 1);
        std::printf("\n%9s", "tone Hz");
        for (std::size_t i = first; i < last; ++i)
            std::printf("  | %8s  %7s %7s %7s", "dB", "", "dB", "dB");
        std::printf("\n");
        for (std::size_t t = 0; t < lines.front().points.size(); ++t) {
            std::printf("%9.0f", lines.front().points[t].tone);
            for (std::size_t i = first; i < last; ++i) {
                const AliasingPoint& p = lines[i].points[t];
                std::printf("  | %8s  %7.2f %7s %7s", dbText(p.audible.relativeDb).c_str(),
                            p.audible.frequency / 1000.0, dbText(p.anywhere.relativeDb).c_str(),
                            dbText(20.0 * std::log10(p.thd)).c_str());
            }
            std::printf("\n");
        }
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const AliasingPoint* worst = nullptr;
        for (const AliasingPoint& p : lines[i].points)
            if (!worst || p.audible.relativeDb > worst->audible.relativeDb)
                worst = &p;
        std::printf("[%zu] strongest audible alias: %.1f dB at %.0f Hz (H%d), for the %.0f Hz tone\n", i + 1,
                    worst->audible.relativeDb, worst->audible.frequency, worst->audible.order, worst->tone);
    }
}

void writeCsv(const AtomicOutput& output, const std::vector<LineRequest>& requests, const std::vector<AliasingLine>& lines)
{
    std::ofstream file(output.path());
    file << "line,module,settings,tone_hz,alias_db,alias_hz,alias_order,alias_below_nyquist_db,"
            "alias_below_nyquist_hz,alias_below_nyquist_order,thd_db\n";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string settings;
        for (const std::string& s : shownSettings(requests[i].start, requests[i].settings))
            settings += (settings.empty() ? "" : " ") + s;
        for (const AliasingPoint& p : lines[i].points) {
            char row[256];
            std::snprintf(row, sizeof row, ",%.1f,%.4f,%.3f,%d,%.4f,%.3f,%d,%.4f\n", p.tone, p.audible.relativeDb,
                          p.audible.frequency, p.audible.order, p.anywhere.relativeDb, p.anywhere.frequency,
                          p.anywhere.order, 20.0 * std::log10(p.thd));
            file << i + 1 << ",\"" << requests[i].module << "\",\"" << settings << "\"" << row;
        }
    }
    if (!file.flush())
        throw UserError(output.target() + ": cannot be written");
}

} // namespace

int runAliasing(const AliasingOptions& options)
{
    const ToneRange range = toneRange(options);
    const double level = parseLevel(options.level, "--level");
    const std::vector<LineRequest> requests = lineRequests(options);
    std::string kind;
    for (const std::string& module : options.modules)
        kind = options.outputPath.empty() ? "" : outputKind(options.outputPath, "aliasing table", module);
    // Every plug-in is opened first, so a mistake in the last is told before minutes of measuring.
    std::vector<std::unique_ptr<AudioPlugin>> plugins;
    for (const LineRequest& request : requests)
        plugins.push_back(preparePlugin(request.module, request.settings, request.start));
    std::optional<AtomicOutput> output;
    if (!kind.empty())
        output.emplace(options.outputPath);

    std::vector<AliasingLine> lines;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const std::vector<std::string> shown = shownSettings(requests[i].start, requests[i].settings);
        AliasingLine line{plotTitle(plugins[i]->name(), shown), {}};
        for (const double tone : range.tones) {
            if (output)
                output->checkInterrupted();
            const ToneAnalyser analyser(tone, range.sampleRate);
            const ToneFigures figures =
                measureTone(*plugins[i], analyser, tone, level, range.sampleRate, runName(plugins[i]->name(), shown))
                    .figures;
            line.points.push_back({tone, figures.strongestAlias, figures.strongestAliasAnywhere, figures.thd});
        }
        lines.push_back(std::move(line));
    }
    plugins.clear();

    if (kind == ".csv")
        writeCsv(*output, requests, lines);
    else if (output)
        drawAliasing(output->path(), output->target(), lines,
                     "Aliasing at " + dbText(level).substr(dbText(level).find_first_not_of(' ')) + " dBFS, " +
                         std::to_string(static_cast<int>(range.sampleRate)) + " Hz");
    if (output)
        output->commit();
    if (options.json)
        printJson(requests, lines, range.sampleRate, level);
    else
        printTable(lines, range.sampleRate, level);
    return 0;
}

} // namespace plughost
