// Aliasing measured as the HQ shaper's figures are stated: a sine on an exact bin of a
// power-of-two DFT, so that once the start-up has passed the output repeats with the DFT's
// length and every component, harmonic or folded, falls on a bin of its own with no window.
// The harmonics below the Nyquist rate sit on the bins h * k; any other bin in the audible band
// holds aliasing (or noise).
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace hq_tone_levels {

constexpr double kPi = 3.14159265358979323846;

// The odd bin nearest frequency, so that the harmonics' bins never meet their own folds.
inline std::int32_t toneBin(double frequency, double rate, std::int32_t size)
{
    const auto bin = static_cast<std::int32_t>(frequency * size / rate);
    return bin | 1;
}

// x[i] = amplitude sin(2 pi bin i / size), periodic in size exactly.
inline std::vector<float> periodicTone(std::int32_t bin, std::int32_t size, double amplitude, std::int32_t frames)
{
    std::vector<float> x(static_cast<std::size_t>(frames));
    for (std::int32_t i = 0; i < frames; ++i) {
        const auto phase = static_cast<std::int64_t>(bin) * (i % size) % size;
        x[static_cast<std::size_t>(i)] = static_cast<float>(amplitude * std::sin(2.0 * kPi * phase / size));
    }
    return x;
}

// Magnitudes of the DFT of the size (a power of two) samples starting at x.
inline std::vector<double> magnitudes(const float* x, std::int32_t size)
{
    std::vector<std::complex<double>> a(static_cast<std::size_t>(size));
    for (std::int32_t i = 0, j = 0; i < size; ++i) {
        a[static_cast<std::size_t>(j)] = x[i];
        std::int32_t bit = size >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
    }
    for (std::int32_t length = 2; length <= size; length <<= 1) {
        for (std::int32_t start = 0; start < size; start += length) {
            for (std::int32_t k = 0; k < length / 2; ++k) {
                const std::complex<double> twiddle = std::polar(1.0, -2.0 * kPi * k / length);
                auto& even = a[static_cast<std::size_t>(start + k)];
                auto& odd = a[static_cast<std::size_t>(start + k + length / 2)];
                const std::complex<double> t = twiddle * odd;
                odd = even - t;
                even += t;
            }
        }
    }
    std::vector<double> m(static_cast<std::size_t>(size / 2 + 1));
    for (std::size_t i = 0; i < m.size(); ++i) {
        m[i] = std::abs(a[i]);
    }
    return m;
}

// The strongest bin between 20 Hz and 20 kHz (or the Nyquist rate) that is neither DC nor a
// harmonic of the tone on bin `bin`, in dB relative to the tone's own bin.
inline double strongestAliasDb(const float* x, std::int32_t size, std::int32_t bin, double rate)
{
    const std::vector<double> m = magnitudes(x, size);
    const auto first = static_cast<std::int32_t>(std::ceil(20.0 * size / rate));
    const auto last = static_cast<std::int32_t>(std::min(20000.0, rate / 2.0) * size / rate);
    double strongest = 0.0;
    for (std::int32_t i = first; i <= last && i <= size / 2; ++i) {
        if (i % bin != 0) {
            strongest = std::max(strongest, m[static_cast<std::size_t>(i)]);
        }
    }
    return 20.0 * std::log10(strongest / m[static_cast<std::size_t>(bin)]);
}

} // namespace hq_tone_levels
