// Why subnormal input is cheap, checked without a clock: the kernels built with their
// path probe report every group that they boost in double, and the test checks that, when
// subnormal groups are boosted wide, exactly the groups holding a subnormal input take that
// path (zeros, the smallest normals, infinities and NaNs stay on the float product), and
// when narrow, none does; that the output still equals the reference loop's bit for bit;
// and that the floating-point mode is left as it was, so no flush-to-zero stands in for
// the double product.
#include "soft_knee.h"
#include "soft_knee_kernels.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Group {
    std::int32_t first;
    std::int32_t frames;
};

// Filled by the kernels through softKneeProbeWideProduct; no allocation on their path.
std::array<Group, 256> reported;
std::size_t reportedCount = 0;

} // namespace

void softKneeProbeWideProduct(std::int32_t firstFrame, std::int32_t frames) noexcept
{
    if (reportedCount < reported.size()) {
        reported[reportedCount] = {firstFrame, frames};
    }
    ++reportedCount;
}

namespace {

// A multiple of every group width a kernel may use, so the reference loop takes no tail.
constexpr std::int32_t kFrames = 64;
// Flush-to-zero, denormals-are-zero and the rounding mode: what a kernel must not change.
constexpr unsigned kModeBits = 0x8000u | 0x0040u | 0x6000u;

constexpr std::uint32_t kSmallestSubnormal = 0x00000001u;
constexpr std::uint32_t kLargestSubnormal = 0x007fffffu;
constexpr std::uint32_t kSmallestNormal = 0x00800000u;
constexpr std::uint32_t kSign = 0x80000000u;

bool isSubnormal(float value)
{
    const std::uint32_t magnitude = std::bit_cast<std::uint32_t>(value) & ~kSign;
    return magnitude != 0 && magnitude < kSmallestNormal;
}

enum class Fill { silence, belowKnee, aboveKnee, smallestNormals, specials };

// Both channels of a block: the fill, different on each side, before any subnormal is placed.
std::array<std::vector<float>, 2> filled(Fill fill)
{
    std::array<std::vector<float>, 2> channels{std::vector<float>(kFrames), std::vector<float>(kFrames)};
    const float specials[] = {std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(),
                              -0.0f,
                              0.0f,
                              std::bit_cast<float>(0x7f800001u)};
    for (int side = 0; side < 2; ++side) {
        for (std::int32_t i = 0; i < kFrames; ++i) {
            const bool negative = (i + side) % 2 == 1;
            float value = 0.0f;
            switch (fill) {
            case Fill::silence:
                value = negative ? -0.0f : 0.0f;
                break;
            case Fill::belowKnee:
                value = 0.001f + 0.0003f * static_cast<float>((i * 7 + side) % 31);
                break;
            case Fill::aboveKnee:
                value = 0.9f + 0.05f * static_cast<float>((i * 5 + side) % 23);
                break;
            case Fill::smallestNormals:
                value = std::bit_cast<float>(kSmallestNormal + static_cast<std::uint32_t>(i % 3));
                break;
            case Fill::specials:
                value = specials[(i + side) % 6];
                break;
            }
            channels[side][i] = negative && fill != Fill::specials ? -value : value;
        }
    }
    return channels;
}

struct Placement {
    int side; // 0 left, 1 right
    std::int32_t frame;
    std::uint32_t bits;
};

struct Case {
    const char* what;
    Fill fill;
    std::vector<Placement> subnormals;
    bool everyFrame; // every sample of both channels subnormal, over the fill
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> table = {
        {"silence", Fill::silence, {}, false},
        {"below the knee", Fill::belowKnee, {}, false},
        {"above the knee", Fill::aboveKnee, {}, false},
        {"the smallest normals", Fill::smallestNormals, {}, false},
        {"infinities, NaNs and zeros", Fill::specials, {}, false},
        {"one subnormal in silence, first frame", Fill::silence, {{0, 0, kSmallestSubnormal}}, false},
        {"one subnormal in silence, right, frame 7", Fill::silence, {{1, 7, kLargestSubnormal | kSign}}, false},
        {"one subnormal below the knee, frame 33", Fill::belowKnee, {{0, 33, 0x00012345u}}, false},
        {"one subnormal above the knee, last frame", Fill::aboveKnee, {{1, 63, kSmallestSubnormal | kSign}}, false},
        {"subnormals among the smallest normals",
         Fill::smallestNormals,
         {{0, 12, kLargestSubnormal}, {1, 13, kLargestSubnormal}, {0, 40, 0x00400000u | kSign}},
         false},
        {"subnormals among infinities and NaNs", Fill::specials, {{1, 3, 0x00000100u}, {0, 50, 0x00654321u}}, false},
        {"every sample subnormal", Fill::silence, {}, true},
    };
    return table;
}

std::array<std::vector<float>, 2> inputsOf(const Case& c)
{
    std::array<std::vector<float>, 2> in = filled(c.fill);
    for (const Placement& p : c.subnormals) {
        in[p.side][p.frame] = std::bit_cast<float>(p.bits);
    }
    if (c.everyFrame) {
        for (int side = 0; side < 2; ++side) {
            for (std::int32_t i = 0; i < kFrames; ++i) {
                const std::uint32_t magnitude = 1u + static_cast<std::uint32_t>(i * 131071 + side) % kLargestSubnormal;
                in[side][i] = std::bit_cast<float>(i % 2 == side ? magnitude | kSign : magnitude);
            }
        }
    }
    return in;
}

std::vector<SoftKneeKernel> vectorKernels()
{
    std::vector<SoftKneeKernel> kernels = {SoftKneeKernel::sse2};
    for (SoftKneeKernel kernel : {SoftKneeKernel::avx2, SoftKneeKernel::avx512}) {
        if (softKneeKernelSupported(kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

enum class Form { replacing, accumulating };

// Boost 1 keeps a subnormal subnormal; boost 11 makes some products normal.
const SoftKnee kCurves[] = {makeSoftKnee(1.0f, 0.5f, 0.0f), makeSoftKnee(11.0f, 0.2f, 0.5f)};

TEST(SoftKneeSubnormalPath, ExactlyTheGroupsHoldingASubnormalTakeTheDoubleProductWhenWide)
{
    for (const SoftKneeKernel kernel : vectorKernels()) {
        for (const SubnormalBoost subnormals : {SubnormalBoost::wide, SubnormalBoost::narrow}) {
            const bool wide = subnormals == SubnormalBoost::wide;
            for (const Case& c : cases()) {
                for (const Form form : {Form::replacing, Form::accumulating}) {
                    for (const SoftKnee& curve : kCurves) {
                        const std::string where = std::string(softKneeKernelName(kernel)) + " " +
                                                  softKneeSubnormalBoostName(subnormals) + ", " + c.what + ", " +
                                                  (form == Form::replacing ? "replacing" : "accumulating") +
                                                  ", boost " + std::to_string(curve.boost);
                        std::array<std::vector<float>, 2> in = inputsOf(c);
                        // Accumulating starts from a signal already in the outputs, subnormals included.
                        std::array<std::vector<float>, 2> out = filled(Fill::belowKnee);
                        out[0][5] = std::bit_cast<float>(kLargestSubnormal);
                        std::array<std::vector<float>, 2> expected = out;

                        const unsigned modeBefore = _mm_getcsr();
                        reportedCount = 0;
                        if (form == Form::replacing) {
                            softKneeReplacingWith(kernel, subnormals, curve, in[0].data(), in[1].data(), out[0].data(),
                                                  out[1].data(), kFrames);
                            softKneeReplacing(curve, in[0].data(), in[1].data(), expected[0].data(), expected[1].data(),
                                              kFrames);
                        } else {
                            softKneeAccumulatingWith(kernel, subnormals, curve, in[0].data(), in[1].data(),
                                                     out[0].data(), out[1].data(), kFrames);
                            softKneeAccumulating(curve, in[0].data(), in[1].data(), expected[0].data(),
                                                 expected[1].data(), kFrames);
                        }
                        const std::size_t count = reportedCount;
                        EXPECT_EQ(_mm_getcsr() & kModeBits, modeBefore & kModeBits) << where;
                        ASSERT_LE(count, reported.size()) << where;

                        std::vector<int> coverage(kFrames, 0);
                        for (std::size_t g = 0; g < count; ++g) {
                            const Group group = reported[g];
                            ASSERT_TRUE(group.first >= 0 && group.frames > 0 && group.first + group.frames <= kFrames)
                                << where << ": group at " << group.first << " of " << group.frames;
                            bool holdsSubnormal = false;
                            for (std::int32_t i = group.first; i < group.first + group.frames; ++i) {
                                ++coverage[i];
                                holdsSubnormal = holdsSubnormal || isSubnormal(in[0][i]) || isSubnormal(in[1][i]);
                            }
                            EXPECT_TRUE(holdsSubnormal) << where << ": the group at frame " << group.first
                                                        << " holds no subnormal but took the double product";
                        }
                        for (std::int32_t i = 0; i < kFrames; ++i) {
                            if (!wide) {
                                EXPECT_EQ(coverage[i], 0) << where << ": frame " << i << " took the double product";
                            } else if (isSubnormal(in[0][i]) || isSubnormal(in[1][i])) {
                                EXPECT_EQ(coverage[i], 1) << where << ": frame " << i << " holds a subnormal";
                            } else {
                                EXPECT_LE(coverage[i], 1) << where << ": frame " << i;
                            }
                        }
                        for (int side = 0; side < 2; ++side) {
                            for (std::int32_t i = 0; i < kFrames; ++i) {
                                ASSERT_EQ(std::bit_cast<std::uint32_t>(out[side][i]),
                                          std::bit_cast<std::uint32_t>(expected[side][i]))
                                    << where << ": channel " << side << " frame " << i;
                            }
                        }
                    }
                }
            }
        }
    }
}

} // namespace
