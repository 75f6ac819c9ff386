#include "audio_plugin.h"

#include "lv2_plugin.h"
#include "user_error.h"
#include "vst_plugin.h"

namespace plughost {

std::unique_ptr<AudioPlugin> openPlugin(const std::string& module, const std::vector<std::string>& settings,
                                        bool accumulate)
{
    return openPlugin(module, settings, PluginStart{}, accumulate);
}

std::unique_ptr<AudioPlugin> openPlugin(const std::string& module, const std::vector<std::string>& settings,
                                        const PluginStart& start, bool accumulate)
{
    if (!namesLv2Plugin(module)) {
        if (!start.preset.empty())
            throw UserError(module + ": --preset is for LV2 plug-ins; a VST 2 module takes --program NAME|N");
        return std::make_unique<VstPlugin>(module, settings, start.program, accumulate);
    }
    if (accumulate)
        throw UserError(module + ": --accumulate is for VST 2 modules; an LV2 plug-in always writes its outputs");
    if (!start.program.empty())
        throw UserError(module + ": --program is for VST 2 modules; an LV2 plug-in takes --preset NAME|URI");
    return std::make_unique<Lv2Plugin>(module, settings, start.preset);
}

std::vector<std::string> shownSettings(const PluginStart& start, const std::vector<std::string>& settings)
{
    std::vector<std::string> shown;
    if (!start.program.empty())
        shown.push_back("program=" + start.program);
    if (!start.preset.empty())
        shown.push_back("preset=" + start.preset);
    shown.insert(shown.end(), settings.begin(), settings.end());
    return shown;
}

} // namespace plughost
