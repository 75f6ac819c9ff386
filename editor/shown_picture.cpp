#include "shown_picture.h"

#include <cstring>

namespace {

// How much of the last shown meter level stays at each update without a higher peak.
constexpr float kMeterFallback = 0.85f;
constexpr float kMeterSilence = 1e-4f;

float fallen(float shown, float peak) noexcept
{
    const float held = shown * kMeterFallback;
    const float level = peak > held ? peak : held;
    return level < kMeterSilence ? 0.0f : level;
}

} // namespace

bool ShownPicture::update(const HqEditorPicture& picture, const HqEditorModel& model, PixelCanvas& canvas)
{
    HqEditorPicture next = picture;
    std::memcpy(next.values, model.values(), sizeof next.values);
    next.inputPeak = fallen(shown_.inputPeak, picture.inputPeak);
    next.outputPeak = fallen(shown_.outputPeak, picture.outputPeak);
    const bool changed = !drawn_ || std::memcmp(next.values, shown_.values, sizeof next.values) != 0 ||
                         next.inputPeak != shown_.inputPeak || next.outputPeak != shown_.outputPeak ||
                         next.sampleRate != shown_.sampleRate;
    if (changed) {
        drawHqEditor(canvas, next, model.scale());
        shown_ = next;
        drawn_ = true;
    }
    return changed;
}
