// The effect's block loops, several samples at a time. Every kernel gives exactly the
// output bits of softKneeReplacing and softKneeAccumulating, the reference loops, for
// every input (NaN payloads and the sign of zero included) and every curve that
// makeSoftKnee makes.
#pragma once

#include "soft_knee.h"

#include <cstdint>

enum class SoftKneeKernel : std::int32_t {
    scalar, // the reference loops themselves
    sse2,   // two double lanes per division
    avx2,   // four double lanes per division
};

// Whether this processor runs kernel.
bool softKneeKernelSupported(SoftKneeKernel kernel) noexcept;

// The widest kernel this processor runs, chosen once when the module is loaded.
SoftKneeKernel softKneeKernelInUse() noexcept;

// A short lower-case name for reports: "scalar", "sse2" or "avx2".
const char* softKneeKernelName(SoftKneeKernel kernel) noexcept;

// [audio thread] no allocation, no locks. softKneeReplacing computed by kernel, which
// must be supported; the same aliasing as the reference is allowed.
void softKneeReplacingWith(SoftKneeKernel kernel, const SoftKnee& curve, const float* inLeft, const float* inRight,
                           float* outLeft, float* outRight, std::int32_t frames) noexcept;

// [audio thread] no allocation, no locks. softKneeAccumulating computed by kernel.
void softKneeAccumulatingWith(SoftKneeKernel kernel, const SoftKnee& curve, const float* inLeft, const float* inRight,
                              float* outLeft, float* outRight, std::int32_t frames) noexcept;

// The vector loops behind the kernels. Each handles the longest prefix of whole groups
// of its width and answers how many frames that was (0 when frames is not positive);
// the caller runs the reference loop over the rest.
std::int32_t softKneeReplacingSse2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                   float* outRight, std::int32_t frames) noexcept;
std::int32_t softKneeAccumulatingSse2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                      float* outRight, std::int32_t frames) noexcept;
std::int32_t softKneeReplacingAvx2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                   float* outRight, std::int32_t frames) noexcept;
std::int32_t softKneeAccumulatingAvx2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                      float* outRight, std::int32_t frames) noexcept;
