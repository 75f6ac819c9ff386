// Every 32-bit pattern through every vector kernel at the effect's initial settings,
// against the reference loops. Too long for the everyday suite; run it by hand:
//   build/native/tests/dsp/soft_knee_all_floats
#include "soft_knee.h"
#include "soft_knee_kernels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
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

// Each chunk of 2^16 patterns: the left channel counts up, the right counts down from the
// complement, so both channels see every pattern; the accumulating outputs start from the
// other channel's input.
TEST(SoftKneeAllFloats, EveryPatternMatchesTheReferenceAtInitialSettings)
{
    constexpr std::uint32_t kChunk = 1u << 16;
    const SoftKnee curve = makeSoftKnee(1.0f, 0.5f, 0.0f);
    std::vector<SoftKneeKernel> kernels = {SoftKneeKernel::sse2};
    if (softKneeKernelSupported(SoftKneeKernel::avx2)) {
        kernels.push_back(SoftKneeKernel::avx2);
    }
    std::vector<float> left(kChunk), right(kChunk);
    std::vector<float> expectedLeft(kChunk), expectedRight(kChunk), outLeft(kChunk), outRight(kChunk);
    const std::int32_t frames = static_cast<std::int32_t>(kChunk);
    std::uint64_t mismatches = 0;
    for (std::uint64_t base = 0; base < (1ull << 32); base += kChunk) {
        for (std::uint32_t i = 0; i < kChunk; ++i) {
            left[i] = std::bit_cast<float>(static_cast<std::uint32_t>(base + i));
            right[i] = std::bit_cast<float>(~static_cast<std::uint32_t>(base + i));
        }
        for (bool accumulating : {false, true}) {
            if (accumulating) {
                expectedLeft = right;
                expectedRight = left;
                softKneeAccumulating(curve, left.data(), right.data(), expectedLeft.data(), expectedRight.data(),
                                     frames);
            } else {
                softKneeReplacing(curve, left.data(), right.data(), expectedLeft.data(), expectedRight.data(), frames);
            }
            for (SoftKneeKernel kernel : kernels) {
                if (accumulating) {
                    outLeft = right;
                    outRight = left;
                    softKneeAccumulatingWith(kernel, curve, left.data(), right.data(), outLeft.data(), outRight.data(),
                                             frames);
                } else {
                    softKneeReplacingWith(kernel, curve, left.data(), right.data(), outLeft.data(), outRight.data(),
                                          frames);
                }
                for (std::uint32_t i = 0; i < kChunk; ++i) {
                    const bool leftDiffers = bits(outLeft[i]) != bits(expectedLeft[i]);
                    const bool rightDiffers = bits(outRight[i]) != bits(expectedRight[i]);
                    if ((leftDiffers || rightDiffers) && ++mismatches <= 10) {
                        ADD_FAILURE() << softKneeKernelName(kernel) << (accumulating ? " accumulating" : " replacing")
                                      << ": input " << hex(bits(leftDiffers ? left[i] : right[i])) << " reference "
                                      << hex(bits(leftDiffers ? expectedLeft[i] : expectedRight[i])) << " kernel "
                                      << hex(bits(leftDiffers ? outLeft[i] : outRight[i]));
                    }
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

} // namespace
