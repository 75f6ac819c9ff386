// What the spectrum and sweep commands share: reading their numbers from the
// command line and making an effect ready to take a tone.
#pragma once

#include "audio_plugin.h"
#include "user_error.h"

#include <string>
#include <vector>

namespace plughost {

// A number given on the command line; UserError naming the option when it is not a finite number.
double parseNumber(const std::string& text, const std::string& option);

// A level in dBFS (0 dBFS: a sine of peak amplitude 1), from -300 to 0.
double parseLevel(const std::string& text, const std::string& option);

struct ToneSetup {
    double tone;
    double sampleRate;
};

// Throws UserError for a rate outside 1000 to 1000000 Hz, or a tone at or above
// Nyquist or too low to analyse at that rate.
ToneSetup parseToneSetup(const std::string& tone, const std::string& sampleRate);

// The upper end of a tone range or sweep when the user names none: 20 kHz, or 0.45 times the
// rate where that is lower, so that the default stays below Nyquist at every rate.
double defaultHighestTone(double sampleRate);

// Throws UserError unless the extension is .svg, .png or .csv (any case), or
// when the output is the module file; answers the extension in lower case.
std::string outputKind(const std::string& path, const std::string& what, const std::string& modulePath);

// Opens the plug-in with the settings applied. Throws UserError for one with no
// input, no output or no process function, and for a bad setting.
std::unique_ptr<AudioPlugin> preparePlugin(const std::string& module, const std::vector<std::string>& settings,
                                           const PluginStart& start = {});

// The plug-in's name and the settings, for a picture's title.
std::string plotTitle(const std::string& name, const std::vector<std::string>& settings);

} // namespace plughost
