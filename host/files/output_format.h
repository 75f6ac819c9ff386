// The libsndfile format of a rendered file: the container from the output's
// extension, the sample encoding from --format or, by default, the input's, and
// the dither of integer samples from --dither.
#pragma once

#include "integer_samples.h"

#include <string>

namespace plughost {

// `requested` is "pcm16", "pcm24", "float" in any case, or empty for the
// default: the input's encoding where the container holds it, else the nearest
// one it does. Throws UserError for an unknown extension or encoding, and for
// a pair the container cannot hold, naming what would work.
int chooseOutputFormat(const std::string& outputPath, int inputFormat, const std::string& requested, int channels,
                       int sampleRate);

// `requested` is "tpdf" or "none" in any case, or empty for none. Throws UserError
// for another name, and for dither on samples that are not rounded to integers.
Dither chooseDither(const std::string& requested, int outputFormat, const std::string& outputPath);

} // namespace plughost
