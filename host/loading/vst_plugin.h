// A VST 2 module's effect behind the AudioPlugin interface.
#pragma once

#include "audio_plugin.h"
#include "module.h"

namespace plughost {

class VstPlugin final : public AudioPlugin {
public:
    // Loads the module, opens one effect and applies the settings. Throws UserError as
    // Module does, for a bad setting, and when the record has no process function
    // (or, with `accumulate`, no process).
    // A program, when named, is chosen before the settings apply.
    VstPlugin(const std::string& path, const std::vector<std::string>& settings, const std::string& program,
              bool accumulate);

    std::string name() const override;
    int inputs() const override { return effect.numInputs(); }
    int outputs() const override { return effect.numOutputs(); }
    void start(double sampleRate, int longestBlock) override;
    void process(const float* const* inputs, float* const* outputs, int frames) override;
    void stop() override;
    int latency() const override { return effect.record().initialDelay; }
    bool fallsBackToProcess() const override { return accumulate; }

private:
    Module module; // declared first, so the effect is closed before the module is unloaded
    Effect effect;
    bool accumulate;
};

} // namespace plughost
