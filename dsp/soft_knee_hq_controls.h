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
    kHqControlCount,
};

struct HqControl {
    const char* symbol; // lower-case identifier; hosts store it in sessions, so it never changes
    const char* name;   // what a host shows beside the control
    const char* unit;   // what a host shows after the value; "" for none
    HqControlRange range;
};

// Quality is an enumeration: its values are the indices of HqQuality, shown as hqQualityName.
inline constexpr HqControl kHqControls[kHqControlCount] = {
    {"boost", "Boost", "x", kHqBoost},         // times, 1..11, initial 1
    {"knee", "Knee", "", kHqKnee},             // 0..1, initial 0.5
    {"hardness", "Hardness", "", kHqHardness}, // 0..1, initial 0
    {"output", "Output", "dB", kHqOutputDb},   // -24..24 dB, initial 0
    {"mix", "Mix", "%", kHqMixPercent},        // 0..100 %, initial 100
    {"quality", "Quality", "", kHqQuality},    // 1x, 2x, 4x, 8x, 16x; initial 8x
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
    default:
        break;
    }
}
