// The HQ shaper's factory presets, as plain data every format turns into its own kind of
// preset: a stable identifier, the name a musician picks from, and a value for each control
// in kHqControls order and units.
#pragma once

#include "soft_knee_hq_controls.h"

struct HqPreset {
    const char* id;   // lower case and hyphens; hosts may store it, so a preset whose sound
                      // changes takes a new one
    const char* name; // what a host lists
    float values[kHqControlCount];
};

// The first holds the controls' initial values, where every format starts. Each of the others
// keeps the loudness of mixed material within 1 LU at -3 and at -15 dBFS peak (the table in
// README), so that comparing it with the bypass is not won by level; that leaves out the
// heavy settings, whose loudness depends on the input's level. Quality 3 is 8x, 4 is 16x;
// a ceiling of 1 is off.
inline constexpr HqPreset kHqPresets[] = {
    //                                                  Boost Knee Hardness Output Mix Quality AutoGain Ceiling
    {"default", "Default", {1.0f, 0.5f, 0.0f, 0.0f, 100.0f, 3.0f, 0.0f, 1.0f}},
    {"round-peaks", "Round peaks", {1.4f, 0.6f, 0.0f, -2.9f, 100.0f, 3.0f, 0.0f, 1.0f}},
    {"soft-drive", "Soft drive", {2.5f, 0.35f, 0.15f, -7.2f, 100.0f, 3.0f, 0.0f, 1.0f}},
    {"clip-peaks", "Clip peaks", {1.5f, 0.9f, 1.0f, -3.5f, 100.0f, 4.0f, 0.0f, 0.0f}},
    {"parallel-grit-level", "Parallel grit", {8.0f, 0.2f, 0.5f, -12.0f, 20.0f, 3.0f, 0.0f, 1.0f}},
    {"firm-drive", "Firm drive", {2.0f, 0.3f, 0.5f, -5.1f, 100.0f, 3.0f, 0.0f, 1.0f}},
};
