// The spectrogram's image of a log sweep, computed as plughost computes it for its picture.
#include "sonogram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// A frame a few periods long merges a low sweep with its neighbours an octave around; where the
// sweep passes 30 Hz, its energy in the image (the loudest row and every row within 10 dB of it)
// lies within a quarter octave of 30 Hz.
TEST(Spectrogram, LowSweepStaysWithinAQuarterOctave)
{
    constexpr double kRate = 48000.0, kFrom = 20.0, kTo = 20000.0, kSeconds = 6.0;
    const double growth = std::log(kTo / kFrom);
    std::vector<float> sweep(static_cast<std::size_t>(kRate * kSeconds));
    for (std::size_t i = 0; i < sweep.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double phase =
            2.0 * std::numbers::pi * kFrom * kSeconds / growth * (std::exp(t * growth / kSeconds) - 1.0);
        sweep[i] = static_cast<float>(0.5 * std::sin(std::fmod(phase, 2.0 * std::numbers::pi)));
    }
    const plughost::Spectrogram image = plughost::spectrogramOf(sweep, kRate, 780);
    for (const double at : {30.0, 60.0, 200.0, 1000.0}) {
        SCOPED_TRACE(at);
        const double when = kSeconds * std::log(at / kFrom) / growth;
        std::size_t column = 0;
        for (std::size_t c = 0; c < image.times.size(); ++c)
            if (std::fabs(image.times[c] - when) < std::fabs(image.times[column] - when))
                column = c;
        // Rows of 1/48 octave from 10 Hz to 2 kHz, as a picture's log axis has them.
        std::vector<double> frequencies, levels;
        for (double f = 10.0; f < 2000.0; f *= std::pow(2.0, 1.0 / 48.0)) {
            frequencies.push_back(f * std::pow(2.0, 1.0 / 96.0));
            levels.push_back(image.level(column, f, f * std::pow(2.0, 1.0 / 48.0)));
        }
        double loudest = -1e9;
        for (const double level : levels)
            loudest = std::max(loudest, level);
        EXPECT_GT(loudest, -12.0) << "the sweep at -6 dBFS shows";
        for (std::size_t row = 0; row < levels.size(); ++row)
            if (levels[row] > loudest - 10.0) {
                EXPECT_LT(std::fabs(std::log2(frequencies[row] / at)), 0.25)
                    << frequencies[row] << " Hz at " << levels[row] << " dBFS, the loudest " << loudest;
            }
    }
}

} // namespace
