// Every 32-bit pattern through each vector kernel against the reference loops, at the
// effect's initial settings in both block forms and at two more settings in the replacing
// form, with subnormal groups boosted the way this processor chose; and at the initial
// settings once more with them boosted the other way. Each kernel and setting is one
// test, so ctest spreads them over its processes; a kernel this processor lacks is skipped.
//   build/native/tests/dsp/soft_knee_all_floats [--gtest_filter=...]
#include "soft_knee.h"
#include "soft_knee_kernels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

std::string hex(std::uint32_t pattern)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08x", static_cast<unsigned>(pattern));
    return text;
}

struct Setting {
    const char* name;
    float boost, knee, hardness;
    bool accumulatingToo;
    bool subnormalsTheOtherWay; // than this processor's choice
};

const Setting kSettings[] = {
    {"Initial", 1.0f, 0.5f, 0.0f, true, false},
    {"HardnessHalf", 1.0f, 0.5f, 0.5f, false, false},
    {"Knee0_1Boost11", 11.0f, 0.1f, 0.0f, false, false},
    {"InitialSubnormalsTheOtherWay", 1.0f, 0.5f, 0.0f, true, true},
};

class SoftKneeAllFloats : public ::testing::TestWithParam<std::tuple<SoftKneeKernel, int>> {
protected:
    void SetUp() override
    {
        if (!softKneeKernelSupported(std::get<0>(GetParam()))) {
            GTEST_SKIP() << "this processor lacks the " << softKneeKernelName(std::get<0>(GetParam())) << " kernel";
        }
    }
};

// Each chunk of 2^16 frames: the left channel takes the patterns from base up, the right
// those from base + 2^31, so every pattern is shaped once. The accumulating outputs start
// from the other channel's input.
TEST_P(SoftKneeAllFloats, EveryPatternMatchesTheReference)
{
    constexpr std::uint32_t kChunk = 1u << 16;
    constexpr std::uint32_t kHalf = 1u << 31;
    const SoftKneeKernel kernel = std::get<0>(GetParam());
    const Setting& setting = kSettings[std::get<1>(GetParam())];
    const SoftKnee curve = makeSoftKnee(setting.boost, setting.knee, setting.hardness);
    const SubnormalBoost chosen = softKneeSubnormalBoostInUse();
    const SubnormalBoost other = chosen == SubnormalBoost::wide ? SubnormalBoost::narrow : SubnormalBoost::wide;
    const SubnormalBoost subnormals = setting.subnormalsTheOtherWay ? other : chosen;
    std::vector<float> left(kChunk), right(kChunk);
    std::vector<float> expectedLeft(kChunk), expectedRight(kChunk), outLeft(kChunk), outRight(kChunk);
    const std::int32_t frames = static_cast<std::int32_t>(kChunk);
    std::uint64_t mismatches = 0;
    for (std::uint32_t base = 0; base < kHalf; base += kChunk) {
        for (std::uint32_t i = 0; i < kChunk; ++i) {
            left[i] = std::bit_cast<float>(base + i);
            right[i] = std::bit_cast<float>(kHalf + base + i);
        }
        for (bool accumulating : {false, true}) {
            if (accumulating && !setting.accumulatingToo) {
                continue;
            }
            if (accumulating) {
                expectedLeft = right;
                expectedRight = left;
                outLeft = right;
                outRight = left;
                softKneeAccumulating(curve, left.data(), right.data(), expectedLeft.data(), expectedRight.data(),
                                     frames);
                softKneeAccumulatingWith(kernel, subnormals, curve, left.data(), right.data(), outLeft.data(),
                                         outRight.data(), frames);
            } else {
                softKneeReplacing(curve, left.data(), right.data(), expectedLeft.data(), expectedRight.data(), frames);
                softKneeReplacingWith(kernel, subnormals, curve, left.data(), right.data(), outLeft.data(),
                                      outRight.data(), frames);
            }
            for (std::uint32_t i = 0; i < kChunk; ++i) {
                const bool leftDiffers = bits(outLeft[i]) != bits(expectedLeft[i]);
                const bool rightDiffers = bits(outRight[i]) != bits(expectedRight[i]);
                if ((leftDiffers || rightDiffers) && ++mismatches <= 10) {
                    ADD_FAILURE() << (accumulating ? "accumulating" : "replacing") << ": input "
                                  << hex(bits(leftDiffers ? left[i] : right[i])) << " reference "
                                  << hex(bits(leftDiffers ? expectedLeft[i] : expectedRight[i])) << " kernel "
                                  << hex(bits(leftDiffers ? outLeft[i] : outRight[i]));
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(, SoftKneeAllFloats,
                         ::testing::Combine(::testing::Values(SoftKneeKernel::sse2, SoftKneeKernel::avx2,
                                                              SoftKneeKernel::avx512),
                                            ::testing::Range(0, static_cast<int>(std::size(kSettings)))),
                         [](const ::testing::TestParamInfo<std::tuple<SoftKneeKernel, int>>& info) {
                             return std::string(softKneeKernelName(std::get<0>(info.param))) + "_" +
                                    kSettings[std::get<1>(info.param)].name;
                         });

} // namespace
