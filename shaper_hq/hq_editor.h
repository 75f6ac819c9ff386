// SoftKneeShaper HQ's editor in the Linux VST module: the drawing core in an X11 child of the
// host's window. Each gesture reaches the host as beginEdit, automate calls and endEdit of one
// parameter; what the host sets shows at the next idle call.
#pragma once

#include "descriptor.h"
#include "effect_editor.h"
#include "hq_editor_model.h"

#include <cstdint>
#include <memory>

class HqShaperEffect;
class X11EditorWindow;

class HqEditor : public EffectEditor, public HqEditorListener {
public:
    // The effect owns the editor and outlives it.
    explicit HqEditor(HqShaperEffect& effect);
    ~HqEditor() override;

    // [ui thread] ptr receives the address of the editor's rectangle, which lives as long as the editor:
    // the size it opens at, at the scale the user or the display asks for.
    std::intptr_t getRect(void* ptr) override;
    // [ui thread] ptr is the parent X11 window; answers 1 when the editor's window is open in it.
    std::intptr_t open(void* ptr) override;
    void close() override;
    // [ui thread] reads the mouse, shows the parameters and meters.
    void idle() override;

    // [ui thread] from the window's mouse model: on to the host.
    void beginEdit(std::int32_t control) override;
    void changeValue(std::int32_t control, float value) override;
    void endEdit(std::int32_t control) override;

private:
    // [ui thread] The scale the editor opens at next, and its rectangle at that scale.
    void chooseScale();

    HqShaperEffect& effect_;
    int scale_ = 0; // 0 until chosen
    ERect rect_{};
    std::unique_ptr<X11EditorWindow> window_;
};
