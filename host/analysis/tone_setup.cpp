#include "tone_setup.h"

#include "parameter_settings.h"
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

Effect prepareEffect(const Module& module, const std::vector<std::string>& settings)
{
    Effect effect = module.makeEffect();
    const std::string name = std::filesystem::path(module.path()).filename().string();
    if (effect.numInputs() < 1)
        throw UserError(name + ": the module has no inputs; there is nothing to feed a tone to");
    if (effect.numOutputs() < 1)
        throw UserError(name + ": the module has no outputs; there is nothing to analyse");
    module.requireProcessing(effect, false);
    applySettings(effect, resolveSettings(effect, settings));
    return effect;
}

std::string plotTitle(const std::string& modulePath, const std::vector<std::string>& settings)
{
    std::string title = std::filesystem::path(modulePath).filename().string();
    for (const std::string& setting : settings)
        title += "  " + setting;
    return title;
}

} // namespace plughost
