#include "hq_parameters.h"

#include "boost_law.h"
#include "unit_text.h"

#include <cstring>

namespace {

// Places shown after the point, in kHqControls order: a tenth of a gain step or decibel,
// a hundredth of the knee and hardness, whole percent, a tenth of a decibel of the ceiling;
// Quality shows its name instead, auto gain Off or On.
constexpr int kDecimals[kHqNumParams] = {1, 2, 2, 1, 0, 0, 0, 1};

bool isParameter(std::int32_t index) noexcept
{
    return index >= 0 && index < kHqNumParams;
}

} // namespace

float hqValueFromNormalised(std::int32_t index, float normalised) noexcept
{
    if (!isParameter(index)) {
        return 0.0f;
    }
    const HqControlRange& range = kHqControls[index].range;
    if (normalised != normalised) {
        return range.initial;
    }
    const float v = normalised < 0.0f ? 0.0f : (normalised > 1.0f ? 1.0f : normalised);
    switch (index) {
    case kHqControlBoost:
        return boostFromNormalised(v);
    case kHqControlQuality:
        // Four steps between the ends; a half step rounds up.
        return static_cast<float>(static_cast<std::int32_t>(v * 4.0f + 0.5f));
    case kHqControlAutoGain:
        return v >= 0.5f ? 1.0f : 0.0f;
    default:
        return static_cast<float>(static_cast<double>(range.minimum) +
                                  static_cast<double>(v) * (static_cast<double>(range.maximum) - range.minimum));
    }
}

float hqNormalisedFromValue(std::int32_t index, float value) noexcept
{
    if (!isParameter(index)) {
        return 0.0f;
    }
    const HqControlRange& range = kHqControls[index].range;
    switch (index) {
    case kHqControlBoost:
        return normalisedFromBoost(value);
    case kHqControlQuality:
        return value / 4.0f;
    default:
        return static_cast<float>((static_cast<double>(value) - range.minimum) /
                                  (static_cast<double>(range.maximum) - range.minimum));
    }
}

void hqDisplayText(std::int32_t index, float value, char* text) noexcept
{
    if (!isParameter(index)) {
        text[0] = '\0';
        return;
    }
    if (index == kHqControlQuality) {
        const char* name = hqQualityName(static_cast<HqQuality>(static_cast<std::int32_t>(value)));
        std::memcpy(text, name, std::strlen(name) + 1);
        return;
    }
    if ((index == kHqControlAutoGain && value < 0.5f) || (index == kHqControlCeiling && value > 0.0f)) {
        std::memcpy(text, "Off", 4);
        return;
    }
    if (index == kHqControlAutoGain) {
        std::memcpy(text, "On", 3);
        return;
    }
    unitText(value, kDecimals[index], kHqControls[index].unit, text);
}
