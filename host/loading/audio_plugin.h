// One plug-in of either format, VST 2 module or LV2 plug-in, loaded with the user's
// settings applied, as the processing commands drive it: start at a rate, process
// blocks, stop. Everything a command needs to know about the format is here.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace plughost {

class AudioPlugin {
public:
    virtual ~AudioPlugin() = default;

    // The plug-in's own name (an LV2 plug-in's doap:name, a module's file name), for titles.
    virtual std::string name() const = 0;
    // Audio channels fed and taken, possibly 0. A mono LV2 plug-in runs once per channel and shows two.
    virtual int inputs() const = 0;
    virtual int outputs() const = 0;

    // [main thread] Tells the rate and the longest block, and makes the plug-in ready to
    // process from a fresh state; after stop() it may be started again. Throws
    // UserError when the plug-in refuses (an LV2 plug-in that fails to instantiate).
    virtual void start(double sampleRate, int longestBlock) = 0;
    // [audio thread] no allocation: at most longestBlock frames; the arrays hold inputs()
    // and outputs() channels, in buffers apart from each other.
    virtual void process(const float* const* inputs, float* const* outputs, int frames) = 0;
    virtual void stop() = 0;

    // Samples by which the output lags the input, as the plug-in reports it; for an LV2
    // plug-in valid after the first block.
    virtual int latency() const = 0;

    // True for a VST module without processReplacing, run through process into cleared buffers.
    virtual bool fallsBackToProcess() const { return false; }
};

// Where a plug-in starts before its NAME=VALUE settings apply, as the user chose it.
struct PluginStart {
    std::string program; // --program NAME|N: a VST module's program, by name or number from 0
    std::string preset;  // --preset NAME|URI: an LV2 plug-in's preset, by its label or URI
};

// Opens MODULE as the user named it: an LV2 plug-in's URI (on LV2_PATH as lilv finds
// it) or bundle folder, otherwise a VST 2 module file. Applies the NAME=VALUE
// settings: a VST parameter's name and a value from 0 to 1, an LV2 control port's
// symbol or name and a value in its range. `accumulate` asks for VST process into
// cleared buffers. Throws UserError for anything that keeps the plug-in from running.
std::unique_ptr<AudioPlugin> openPlugin(const std::string& module, const std::vector<std::string>& settings,
                                        bool accumulate = false);
// The same, starting from a program or preset; a program given to an LV2 plug-in, or a
// preset to a VST module, is refused.
std::unique_ptr<AudioPlugin> openPlugin(const std::string& module, const std::vector<std::string>& settings,
                                        const PluginStart& start, bool accumulate = false);

// The settings as a title or message shows them, the program or preset first ("preset=Fuzz wall").
std::vector<std::string> shownSettings(const PluginStart& start, const std::vector<std::string>& settings);

// True when MODULE names an LV2 plug-in (a folder or a URI that is no file), not a VST module file.
bool namesLv2Plugin(const std::string& module);

} // namespace plughost
