// The HQ core's Quality settings and the piece length its paths run in: what both the
// processor (soft_knee_hq.h) and each channel's path (hq_oversampling.h) are made for.
#pragma once

#include <cstdint>

// The oversampling of the curve. x1 runs the plain curve at the base rate (no anti-aliasing,
// a pure delay where the curve is straight); the others add antiderivative anti-aliasing.
enum class HqQuality : std::int32_t { x1 = 0, x2 = 1, x4 = 2, x8 = 3, x16 = 4 };
inline constexpr std::int32_t kHqQualityCount = 5;

// "1x", "2x", "4x", "8x" or "16x", for a host's display; "" for a value outside the enumeration.
const char* hqQualityName(HqQuality quality) noexcept;

// 1, 2, 4, 8 or 16.
std::int32_t hqOversampling(HqQuality quality) noexcept;

// The longest run the processor and a path take at once; the processor splits longer blocks.
inline constexpr std::int32_t kHqPieceFrames = 64;
