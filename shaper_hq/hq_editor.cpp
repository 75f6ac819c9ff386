#include "hq_editor.h"

#include "editor_window.h"
#include "hq_editor_layout.h"
#include "hq_parameters.h"
#include "hq_shaper_effect.h"

HqEditor::HqEditor(HqShaperEffect& effect) : effect_(effect)
{
    setScale(1);
}

void HqEditor::setScale(int scale) noexcept
{
    scale_ = scale;
    rect_.right = static_cast<std::int16_t>(kHqEditorWidth * scale);
    rect_.bottom = static_cast<std::int16_t>(kHqEditorHeight * scale);
}

HqEditor::~HqEditor() = default;

std::intptr_t HqEditor::getRect(void* ptr)
{
    if (ptr == nullptr) {
        return 0;
    }
    // Before the editor opens, the size it will open at where the host gives no window yet.
    if (!window_) {
        setScale(editorWindowScale(nullptr));
    }
    *static_cast<ERect**>(ptr) = &rect_;
    return 1;
}

std::intptr_t HqEditor::open(void* ptr)
{
    window_.reset();
    setScale(editorWindowScale(ptr));
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
