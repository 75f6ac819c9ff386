// The HQ plug-in's input and output meters, for its UI when both run in one process: the UI
// finds this interface through the host's data-access feature (the plug-in's extension data)
// and the plug-in's instance through instance-access. A host that offers neither leaves the
// UI's meters empty; nothing else changes.
#pragma once

#include "peak_meter.h"

#include <lv2/core/lv2.h>

inline constexpr char kHqLv2MetersUri[] = "urn:softkneeshaper:lv2:hq#meters";

struct HqLv2Meters {
    // [ui thread] The meters of an instance of the plug-in; the audio thread raises them in run.
    PeakMeter* (*input)(LV2_Handle instance);
    PeakMeter* (*output)(LV2_Handle instance);
};
