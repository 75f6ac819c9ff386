// Output that no audio can be: NaN, infinity, or a level above +60 dBFS that no signal
// reaches (a plug-in whose state has run away). A figure computed from it would be no
// measurement at all, so a measuring command ends with one line naming the plug-in, its
// settings and the level, and plughost exits with kNotAudioExit.
#pragma once

#include <stdexcept>

namespace plughost {

constexpr int kNotAudioExit = 3;

// The loudest output counted as audio, in dBFS (1000 times full scale).
constexpr double kLoudestAudioDbfs = 60.0;

class NotAudio : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace plughost
