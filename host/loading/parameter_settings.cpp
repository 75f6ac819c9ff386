#include "parameter_settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace plughost {

std::vector<ParameterSetting> resolveSettings(const Effect& effect, const std::vector<std::string>& settings)
{
    std::vector<ParameterSetting> resolved;
    for (const std::string& setting : settings) {
        const auto equals = setting.find('=');
        if (equals == std::string::npos || equals == 0)
            throw UserError("--set expects NAME=VALUE, got '" + setting + "'");
        const std::string name = setting.substr(0, equals);
        const std::string valueText = setting.substr(equals + 1);
        const int index = effect.findParameter(name);
        if (index < 0) {
            std::string known;
            for (int i = 0; i < effect.numParams(); ++i)
                known += (i ? ", " : "") + effect.parameterName(i);
            throw UserError("unknown parameter '" + name + "' (this module has: " + known + ")");
        }
        char* end = nullptr;
        const double value = std::strtod(valueText.c_str(), &end);
        if (valueText.empty() || *end != '\0' || !std::isfinite(value))
            throw UserError("value '" + valueText + "' for '" + name + "' is not a number");
        if (value < 0.0 || value > 1.0)
            throw UserError("value " + valueText + " for '" + name + "' is outside 0 to 1 (values are normalised)");
        resolved.push_back({index, static_cast<float>(value)});
    }
    return resolved;
}

namespace {

std::string folded(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

void selectProgram(const Effect& effect, const std::string& program)
{
    const int count = std::max(effect.record().numPrograms, 0);
    std::string known;
    for (int i = 0; i < count && i < Module::kMaxParameters; ++i) {
        std::string name = effect.programNameAt(i);
        if (name.empty()) {
            // A module that fills no program menu names the current program only.
            effect.setProgram(i);
            name = effect.programName();
        }
        if (!name.empty() && folded(name) == folded(program)) {
            effect.setProgram(i);
            return;
        }
        known += (known.empty() ? "" : ", ") + std::to_string(i) + " " + name;
    }
    char* end = nullptr;
    const long number = std::strtol(program.c_str(), &end, 10);
    if (!program.empty() && *end == '\0' && number >= 0 && number < count) {
        effect.setProgram(static_cast<int>(number));
        return;
    }
    if (count == 0)
        throw UserError("--program " + program + ": this module has no programs");
    throw UserError("unknown program '" + program + "' (this module has: " + known + ")");
}

void applySettings(const Effect& effect, const std::vector<ParameterSetting>& settings)
{
    for (const ParameterSetting& setting : settings)
        effect.setParameter(setting.index, setting.value);
}

} // namespace plughost
