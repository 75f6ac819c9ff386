// What the shaped path takes of its input, shared by the core, its kernels and the static
// transfer curve that pictures it.
#pragma once

#include <bit>
#include <cstdint>

// The shaped path takes the input within +-kHqLoudest: far above any curve's knee, and low enough
// that no filter's sum of boosted samples can overflow a float.
inline constexpr float kHqLoudest = 0x1p32f;

// x with a non-finite sample silenced and a subnormal one flushed to zero of its sign, as
// denormals-are-zero would take it, so that the output does not hang on whether the
// processor has that mode.
inline float hqSafeSample(float x) noexcept
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t exponent = bits & 0x7f800000u;
    return exponent == 0x7f800000u ? 0.0f : (exponent == 0 ? std::bit_cast<float>(bits & 0x80000000u) : x);
}
