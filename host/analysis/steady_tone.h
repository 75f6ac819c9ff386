// Feeding a sine through an effect until it has settled, and keeping what follows.
#pragma once

#include "audio_plugin.h"
#include "harmonic_analysis.h"

#include <cstddef>
#include <string>
#include <vector>

namespace plughost {

// Blocks of this many frames carry the tone; the first kSettlingFrames of output are discarded.
inline constexpr int kToneBlockFrames = 512;
inline constexpr int kSettlingFrames = 16384;

// A sine of `amplitude` (full scale 1) at `tone` Hz, rounded to float, goes to
// every input; answers `frames` samples of the first output after settling. The
// plug-in is started at the rate and block size and, at the end, stopped, so every
// run starts from a fresh state. Throws NotAudio, naming `run` (the plug-in and its
// settings, runName), when the output holds NaN or infinity or runs away above +60 dBFS.
std::vector<float> steadyResponse(AudioPlugin& plugin, double tone, double amplitude, double sampleRate,
                                  std::size_t frames, const std::string& run);

// The analyser's spectrum of the plug-in's steady answer to a sine at `levelDbfs`. Throws
// NotAudio as steadyResponse does, and when a figure computed from the output overflows.
ToneSpectrum measureTone(AudioPlugin& plugin, const ToneAnalyser& analyser, double tone, double levelDbfs,
                         double sampleRate, const std::string& run);

} // namespace plughost
