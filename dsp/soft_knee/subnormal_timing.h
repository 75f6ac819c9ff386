// Whether this processor multiplies subnormal floats slowly, found by timing.
#pragma once

#include <cstdint>

// Times a thousand float products whose operands and results are subnormal against as many
// normal ones, on the calling thread, and answers whether the subnormal ones took more than
// four times as long: a microcode assist (Intel's cores) costs a hundred times a product,
// full-speed hardware (AMD's) about nothing. The fastest of several trials counts, so a
// thread switch during one cannot decide it. Takes some microseconds; the floating-point
// mode is set to the default for the measurement and restored before it returns.
bool subnormalProductsAreSlow() noexcept;

// The measurement behind it: the time, in any steady unit, that a fixed number of
// products of value with factor take on the calling thread.
using ProductTimer = std::uint64_t (*)(float value, float factor) noexcept;

// The same decision from the times that timer gives, which a test may make up.
bool subnormalProductsAreSlow(ProductTimer timer) noexcept;
