// The load-time measurement that decides how subnormal groups are boosted: it runs on a
// host's thread, so it must hand back the floating-point mode it found, and its answer must
// not depend on the moment it is asked.
#include "soft_knee_kernels.h"
#include "subnormal_timing.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

namespace {

TEST(SubnormalTiming, LeavesTheFloatingPointModeAsItFoundIt)
{
    const unsigned int saved = _mm_getcsr();
    // Flush-to-zero, denormals-are-zero, rounding up, every exception flag raised and the
    // division-by-zero exception unmasked: all of it must come back as it was.
    const unsigned int mode = (saved & ~0xffffu) | 0x8000u | 0x0040u | _MM_ROUND_UP | 0x1d80u | 0x3fu;
    _mm_setcsr(mode);
    subnormalProductsAreSlow();
    const unsigned int after = _mm_getcsr();
    _mm_setcsr(saved);
    EXPECT_EQ(after, mode);
}

// A thread switch in one trial must not turn the answer: asked again and again it agrees
// with what the module chose when it was loaded.
TEST(SubnormalTiming, AgreesWithTheChoiceMadeAtLoadEveryTime)
{
    const bool slowAtLoad = softKneeSubnormalBoostInUse() == SubnormalBoost::wide;
    for (int time = 0; time < 20; ++time) {
        EXPECT_EQ(subnormalProductsAreSlow(), slowAtLoad) << "time " << time;
    }
}

} // namespace
