// Pictures of what an effect does to a tone (cairo; SVG or PNG by the target's extension).
#pragma once

#include "harmonic_analysis.h"
#include "sonogram.h"

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

// One tone of an aliasing sweep: the strongest alias in the audible band and below
// Nyquist, and THD, all re the fundamental.
struct AliasingPoint {
    double tone = 0.0;
    Alias audible;
    Alias anywhere;
    double thd = 0.0;
};

// One plug-in at one setting, across the tones.
struct AliasingLine {
    std::string label;
    std::vector<AliasingPoint> points;
};

// All draw into `writePath` in the form `targetPath`'s extension names (.svg or
// .png, any case). Throw UserError when the file cannot be written.

// The spectrum against log frequency, harmonics above the floor marked, the figures in a corner.
void drawSpectrum(const std::string& writePath, const std::string& targetPath, const ToneSpectrum& spectrum,
                  const std::string& title);

// Output level and distortion against input level, in two panels.
void drawSweep(const std::string& writePath, const std::string& targetPath, const std::vector<SweepPoint>& points,
               double tone, const std::string& title);

// Columns of the spectrogram picture's plotting area: the spectrogram to draw has one frame per column.
inline constexpr std::size_t kSpectrogramColumns = 780;

// Levels in colour over time (x) and log frequency (y) from `lowest` Hz to Nyquist, with a dB scale beside.
void drawSpectrogram(const std::string& writePath, const std::string& targetPath, const Spectrogram& spectrogram,
                     double lowest, const std::string& title);

// The strongest audible alias (solid) and THD (dashed) against tone frequency, one colour per line.
void drawAliasing(const std::string& writePath, const std::string& targetPath, const std::vector<AliasingLine>& lines,
                  const std::string& title);

} // namespace plughost
