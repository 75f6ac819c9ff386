// Pictures of what an effect does to a tone (cairo; SVG or PNG by the target's extension).
#pragma once

#include "harmonic_analysis.h"

#include <string>
#include <vector>

namespace plughost {

// One level of a sweep: input and output levels of the tone in dBFS, distortion as ratios.
struct SweepPoint {
    double inputDbfs = 0.0;
    double outputDbfs = 0.0;
    double thd = 0.0;
    double thdPlusNoise = 0.0;
};

// Both draw into `writePath` in the form `targetPath`'s extension names (.svg or
// .png, any case). Throw UserError when the file cannot be written.

// The spectrum against log frequency, harmonics above the floor marked, the figures in a corner.
void drawSpectrum(const std::string& writePath, const std::string& targetPath, const ToneSpectrum& spectrum,
                  const std::string& title);

// Output level and distortion against input level, in two panels.
void drawSweep(const std::string& writePath, const std::string& targetPath, const std::vector<SweepPoint>& points,
               double tone, const std::string& title);

} // namespace plughost
