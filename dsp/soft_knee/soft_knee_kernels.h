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
    avx512, // eight double lanes per operation, mask registers instead of blends
};

// How a vector kernel boosts a group of inputs that holds a subnormal. wide: in double, for
// processors whose float multiplier takes a slow microcode assist on subnormals (Intel's);
// narrow: in float like every other group, for processors that multiply subnormals at full
// speed (AMD's), where finding them would be the only cost. Both give the same bits.
enum class SubnormalBoost : std::int32_t { wide, narrow };

// Whether this processor runs kernel.
bool softKneeKernelSupported(SoftKneeKernel kernel) noexcept;

// The widest kernel this processor runs, chosen once when the module is loaded.
SoftKneeKernel softKneeKernelInUse() noexcept;

// A short lower-case name for reports: "scalar", "sse2", "avx2" or "avx512".
const char* softKneeKernelName(SoftKneeKernel kernel) noexcept;

// How the kernels boost subnormal groups here, chosen once when the module is loaded by
// timing subnormal products against normal ones (subnormal_timing.h).
SubnormalBoost softKneeSubnormalBoostInUse() noexcept;

// "wide" or "narrow", for reports.
const char* softKneeSubnormalBoostName(SubnormalBoost boost) noexcept;

// [audio thread] no allocation, no locks. softKneeReplacing computed by kernel, which
// must be supported; the same aliasing as the reference is allowed.
void softKneeReplacingWith(SoftKneeKernel kernel, const SoftKnee& curve, const float* inLeft, const float* inRight,
                           float* outLeft, float* outRight, std::int32_t frames) noexcept;

// [audio thread] no allocation, no locks. softKneeAccumulating computed by kernel.
void softKneeAccumulatingWith(SoftKneeKernel kernel, const SoftKnee& curve, const float* inLeft, const float* inRight,
                              float* outLeft, float* outRight, std::int32_t frames) noexcept;

// The same two with the subnormal groups boosted as subnormals says, whatever this
// processor's choice; the results are the same, only the speed differs.
void softKneeReplacingWith(SoftKneeKernel kernel, SubnormalBoost subnormals, const SoftKnee& curve, const float* inLeft,
                           const float* inRight, float* outLeft, float* outRight, std::int32_t frames) noexcept;
void softKneeAccumulatingWith(SoftKneeKernel kernel, SubnormalBoost subnormals, const SoftKnee& curve,
                              const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                              std::int32_t frames) noexcept;

// The vector loops behind the kernels. Each handles the longest prefix of whole groups
// of its width and answers how many frames that was (0 when frames is not positive);
// the caller runs the reference loop over the rest.
std::int32_t softKneeReplacingSse2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                   float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept;
std::int32_t softKneeAccumulatingSse2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                      float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept;
std::int32_t softKneeReplacingAvx2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                   float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept;
std::int32_t softKneeAccumulatingAvx2(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                      float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept;
std::int32_t softKneeReplacingAvx512(const SoftKnee& curve, const float* inLeft, const float* inRight, float* outLeft,
                                     float* outRight, std::int32_t frames, SubnormalBoost subnormals) noexcept;
std::int32_t softKneeAccumulatingAvx512(const SoftKnee& curve, const float* inLeft, const float* inRight,
                                        float* outLeft, float* outRight, std::int32_t frames,
                                        SubnormalBoost subnormals) noexcept;

// Test hook, kept by every vector loop: each group of frames that a loop boosts in double
// (SubnormalBoost::wide) because it holds a subnormal is reported here as its first frame
// and its frame count.
// Only a test build defines SOFT_KNEE_PATH_PROBE (and the function); a shipped build
// compiles the report to nothing. tests/dsp checks through it that subnormal input, and
// nothing else, takes that path.
#ifdef SOFT_KNEE_PATH_PROBE
void softKneeProbeWideProduct(std::int32_t firstFrame, std::int32_t frames) noexcept;
#define SOFT_KNEE_REPORT_WIDE_PRODUCT(firstFrame, frames) softKneeProbeWideProduct(firstFrame, frames)
#else
#define SOFT_KNEE_REPORT_WIDE_PRODUCT(firstFrame, frames) static_cast<void>(0)
#endif
