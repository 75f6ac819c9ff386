#include "tone_setup.h"

#include "same_file.h"
#include "harmonic_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace plughost {

namespace {

constexpr double kLowestRate = 1000.0;
constexpr double kHighestRate = 1000000.0;
// A sine quieter than this rounds to subnormal or zero floats.
constexpr double kLowestLevel = -300.0;

std::string numberText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

double parseNumber(const std::string& text, const std::string& option)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        throw UserError(option + " expects a number, got '" + text + "'");
    return value;
}

double parseLevel(const std::string& text, const std::string& option)
{
    const double level = parseNumber(text, option);
    if (level > 0.0)
        throw UserError(option + " " + text + " is above 0 dBFS (full scale)");
    if (level < kLowestLevel)
        throw UserError(option + " " + text + " is below " + numberText(kLowestLevel) + " dBFS");
    return level;
}

ToneSetup parseToneSetup(const std::string& tone, const std::string& sampleRate)
{
    ToneSetup setup{parseNumber(tone, "--tone"), parseNumber(sampleRate, "--rate")};
    if (setup.sampleRate < kLowestRate || setup.sampleRate > kHighestRate)
        throw UserError("--rate " + sampleRate + " is outside " + numberText(kLowestRate) + " to " +
                        numberText(kHighestRate) + " Hz");
    if (setup.tone >= setup.sampleRate / 2.0)
        throw UserError("--tone " + tone + " Hz is at or above Nyquist (" + numberText(setup.sampleRate / 2.0) +
                        " Hz at a rate of " + sampleRate + " Hz)");
    if (analysisLength(setup.tone, setup.sampleRate) == 0)
        throw UserError("--tone " + tone + " Hz is too low; the lowest at a rate of " + sampleRate + " Hz is " +
                        numberText(lowestTone(setup.sampleRate)) + " Hz");
    return setup;
}

double defaultHighestTone(double sampleRate)
{
    return std::min(20000.0, 0.45 * sampleRate);
}

std::string outputKind(const std::string& path, const std::string& what, const std::string& modulePath)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension != ".svg" && extension != ".png" && extension != ".csv")
        throw UserError(path + ": the " + what + " is written as .svg, .png or .csv");
    refuseOverwriting(path, modulePath, "module");
    return extension;
}

std::unique_ptr<AudioPlugin> preparePlugin(const std::string& module, const std::vector<std::string>& settings,
                                           const PluginStart& start)
{
    std::unique_ptr<AudioPlugin> plugin = openPlugin(module, settings, start);
    if (plugin->inputs() < 1)
        throw UserError(plugin->name() + ": the module has no inputs; there is nothing to feed a tone to");
    if (plugin->outputs() < 1)
        throw UserError(plugin->name() + ": the module has no outputs; there is nothing to analyse");
    return plugin;
}

std::string plotTitle(const std::string& name, const std::vector<std::string>& settings)
{
    std::string title = name;
    for (const std::string& setting : settings)
        title += "  " + setting;
    return title;
}

} // namespace plughost
