// Float samples as the integers of a pcm16 or pcm24 file: scaled so that 1.0 is full
// scale (2^15 or 2^23), rounded to the nearest integer, ties to even, and clamped to the
// format's range; NaN becomes 0. With TPDF dither, triangular noise of up to one step
// either way is added before rounding, from a generator seeded the same for every file,
// so a dithered render too writes the same bytes every time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plughost {

enum class Dither { none, tpdf };

class IntegerSamples {
public:
    // bits is 16 or 24.
    IntegerSamples(int bits, Dither dither) noexcept;

    // Writes count samples as 32-bit integers with the format's bits at the top, the form
    // libsndfile's integer writing takes.
    void convert(const float* samples, std::int32_t* out, std::size_t count) noexcept;

private:
    double noise() noexcept;

    double scale;
    double largest;
    Dither dither;
    int shift;
    std::uint64_t state = 0x706c7567686f7374u;
};

} // namespace plughost
