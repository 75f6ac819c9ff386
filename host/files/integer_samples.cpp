#include "integer_samples.h"

#include <cmath>

namespace plughost {

namespace {

// The nearest integer, ties to even, by floor alone: a module may leave the floating-point
// unit in another rounding mode, and the file must not depend on it. v - floor(v) is exact.
double nearestInteger(double v) noexcept
{
    const double below = std::floor(v);
    const double fraction = v - below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        return below + 1.0;
    return below;
}

} // namespace

IntegerSamples::IntegerSamples(int bits, Dither dither) noexcept
    : scale(std::ldexp(1.0, bits - 1)), largest(scale - 1.0), dither(dither), shift(32 - bits)
{
}

// A uniform value in [0, 1) from xorshift64*, minus another: triangular from -1 to 1.
double IntegerSamples::noise() noexcept
{
    const auto uniform = [this] {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return std::ldexp(static_cast<double>((state * 0x2545F4914F6CDD1Du) >> 11), -53);
    };
    const double first = uniform();
    return first - uniform();
}

void IntegerSamples::convert(const float* samples, std::int32_t* out, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i) {
        double v = static_cast<double>(samples[i]) * scale;
        if (dither == Dither::tpdf)
            v += noise();
        v = std::isnan(v) ? 0.0 : std::fmin(std::fmax(nearestInteger(v), -scale), largest);
        out[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) << shift);
    }
}

} // namespace plughost
