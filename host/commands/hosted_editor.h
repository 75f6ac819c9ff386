// What `plughost editor` (editor_command.cpp) drives, apart from any window system: an editor of
// either format, and the record of the host calls each gesture causes. The platform's window,
// the picture file and the LV2 UI stand in files of their own (editor_host_window.h,
// lv2_editor.cpp).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plughost {

using Json = nlohmann::ordered_json;

// [ui thread] Adds a host call, such as ["beginEdit", 2], to the gesture under way, if any.
void recordHostCall(Json call);

// An editor as plughost drives it, whichever its format.
class HostedEditor {
public:
    virtual ~HostedEditor() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // [ui thread] opens the editor inside parent (an X11 window id or an HWND); throws UserError
    // when it will not open.
    virtual void open(std::uintptr_t parent) = 0;
    virtual void idle() = 0;
    // The parameters' host values in index order.
    virtual Json parameters() const = 0;
};

// The sample rate an editor's plug-in is told, the VST module through effSetSampleRate and an LV2 UI
// through the options feature.
inline constexpr double kEditorSampleRate = 48000.0;

#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
// The first X11 UI of the LV2 plug-in name (a URI or bundle folder), with the settings given.
// scale: the whole scale to ask the UI for through ui:scaleFactor, 0 for none.
std::unique_ptr<HostedEditor> makeLv2Editor(const std::string& name, const std::vector<std::string>& settings,
                                            int scale);
#endif

} // namespace plughost
