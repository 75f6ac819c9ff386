// The HQ shaper's controls as every plug-in format presents them: a stable symbol, the name
// and unit text a musician reads, and the range in the core's units. A format lists them in
// this order and hands each value to the core through setHqControl.
#pragma once

#include "soft_knee_hq.h"

#include <cstdint>

enum HqControlIndex : std::int32_t {
    kHqControlBoost,
    kHqControlKnee,
    kHqControlHardness,
    kHqControlOutput,
    kHqControlMix,
    kHqControlQuality,
    kHqControlAutoGain,
    kHqControlCeiling,
    kHqControlCount,
};

struct HqControl {
    const char* symbol; // lower-case identifier; hosts store it in sessions, so it never changes
    const char* name;   // what a host shows beside the control
    const char* unit;   // what a host shows after the value; "" for none
    HqControlRange range;
};

// Quality is an enumeration: its values are the indices of HqQuality, shown as hqQualityName.
// Auto gain is a switch, off or on. The ceiling is a level, or off above 0 dB. New controls
// go at the end: formats number their parameters and ports in this order.
inline constexpr HqControl kHqControls[kHqControlCount] = {
    {"boost", "Boost", "x", kHqBoost},           // times, 1..11, initial 1
    {"knee", "Knee", "", kHqKnee},               // 0..1, initial 0.5
    {"hardness", "Hardness", "", kHqHardness},   // 0..1, initial 0
    {"output", "Output", "dB", kHqOutputDb},     // -24..24 dB, initial 0
    {"mix", "Mix", "%", kHqMixPercent},          // 0..100 %, initial 100
    {"quality", "Quality", "", kHqQuality},      // 1x, 2x, 4x, 8x, 16x; initial 8x
    {"auto_gain", "Auto gain", "", kHqAutoGain}, // off or on; initial off
    {"ceiling", "Ceiling", "dB", kHqCeilingDb},  // -12..0 dB or off; initial off
};

// [any thread] Hands a value in the control's own units to the core's setter; an index
// outside the list does nothing.
inline void setHqControl(SoftKneeHq& core, std::int32_t index, float value) noexcept
{
    switch (index) {
    case kHqControlBoost:
        core.setBoost(value);
        break;
    case kHqControlKnee:
        core.setKnee(value);
        break;
    case kHqControlHardness:
        core.setHardness(value);
        break;
    case kHqControlOutput:
        core.setOutputDb(value);
        break;
    case kHqControlMix:
        core.setMixPercent(value);
        break;
    case kHqControlQuality:
        core.setQuality(value);
        break;
    case kHqControlAutoGain:
        core.setAutoGain(value);
        break;
    case kHqControlCeiling:
        core.setCeilingDb(value);
        break;
    default:
        break;
    }
}
