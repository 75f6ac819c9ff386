#include "hq_editor.h"

#include "editor_window.h"
#include "hq_editor_layout.h"
#include "hq_parameters.h"
#include "hq_shaper_effect.h"

HqEditor::HqEditor(HqShaperEffect& effect) : effect_(effect)
{
}

void HqEditor::chooseScale(void* parent) noexcept
{
    scale_ = editorWindowScale(parent);
    rect_.right = static_cast<std::int16_t>(kHqEditorWidth * scale_);
    rect_.bottom = static_cast<std::int16_t>(kHqEditorHeight * scale_);
}

HqEditor::~HqEditor() = default;

std::intptr_t HqEditor::getRect(void* ptr)
{
    if (ptr == nullptr) {
        return 0;
    }
    // The size the editor opens at, chosen once until it closes, so that a host asking often
    // costs no more than one look at the screen; while it is open, the size it has.
    if (scale_ == 0) {
        chooseScale(nullptr);
    }
    *static_cast<ERect**>(ptr) = &rect_;
    return 1;
}

std::intptr_t HqEditor::open(void* ptr)
{
    window_.reset();
    // The scale of the window the host gives, where the platform tells one window's density
    // from another's (Windows); on X11 the display's, as the size answered.
    chooseScale(ptr);
    window_ = openEditorWindow(ptr, *this, scale_, [this] { idle(); });
    if (!window_) {
        return 0;
    }
    idle();
    return 1;
}

void HqEditor::close()
{
    window_.reset();
    scale_ = 0; // chosen again for the next opening, as the display's density may have changed
}

void HqEditor::idle()
{
    if (!window_) {
        return;
    }
    HqEditorPicture picture = initialHqEditorPicture();
    for (std::int32_t control = 0; control < kHqControlCount; ++control) {
        picture.values[control] = effect_.controlValue(control);
    }
    picture.inputPeak = effect_.inputMeter().take();
    picture.outputPeak = effect_.outputMeter().take();
    picture.sampleRate = effect_.getSampleRate();
    window_->idle(picture);
}

void HqEditor::beginEdit(std::int32_t control)
{
    effect_.beginEdit(control);
}

void HqEditor::changeValue(std::int32_t control, float value)
{
    // The host value whose value in the control's units gives it back, so that what the host
    // reads back from the parameter is the last value it was told.
    float normalised = hqNormalisedFromValue(control, value);
    for (int round = 0; round < 4; ++round) {
        const float again = hqNormalisedFromValue(control, hqValueFromNormalised(control, normalised));
        if (again == normalised) {
            break;
        }
        normalised = again;
    }
    effect_.automateParameter(control, normalised);
}

void HqEditor::endEdit(std::int32_t control)
{
    effect_.endEdit(control);
}
