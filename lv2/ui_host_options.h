// What a host tells an LV2 UI through the options feature when it makes the UI: the scale it
// wants the UI drawn at (ui:scaleFactor) and the plug-in's sample rate (param:sampleRate).
#pragma once

#include <lv2/core/lv2.h>

struct UiHostOptions {
    double scaleFactor = 0.0; // 0: not given, or no positive finite number
    double sampleRate = 0.0;  // likewise
};

// [ui thread] Reads them from the options feature, whose keys it maps through the URID map
// feature; without either feature, or where the host gives a value of a type that is no number,
// that value stays 0.
UiHostOptions readUiHostOptions(const LV2_Feature* const* features) noexcept;
