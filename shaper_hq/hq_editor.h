// SoftKneeShaper HQ's editor in the VST module: the drawing core in a child of the host's window,
// an X11 window on Linux and a Win32 one on Windows (editor_window.h). Each gesture reaches the
// host as beginEdit, automate calls and endEdit of one parameter; what the host sets shows at the
// next idle call.
#pragma once

#include "descriptor.h"
#include "effect_editor.h"
#include "hq_editor_model.h"

#include <cstdint>
#include <memory>

class HqShaperEffect;
class EditorWindow;

class HqEditor : public EffectEditor, public HqEditorListener {
public:
    // The effect owns the editor and outlives it.
    explicit HqEditor(HqShaperEffect& effect);
    ~HqEditor() override;

    // [ui thread] ptr receives the address of the editor's rectangle, which lives as long as the
    // editor: the size it opens at, at the scale the user or the screen asks for; while it is
    // open, the size it has.
    std::intptr_t getRect(void* ptr) override;
    // [ui thread] ptr is the parent window, an X11 window id or an HWND; answers 1 when the
    // editor's window is open in it.
    std::intptr_t open(void* ptr) override;
    void close() override;
    // [ui thread] reads the mouse, shows the parameters and meters.
    void idle() override;

    // [ui thread] from the window's mouse model: on to the host.
    void beginEdit(std::int32_t control) override;
    void changeValue(std::int32_t control, float value) override;
    void endEdit(std::int32_t control) override;

private:
    // [ui thread] The scale the editor opens at next (in parent, where the host named one), and
    // its rectangle at that scale.
    void chooseScale(void* parent) noexcept;

    HqShaperEffect& effect_;
    int scale_ = 0; // 0 until chosen
    ERect rect_{};
    std::unique_ptr<EditorWindow> window_;
};
