// The load-time measurement that decides how subnormal groups are boosted: it runs on a
// host's thread, so it must hand back the floating-point mode it found, and its answer must
// not depend on the moment it is asked.
#include "soft_knee_kernels.h"
#include "subnormal_timing.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cstdint>
#include <limits>

namespace {

// A made-up measurement: the times of the current row, for normal and for subnormal
// values, and the floating-point mode each was measured in.
struct MadeUpTimes {
    std::uint64_t normal, subnormal;
    unsigned int modeSeen;
};
MadeUpTimes times;

std::uint64_t madeUpTimer(float value, float) noexcept
{
    times.modeSeen |= _mm_getcsr();
    return value < std::numeric_limits<float>::min() ? times.subnormal : times.normal;
}

// The decision from injected times: slow only above four times the normal products' time,
// so an inverted or a constant answer fails; and measured with subnormals neither
// flushed nor taken as zero, as a host's audio thread may have them.
TEST(SubnormalTiming, SlowOnlyWhenSubnormalProductsTakeMoreThanFourTimesAsLong)
{
    constexpr unsigned int kFlushAndZero = _MM_FLUSH_ZERO_ON | 0x0040u;
    const struct {
        std::uint64_t normal, subnormal;
        bool slow;
    } rows[] = {
        {1000, 100, false},   {1000, 1000, false}, {1000, 4000, false}, {1000, 4001, true},
        {1000, 100000, true}, {0, 0, false},       {0, 1, true},
    };
    const unsigned int saved = _mm_getcsr();
    for (const auto& row : rows) {
        times = {row.normal, row.subnormal, 0u};
        _mm_setcsr(saved | kFlushAndZero);
        const bool slow = subnormalProductsAreSlow(madeUpTimer);
        _mm_setcsr(saved);
        EXPECT_EQ(slow, row.slow) << row.normal << " against " << row.subnormal;
        EXPECT_EQ(times.modeSeen & kFlushAndZero, 0u) << "measured with subnormals flushed";
    }
}

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
