// The HQ shaper's controls as VST host parameters 0 to 7, in kHqControls order: the one
// mapping between a host's value of 0 to 1 and the control's own units, and the text a
// host's generic display shows for a value ("11.0 x", "-6.0 dB", "50 %", "8x", "On").
// Parameters added later take the next numbers, so a host's stored automation keeps its
// meaning.
//
// A host may send any float. A NaN gives the control's initial value; anything else is
// held to 0..1 first, so every value that reaches the core is in its range.
#pragma once

#include "soft_knee_hq_controls.h"

#include <cstdint>

inline constexpr std::int32_t kHqNumParams = kHqControlCount;

// [any thread] The value in the control's units for a host's value: Boost as every format
// forms it (boost_law.h), Quality the nearest of its five steps, auto gain on from 1/2, the others
// minimum + normalised * (maximum - minimum) in double, rounded to float once.
float hqValueFromNormalised(std::int32_t index, float normalised) noexcept;

// [any thread] The host's value for a value in the control's units, the inverse of the above:
// (value - minimum) / (maximum - minimum) in double, rounded once; Quality its step / 4.
float hqNormalisedFromValue(std::int32_t index, float value) noexcept;

// [any thread] The display text of a value in the control's units: the number to the places
// the control shows, then its unit; Quality as its name. At most 8 characters and a NUL.
void hqDisplayText(std::int32_t index, float value, char* text) noexcept;
