// The HQ shaper's factory presets, as plain data every format turns into its own kind of
// preset: a stable identifier, the name a musician picks from, and a value for each control
// in kHqControls order and units.
#pragma once

#include "soft_knee_hq_controls.h"

struct HqPreset {
    const char* id;   // lower case and hyphens; hosts may store it, so it never changes
    const char* name; // what a host lists
    float values[kHqControlCount];
};

// Quality 3 is 8x and 4 is 16x. The loud settings take Output down by about what they add.
inline constexpr HqPreset kHqPresets[] = {
    //                                      Boost Knee  Hardness Output Mix    Quality
    {"gentle-warmth", "Gentle warmth", {1.4f, 0.6f, 0.0f, -1.5f, 100.0f, 3.0f}},
    {"tape-ish-push", "Tape-ish push", {2.5f, 0.35f, 0.15f, -5.0f, 100.0f, 3.0f}},
    {"hard-clip-clean", "Hard clip, clean", {1.5f, 0.9f, 1.0f, -1.0f, 100.0f, 4.0f}},
    {"parallel-grit", "Parallel grit", {8.0f, 0.2f, 0.5f, -9.0f, 30.0f, 3.0f}},
    {"fuzz-wall", "Fuzz wall", {11.0f, 0.1f, 0.8f, -6.0f, 100.0f, 4.0f}},
};
