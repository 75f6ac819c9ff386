// plughost editor: opens a plug-in's editor in a window of plughost's own (on Linux on the X
// display of DISPLAY) and drives it as a host does, calling its idle function about every 20 ms.
// Gestures given with --drag go through the window system as a mouse's would, so the editor sees
// real events; every host call a gesture causes is recorded. --screenshot takes the window's
// pixels from the window system. The window and the picture file are the platform's
// (editor_host_window.h).
//
// A VST module's editor is opened through effEditOpen with the window as its parent; on Linux an
// LV2 plug-in's X11 UI too (lv2_editor.cpp), given the scale --scale asks for through ui:scaleFactor.
// A VST module has no way to be asked for a scale: --scale sets this project's environment
// variable for its editor, SOFTKNEESHAPER_EDITOR_SCALE.
#include "commands.h"
#include "editor_host_window.h"
#include "host_callback.h"
#include "hosted_editor.h"
#include "module.h"
#include "parameter_settings.h"
#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
#include "audio_plugin.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

namespace plughost {

namespace {

constexpr auto kIdlePeriod = std::chrono::milliseconds(20);
constexpr int kDragStepPixels = 4;
// Rate given to a VST effect and to an LV2 UI that asks, so both show the same latency.

// The host calls of the gesture under way, from either format's callbacks.
Json* recording = nullptr;

void recordVstEdit(std::int32_t opcode, std::int32_t index, float value)
{
    if (opcode == audioMasterBeginEdit)
        recordHostCall({"beginEdit", index});
    else if (opcode == audioMasterEndEdit)
        recordHostCall({"endEdit", index});
    else
        recordHostCall({"automate", index, value});
}

class VstEditor final : public HostedEditor {
public:
    VstEditor(const std::string& path, const std::vector<std::string>& settings)
        : module(path), effect(module.makeEffect())
    {
        if ((effect.record().flags & effFlagsHasEditor) == 0)
            throw UserError(path + ": the module has no editor");
        applySettings(effect, resolveSettings(effect, settings));
        effect.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kEditorSampleRate));
        ERect* rect = nullptr;
        if (effect.dispatch(effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr || rect->right <= rect->left ||
            rect->bottom <= rect->top)
            throw UserError(path + ": the module gives no size for its editor");
        w = rect->right - rect->left;
        h = rect->bottom - rect->top;
        setEditListener(recordVstEdit);
    }

    ~VstEditor() override
    {
        if (opened)
            effect.dispatch(effEditClose);
        setEditListener(nullptr);
    }

    int width() const override { return w; }
    int height() const override { return h; }

    void open(std::uintptr_t parent) override
    {
        if (effect.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) == 0)
            throw UserError(module.path() + ": the module's editor did not open");
        opened = true;
        // The size the editor opened at, which its window's screen may have changed.
        ERect* rect = nullptr;
        if (effect.dispatch(effEditGetRect, 0, 0, &rect) != 0 && rect != nullptr && rect->right > rect->left &&
            rect->bottom > rect->top) {
            w = rect->right - rect->left;
            h = rect->bottom - rect->top;
        }
    }

    void idle() override { effect.dispatch(effEditIdle); }

    Json parameters() const override
    {
        Json list = Json::array();
        for (int i = 0; i < effect.numParams(); ++i)
            list.push_back({{"name", effect.parameterName(i)}, {"value", effect.parameter(i)}});
        return list;
    }

private:
    Module module;
    Effect effect;
    int w = 0, h = 0;
    bool opened = false;
};

struct Drag {
    int x, y, dx, dy;
};

Drag parseDrag(const std::string& text)
{
    Drag drag{};
    char end = 0;
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &drag.x, &drag.y, &drag.dx, &drag.dy, &end) != 4)
        throw UserError("--drag expects X,Y,DX,DY in whole pixels, got '" + text + "'");
    return drag;
}

// A few idle calls, so that the editor reads what the window system sent it and draws.
void settle(HostWindow& window, HostedEditor& editor, int calls = 3)
{
    for (int i = 0; i < calls; ++i) {
        window.stillOpen();
        editor.idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The editor scale of every module plughost loads from now on, through the variable its editors read.
void setScaleForModules(int scale)
{
    const std::string text = std::to_string(scale);
#ifdef _WIN32
    _putenv_s("SOFTKNEESHAPER_EDITOR_SCALE", text.c_str());
#else
    setenv("SOFTKNEESHAPER_EDITOR_SCALE", text.c_str(), 1);
#endif
}

} // namespace

void recordHostCall(Json call)
{
    if (recording != nullptr)
        recording->push_back(std::move(call));
}

int runEditor(const EditorOptions& options)
{
    if (!options.screenshotPath.empty()) {
        refuseScreenshotOverModule(options.screenshotPath, options.modulePath);
        if (std::filesystem::path(options.screenshotPath).extension() != kScreenshotExtension)
            throw UserError(std::string("--screenshot writes a ") + kScreenshotExtension + " file, not '" +
                            options.screenshotPath + "'");
    }
    std::vector<Drag> drags;
    for (const std::string& text : options.drags)
        drags.push_back(parseDrag(text));

    HostWindow window;
    if (!drags.empty()) {
        if (const std::string why = window.whyNoGestures(); !why.empty())
            throw UserError(why);
    }
    std::unique_ptr<HostedEditor> editor;
#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
    if (namesLv2Plugin(options.modulePath))
        editor = makeLv2Editor(options.modulePath, options.settings, options.scale);
#endif
    if (!editor) {
        // Before the module is asked for its editor's size, which it answers at this scale.
        if (options.scale != 0)
            setScaleForModules(options.scale);
        editor = std::make_unique<VstEditor>(options.modulePath, options.settings);
    }
    editor->open(window.id());
    window.show(editor->width(), editor->height());
    settle(window, *editor, 10);

    Json gestures = Json::array();
    for (const Drag& drag : drags) {
        Json calls = Json::array();
        recording = &calls;
        window.pointer(drag.x, drag.y);
        settle(window, *editor);
        window.button(true);
        settle(window, *editor);
        const int longest = std::max(std::abs(drag.dx), std::abs(drag.dy));
        const int steps = std::max(1, (longest + kDragStepPixels - 1) / kDragStepPixels);
        for (int step = 1; step <= steps; ++step) {
            window.pointer(drag.x + drag.dx * step / steps, drag.y + drag.dy * step / steps);
            settle(window, *editor);
        }
        window.button(false);
        settle(window, *editor);
        recording = nullptr;
        gestures.push_back({{"at", {drag.x, drag.y}}, {"by", {drag.dx, drag.dy}}, {"calls", calls}});
    }

    const bool interactive = drags.empty() && options.screenshotPath.empty() && !options.json;
    while (interactive && window.stillOpen()) {
        editor->idle();
        std::this_thread::sleep_for(kIdlePeriod);
    }
    // Time for the editor to hear that its window was shown or uncovered and to draw again.
    for (int i = 0; i < 20; ++i) {
        settle(window, *editor, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!options.screenshotPath.empty())
        writeScreenshot(options.screenshotPath, window.pixels(editor->width(), editor->height()), editor->width(),
                        editor->height());
    if (options.json) {
        Json document;
        document["width"] = editor->width();
        document["height"] = editor->height();
        document["gestures"] = gestures;
        document["parameters"] = editor->parameters();
        std::cout << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    }
    return 0;
}

} // namespace plughost
