// Parameter settings given on the command line as NAME=VALUE.
#pragma once

#include "module.h"

#include <string>
#include <vector>

namespace plughost {

struct ParameterSetting {
    int index;
    float value;
};

// Resolves every NAME=VALUE against the effect's parameter names. Throws
// UserError for a malformed setting, an unknown name or a value outside 0 to 1.
std::vector<ParameterSetting> resolveSettings(const Effect& effect, const std::vector<std::string>& settings);

void applySettings(const Effect& effect, const std::vector<ParameterSetting>& settings);

// Switches the effect to the program named `program` (case ignored) or numbered so, from 0 as
// hosts count them. Throws UserError for a program the module does not have.
void selectProgram(const Effect& effect, const std::string& program);

} // namespace plughost
