#include "audio_plugin.h"

#include "lv2_plugin.h"
#include "user_error.h"
#include "vst_plugin.h"

namespace plughost {

std::unique_ptr<AudioPlugin> openPlugin(const std::string& module, const std::vector<std::string>& settings,
                                        bool accumulate)
{
    if (!namesLv2Plugin(module))
        return std::make_unique<VstPlugin>(module, settings, accumulate);
    if (accumulate)
        throw UserError(module + ": --accumulate is for VST 2 modules; an LV2 plug-in always writes its outputs");
    return std::make_unique<Lv2Plugin>(module, settings);
}

} // namespace plughost
