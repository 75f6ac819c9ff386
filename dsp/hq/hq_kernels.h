// The HQ shaper's inner loops: the half-band interpolator, the two decimators, the
// anti-aliased curve and the plain one, each in a scalar reference and in vector forms.
//
// Contract: every kernel gives exactly the output bits of the scalar reference for every
// input. The vector forms compute several independent outputs at once (filter outputs, or
// curve outputs, which depend on no earlier output), one per lane, each lane doing the
// reference's operations in the reference's order; no sum is reordered and nothing is fused.
// The curve runs in double (hq_antiderivative.h), the filters in float. The bits are those of
// the core's floating-point environment (hq_float_environment.h), in which every kernel runs.
//
// No lane raises an exception flag for any input: a lane whose result is dropped computes from
// operands chosen for it (a denominator of 1, a distance of 0), never 0/0 or x/0. Where a run
// of the curve's input stays at or below the knee, its outputs are means of two samples, as the
// reference gives them there, and nothing takes a logarithm or divides.
//
// SSE2 is the floor of every target, so it is what a processor without AVX2 runs; AVX2 does
// the same with lanes twice as wide, and AVX-512 (F and DQ) with lanes four times as wide,
// each where the processor and the operating system have it. A test build may pin any kernel
// the processor runs.
#pragma once

#include "hq_antiderivative.h"
#include "hq_input.h"

#include <cstdint>

enum class HqKernel : std::int32_t { scalar, sse2, avx2, avx512 };

// The doubles adaa's scratch holds for count samples: three rows of count + 1, and room for a
// vector kernel to start each row's samples on a 64-byte boundary.
constexpr std::int32_t kHqAdaaScratch(std::int32_t count) noexcept
{
    return 3 * (count + 1) + 24;
}

struct HqKernelSet {
    // y[2i] = sum_j g_j (x[i - j] + x[i - span + j]), y[2i + 1] = x[i - m], i < frames;
    // span = 2m + 1, m = count - 1; x holds span samples of history before x[0].
    void (*interpolate)(const float* x, std::int32_t frames, const float* pairs, std::int32_t count, float* y);
    // With t = u + 2i + 1 - lag, i < frames, m = count - 1:
    // y[i] = sum_j h_j (t[-2j] + t[-(4m + 2) + 2j]) + t[-(2m + 1)] / 2; u holds 4m + 2 + lag samples of history.
    // scratch holds room for two rows of frames + 2m + 1 floats each.
    void (*decimateHalfband)(const float* u, std::int32_t frames, const float* pairs, std::int32_t count,
                             std::int32_t lag, float* y, float* scratch);
    // y[i] = sum_j h_j (t[-j] + t[-(2 count - 1) + j]); u holds 2 count - 1 + lag samples of history;
    // scratch as above, rows of frames + count - 1 floats.
    void (*decimateEven)(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                         float* y, float* scratch);
    // The anti-aliased curve over frames base frames of factor samples each (hq_oversampling.h):
    // state holds the last input and its antiderivative and is updated; scratch holds
    // kHqAdaaScratch(frames * factor) doubles. Returns how many samples took the general path (the
    // logarithm or the quotient) rather than the mean of two inputs at or below the knee: 0
    // when the state's input and every sample stay at or below it, more otherwise; each kernel
    // counts in its own steps, so only that distinction is common to all.
    std::int32_t (*adaa)(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves,
                         const bool* changed, double* state, double* scratch, float* y);
    // f[n] = F(x[n]) under one curve, n < count (a multiple of 4), as adaa forms them; for tests,
    // which compare these doubles before any rounding to float can hide a difference.
    void (*antiderivatives)(const float* x, std::int32_t count, const HqCurve& curve, double* f);
    // y[i] = f(x[i]) under curves[i], i < frames, as hqCurveValue gives it: the plain curve of
    // 1x. changed[i] says that curves[i] differs from curves[i - 1].
    void (*plainCurve)(const float* x, std::int32_t frames, const HqCurve* curves, const bool* changed, float* y);
    // dry[i] = hqSafeSample(x[i]); boosted[i] = dry[i] held within +-kHqLoudest, times boost, in
    // float. The product of such a sample and a boost of 1 to 11 is exact in double, so this is
    // also the double product rounded.
    void (*takeInput)(const float* x, float boost, float* dry, float* boosted, std::int32_t frames);
    // y[i] = float(double(dry[i]) * 0 + wet[i]): the output at gain 1 and mix 1, wet[i] itself
    // but for a zero, which is -0 only where dry[i] is negative too.
    void (*wetOnly)(const float* dry, const float* wet, float* y, std::int32_t frames);
};

bool hqKernelSupported(HqKernel kernel) noexcept;
const HqKernelSet& hqKernelSet(HqKernel kernel) noexcept;
const char* hqKernelName(HqKernel kernel) noexcept;

// The kernel processors made from now on run: the widest this processor has, unless a test
// pinned another (one the processor runs). [main thread]
HqKernel hqKernelForNewProcessors() noexcept;
void hqPinKernel(HqKernel kernel) noexcept;
void hqUnpinKernel() noexcept;

// Each set, the vector ones defined in files of their own.
const HqKernelSet& hqScalarKernels() noexcept;
const HqKernelSet& hqSse2Kernels() noexcept;
const HqKernelSet& hqAvx2Kernels() noexcept;
const HqKernelSet& hqAvx512Kernels() noexcept;
