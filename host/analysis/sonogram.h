// A log sine sweep through a plug-in and the spectrogram of its output: levels over
// time and frequency, where harmonics run parallel to the sweep and aliases, folded
// at Nyquist, run against it.
#pragma once

#include "audio_plugin.h"

#include <cstddef>
#include <string>
#include <vector>

namespace plughost {

struct SweepTone {
    double from = 20.0, to = 20000.0; // Hz
    double seconds = 6.0;
    double amplitude = 0.5; // peak, full scale 1
    double sampleRate = 48000.0;
};

// The sweep's phase grows so its frequency rises exponentially from `from` to `to`:
// x(t) = A sin(2 pi from T / ln(to/from) (exp(t ln(to/from) / T) - 1)). It goes to every
// input in blocks; answers the first output. Throws NotAudio, naming `run`, when that holds
// NaN or infinity or runs away above +60 dBFS.
std::vector<float> sweepResponse(AudioPlugin& plugin, const SweepTone& sweep, const std::string& run);

// One frame length's transforms: a sine's level on each bin, per column.
struct SpectrogramLayer {
    double binWidth = 0.0;                     // Hz
    double below = 0.0;                        // Hz; the layer serves frequencies under this (the first: all)
    std::vector<std::vector<float>> levelDbfs; // per column, bins 0 to N/2: the level of a sine on the bin
};

struct Spectrogram {
    double sampleRate = 0.0;
    double seconds = 0.0;                 // the length analysed
    std::vector<double> times;            // the centre of each column's frame, in seconds
    std::vector<SpectrogramLayer> layers; // frame lengths doubling; each serves the lower frequencies

    // The level from `low` to `high` Hz in a column, in dBFS: the loudest bin within, or the
    // level between bins where the range is narrower than one, in the layer for its frequencies.
    double level(std::size_t column, double low, double high) const;
};

// `columns` frames evenly spread over the signal, windowed with the analysis window and
// transformed with FFTW. A frame of about 85 ms (a power of two of samples) resolves time
// well but merges a low sweep into a blob an octave wide, since a log axis gives low
// frequencies few bins; so frames twice, four and eight times as long serve lower
// frequencies, each where it lasts at most kCyclesPerFrame periods of the frequency.
Spectrogram spectrogramOf(const std::vector<float>& signal, double sampleRate, std::size_t columns);

} // namespace plughost
