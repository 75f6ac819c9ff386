// Feeding a sine through an effect until it has settled, and keeping what follows.
#pragma once

#include "audio_plugin.h"

#include <cstddef>
#include <vector>

namespace plughost {

// Blocks of this many frames carry the tone; the first kSettlingFrames of output are discarded.
inline constexpr int kToneBlockFrames = 512;
inline constexpr int kSettlingFrames = 16384;

// A sine of `amplitude` (full scale 1) at `tone` Hz, rounded to float, goes to
// every input; answers `frames` samples of the first output after settling. The
// plug-in is started at the rate and block size and, at the end, stopped, so every
// run starts from a fresh state. Throws UserError when the output holds NaN or infinity.
std::vector<float> steadyResponse(AudioPlugin& plugin, double tone, double amplitude, double sampleRate,
                                  std::size_t frames);

} // namespace plughost
