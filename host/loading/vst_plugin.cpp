#include "vst_plugin.h"

#include "parameter_settings.h"

#include <algorithm>
#include <filesystem>

namespace plughost {

VstPlugin::VstPlugin(const std::string& path, const std::vector<std::string>& settings, const std::string& program,
                     bool accumulateAsked)
    : module(path), effect(module.makeEffect()), accumulate(false)
{
    if (!program.empty())
        selectProgram(effect, program);
    applySettings(effect, resolveSettings(effect, settings));
    module.requireProcessing(effect, accumulateAsked);
    accumulate = accumulateAsked || !effect.canReplace();
}

std::string VstPlugin::name() const
{
    return std::filesystem::path(module.path()).filename().string();
}

void VstPlugin::start(double sampleRate, int longestBlock)
{
    effect.setSampleRate(sampleRate);
    effect.setBlockSize(longestBlock);
    effect.switchOn();
}

// [audio thread] The record takes non-const pointer arrays; it only reads the inputs.
void VstPlugin::process(const float* const* inputs, float* const* outputs, int frames)
{
    auto** in = const_cast<float**>(inputs);
    auto** out = const_cast<float**>(outputs);
    if (!accumulate) {
        effect.processReplacing(in, out, frames);
        return;
    }
    for (int c = 0; c < this->outputs(); ++c)
        std::fill(outputs[c], outputs[c] + frames, 0.0f);
    effect.processAccumulating(in, out, frames);
}

void VstPlugin::stop()
{
    effect.switchOff();
}

} // namespace plughost
