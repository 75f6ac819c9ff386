// Command-line mistakes as one line each: an unknown or missing command, and
// the parser's errors restated with the option and what it expects.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace plughost {

// Throws UserError when the first argument is not one of the app's commands
// (listing them), or names one of `missingHere`, which this build lacks.
// Help requests pass.
void checkCommand(const CLI::App& app, int argc, const char* const* argv, const std::vector<std::string>& missingHere);

// The parser's error as one line, naming the command and the option.
std::string usageErrorLine(const CLI::App& app, const CLI::ParseError& error);

} // namespace plughost
