#include "hq_editor.h"

#include "hq_editor_layout.h"
#include "hq_parameters.h"
#include "hq_shaper_effect.h"
#include "x11_editor_scale.h"
#include "x11_editor_window.h"

HqEditor::HqEditor(HqShaperEffect& effect) : effect_(effect)
{
}

HqEditor::~HqEditor() = default;

void HqEditor::chooseScale()
{
    // The format has no way for the host to ask for a scale: the user's override or the display's.
    scale_ = x11EditorScale(0);
    rect_.right = static_cast<std::int16_t>(kHqEditorWidth * scale_);
    rect_.bottom = static_cast<std::int16_t>(kHqEditorHeight * scale_);
}

std::intptr_t HqEditor::getRect(void* ptr)
{
    if (ptr == nullptr) {
        return 0;
    }
    // The size the editor opens at, chosen once until it closes, so that a host asking often
    // costs no more than one connection to the display; while it is open, the size it has.
    if (scale_ == 0) {
        chooseScale();
    }
    *static_cast<ERect**>(ptr) = &rect_;
    return 1;
}

std::intptr_t HqEditor::open(void* ptr)
{
    window_.reset();
    // The scale of the last size answered, so that the window is as large as the host was told.
    if (scale_ == 0) {
        chooseScale();
    }
    auto window = std::make_unique<X11EditorWindow>(reinterpret_cast<std::uintptr_t>(ptr), *this, scale_);
    if (!window->isOpen()) {
        return 0;
    }
    window_ = std::move(window);
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
