// The check every measurement makes of a plug-in's output before computing a figure from
// it: no NaN, no infinity, nothing above kLoudestAudioDbfs (not_audio.h).
#pragma once

#include "not_audio.h"

#include <cstddef>
#include <string>
#include <vector>

namespace plughost {

// Watches every output sample of a run, also those a measurement discards while the
// plug-in settles: a plug-in that runs away and then falls silent is caught too.
class OutputWatch {
public:
    void add(const float* samples, std::size_t count) noexcept;

    // Throws NotAudio naming `run` (the plug-in, its settings and what it was given) when the
    // samples held NaN or infinity or reached above `loudestDbfs`.
    void require(const std::string& run, double loudestDbfs = kLoudestAudioDbfs) const;

private:
    long long nonFinite = 0;
    double peak = 0.0;
};

// "fake.so at gain=2, quality=8x", "... at its defaults"; a program or preset comes first.
std::string runName(const std::string& plugin, const std::vector<std::string>& settings);

} // namespace plughost
