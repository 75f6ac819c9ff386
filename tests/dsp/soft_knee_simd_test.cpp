// The vector kernels against the reference loops, bit for bit: seeded inputs that probe
// every branch of the curve over a grid of settings, every aliasing a host may use, and
// the frames at the edge of a block.
#include "soft_knee.h"
#include "soft_knee_kernels.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

float fromBits(std::uint32_t pattern)
{
    return std::bit_cast<float>(pattern);
}

// A kernel and the way it boosts groups that hold a subnormal.
struct Kernel {
    SoftKneeKernel kernel;
    SubnormalBoost subnormals;
};

constexpr Kernel kReference = {SoftKneeKernel::scalar, SubnormalBoost::wide};

std::string nameOf(const Kernel& kernel)
{
    return std::string(softKneeKernelName(kernel.kernel)) + "_" + softKneeSubnormalBoostName(kernel.subnormals);
}

// The kernel over one block, written over the outputs or added to them.
void runKernel(const Kernel& kernel, bool accumulating, const SoftKnee& curve, const float* inLeft,
               const float* inRight, float* outLeft, float* outRight, std::int32_t frames)
{
    if (accumulating) {
        softKneeAccumulatingWith(kernel.kernel, kernel.subnormals, curve, inLeft, inRight, outLeft, outRight, frames);
    } else {
        softKneeReplacingWith(kernel.kernel, kernel.subnormals, curve, inLeft, inRight, outLeft, outRight, frames);
    }
}

// One instance of each test per vector kernel and way of boosting subnormals, whichever
// this processor would choose; a kernel this processor lacks is skipped.
class SoftKneeKernels : public ::testing::TestWithParam<Kernel> {
protected:
    void SetUp() override
    {
        if (!softKneeKernelSupported(GetParam().kernel)) {
            GTEST_SKIP() << "this processor lacks the " << softKneeKernelName(GetParam().kernel) << " kernel";
        }
    }
};

std::string hex(std::uint32_t pattern)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08x", static_cast<unsigned>(pattern));
    return text;
}

// The first index where two buffers differ in any bit, described for a failure message;
// empty when they agree.
std::string firstDifference(const std::vector<float>& input, const std::vector<float>& expected,
                            const std::vector<float>& actual)
{
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (bits(expected[i]) != bits(actual[i])) {
            return "index " + std::to_string(i) + ": input " + hex(bits(input[i])) + " reference " +
                   hex(bits(expected[i])) + " kernel " + hex(bits(actual[i]));
        }
    }
    return "";
}

std::string describe(const SoftKnee& curve)
{
    return "boost " + hex(bits(curve.boost)) + " knee " + hex(bits(curve.knee)) + " a " + hex(bits(curve.a));
}

// Samples that reach every branch: signed zeros, NaNs with payloads (quiet and
// signalling), infinities, subnormals, boosted values within 300 units in the last place
// of the knee and of the overflow threshold, random bit patterns and ordinary signal.
class SampleSource {
public:
    explicit SampleSource(std::uint32_t seed) : random(seed) {}

    float next(const SoftKnee& curve)
    {
        const std::uint32_t r = random();
        const std::uint32_t sign = r & 0x80000000u;
        const std::uint32_t nearby = random() % 601;
        switch (r % 11) {
        case 0:
            return fromBits(sign);
        case 1:
            return fromBits(sign | 0x7f800000u | std::max<std::uint32_t>(random() & 0x7fffffu, 1));
        case 2:
            return fromBits(sign | 0x7f800000u);
        case 3:
            return fromBits(sign | (random() & 0x7fffffu));
        case 4:
            return fromBits(sign | (bits(curve.knee / curve.boost) + nearby - 300));
        case 5:
            return fromBits(sign | (bits(curve.knee) + nearby - 300));
        case 6:
            return fromBits(sign | (bits(std::numeric_limits<float>::max() / curve.boost) + nearby - 300));
        case 7:
            return fromBits(random());
        default:
            return static_cast<float>(random() >> 8) * 0x1p-22f - 2.0f;
        }
    }

private:
    std::mt19937 random;
};

std::vector<SoftKnee> settingGrid()
{
    const float denormal = std::numeric_limits<float>::denorm_min();
    std::vector<SoftKnee> grid;
    for (float boost : {1.0f, 1.1f, 6.0f, 11.0f, 0.5f, 40.0f, -2.0f, kNaN, kInf}) {
        for (float knee : {0.0f, -0.0f, denormal, 0.1f, 0.5f, 0.75f, 0.999f, 1.0f, -0.3f, 1.5f, kNaN}) {
            for (float hardness : {0.0f, 0.3f, 0.5f, 0.999f, 1.0f, -0.5f, 2.0f, kNaN, denormal}) {
                grid.push_back(makeSoftKnee(boost, knee, hardness));
            }
        }
    }
    return grid;
}

// The kernel over the buffers in blocks of seeded lengths from 1 to 300 frames, so the
// reference finishes many blocks and most groups start unaligned.
void runInBlocks(const Kernel& kernel, bool accumulating, const SoftKnee& curve, const std::vector<float>& left,
                 const std::vector<float>& right, std::vector<float>& outLeft, std::vector<float>& outRight,
                 std::mt19937& random)
{
    const std::int32_t frames = static_cast<std::int32_t>(left.size());
    for (std::int32_t start = 0; start < frames;) {
        const std::int32_t length =
            std::min<std::int32_t>(static_cast<std::int32_t>(random() % 300) + 1, frames - start);
        runKernel(kernel, accumulating, curve, &left[start], &right[start], &outLeft[start], &outRight[start], length);
        start += length;
    }
}

// 891 settings times 12288 samples: 10.9 million inputs for each kernel and each form.
TEST_P(SoftKneeKernels, MatchTheReferenceBitForBitOverSeededInputsAndSettings)
{
    const Kernel kernel = GetParam();
    constexpr std::size_t kFrames = 6144;
    SampleSource source(20261207);
    std::mt19937 blockLengths(7);
    std::vector<float> left(kFrames), right(kFrames), prior(2 * kFrames);
    std::vector<float> expectedLeft(kFrames), expectedRight(kFrames), outLeft(kFrames), outRight(kFrames);
    for (const SoftKnee& curve : settingGrid()) {
        for (std::size_t i = 0; i < kFrames; ++i) {
            left[i] = source.next(curve);
            right[i] = source.next(curve);
            prior[i] = source.next(curve);
            prior[kFrames + i] = source.next(curve);
        }
        for (bool accumulating : {false, true}) {
            const auto start = [&](std::vector<float>& l, std::vector<float>& r) {
                std::copy_n(prior.begin(), kFrames, l.begin());
                std::copy_n(prior.begin() + kFrames, kFrames, r.begin());
            };
            start(expectedLeft, expectedRight);
            runInBlocks(kReference, accumulating, curve, left, right, expectedLeft, expectedRight, blockLengths);
            start(outLeft, outRight);
            runInBlocks(kernel, accumulating, curve, left, right, outLeft, outRight, blockLengths);
            const std::string context = std::string(accumulating ? "accumulating, " : "replacing, ") + describe(curve);
            ASSERT_EQ(firstDifference(left, expectedLeft, outLeft), "") << "left, " << context;
            ASSERT_EQ(firstDifference(right, expectedRight, outRight), "") << "right, " << context;
        }
    }
}

// Which of four host buffers (0, 1: inputs; 2, 3: outputs) each channel pointer addresses.
struct Arrangement {
    const char* what;
    int inLeft, inRight, outLeft, outRight;
};

const Arrangement kArrangements[] = {
    {"separate buffers", 0, 1, 2, 3},          {"each channel in place", 0, 1, 0, 1},
    {"mono: one input buffer", 0, 0, 2, 3},    {"mono in place on the left", 0, 0, 0, 3},
    {"channels crossed in place", 0, 1, 1, 0}, {"one output buffer for both", 0, 1, 2, 2},
    {"everything one buffer", 0, 0, 0, 0},
};

TEST_P(SoftKneeKernels, MatchTheReferenceInEveryArrangementOfBuffers)
{
    constexpr std::size_t kFrames = 1027;
    SampleSource source(5);
    const SoftKnee curves[] = {makeSoftKnee(1.0f, 0.5f, 0.0f), makeSoftKnee(3.0f, 0.2f, 0.6f),
                               makeSoftKnee(1.0f, 0.5f, 1.0f)};
    for (const SoftKnee& curve : curves) {
        std::vector<float> initial[4];
        for (std::vector<float>& buffer : initial) {
            buffer.resize(kFrames);
            std::generate(buffer.begin(), buffer.end(), [&] { return source.next(curve); });
        }
        for (const Arrangement& arrangement : kArrangements) {
            for (bool accumulating : {false, true}) {
                const auto run = [&](const Kernel& kernel) {
                    std::vector<float> buffers[4] = {initial[0], initial[1], initial[2], initial[3]};
                    const auto at = [&](int which) { return buffers[which].data(); };
                    const std::int32_t frames = static_cast<std::int32_t>(kFrames);
                    runKernel(kernel, accumulating, curve, at(arrangement.inLeft), at(arrangement.inRight),
                              at(arrangement.outLeft), at(arrangement.outRight), frames);
                    return std::vector<std::vector<float>>(buffers, buffers + 4);
                };
                const std::vector<std::vector<float>> expected = run(kReference);
                const std::vector<std::vector<float>> actual = run(GetParam());
                for (int which = 0; which < 4; ++which) {
                    ASSERT_EQ(firstDifference(initial[which], expected[which], actual[which]), "")
                        << (accumulating ? "accumulating, " : "replacing, ") << arrangement.what << ", buffer " << which
                        << ", " << describe(curve);
                }
            }
        }
    }
}

TEST_P(SoftKneeKernels, TouchNothingAtOrBeyondTheFrameCount)
{
    const float guard = fromBits(0x7fc5a5a5u); // a NaN payload that no block here produces
    const SoftKnee curve = makeSoftKnee(3.0f, 0.4f, 0.2f);
    const std::vector<float> input(40, 0.3f);
    const Kernel kernel = GetParam();
    for (std::int32_t frames : {-100, -1, 0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31}) {
        for (bool accumulating : {false, true}) {
            std::vector<float> left(input.size(), guard);
            std::vector<float> right(input.size(), guard);
            const std::int32_t written = std::max(frames, 0);
            std::fill_n(left.begin(), written, 0.0f);
            std::fill_n(right.begin(), written, 0.0f);
            runKernel(kernel, accumulating, curve, input.data(), input.data(), left.data(), right.data(), frames);
            for (std::int32_t i = 0; i < static_cast<std::int32_t>(input.size()); ++i) {
                const bool untouched = bits(left[i]) == bits(guard) && bits(right[i]) == bits(guard);
                ASSERT_EQ(untouched, i >= written) << nameOf(kernel) << " frames " << frames << " index " << i;
            }
        }
    }
}

// Every floating-point mode a host's audio thread may run in: each rounding mode, with
// subnormals kept, flushed, taken as zero, or both, as hosts usually set them.
struct Mode {
    std::string what;
    unsigned int bits;
};

std::vector<Mode> everyMode()
{
    const Mode roundings[] = {{"to nearest", _MM_ROUND_NEAREST},
                              {"up", _MM_ROUND_UP},
                              {"down", _MM_ROUND_DOWN},
                              {"toward zero", _MM_ROUND_TOWARD_ZERO}};
    const Mode subnormals[] = {{"", 0u},
                               {", flush to zero", _MM_FLUSH_ZERO_ON},
                               {", denormals are zero", 0x0040u},
                               {", flush to zero and denormals are zero", _MM_FLUSH_ZERO_ON | 0x0040u}};
    std::vector<Mode> modes;
    for (const Mode& rounding : roundings) {
        for (const Mode& subnormal : subnormals) {
            modes.push_back({"round " + rounding.what + subnormal.what, rounding.bits | subnormal.bits});
        }
    }
    return modes;
}

// A host may run its audio thread with subnormals flushed or a directed rounding mode;
// the kernels then still give what the reference gives in the same mode.
TEST_P(SoftKneeKernels, MatchTheReferenceInEveryFloatingPointMode)
{
    constexpr std::size_t kFrames = 4099;
    SampleSource source(17);
    const unsigned int saved = _mm_getcsr();
    for (const Mode& mode : everyMode()) {
        for (const SoftKnee& curve :
             {makeSoftKnee(1.0f, 0.5f, 0.0f), makeSoftKnee(7.3f, 0.1f, 0.6f), makeSoftKnee(1.0f, 0.0f, 0.0f),
              makeSoftKnee(2.0f, 0.3f, 1.0f), makeSoftKnee(3.0f, 1.0f, 0.4f)}) {
            std::vector<float> left(kFrames), right(kFrames), prior(kFrames);
            for (std::size_t i = 0; i < kFrames; ++i) {
                left[i] = source.next(curve);
                right[i] = source.next(curve);
                prior[i] = source.next(curve);
            }
            for (bool accumulating : {false, true}) {
                const auto run = [&](const Kernel& kernel) {
                    std::vector<float> outLeft = prior, outRight = prior;
                    const std::int32_t frames = static_cast<std::int32_t>(kFrames);
                    _mm_setcsr((saved & ~0xe040u) | mode.bits);
                    runKernel(kernel, accumulating, curve, left.data(), right.data(), outLeft.data(), outRight.data(),
                              frames);
                    _mm_setcsr(saved);
                    outLeft.insert(outLeft.end(), outRight.begin(), outRight.end());
                    return outLeft;
                };
                std::vector<float> inputs = left;
                inputs.insert(inputs.end(), right.begin(), right.end());
                const std::vector<float> expected = run(kReference);
                EXPECT_EQ(firstDifference(inputs, expected, run(GetParam())), "")
                    << (accumulating ? "accumulating, " : "replacing, ") << mode.what << ", " << describe(curve);
            }
        }
    }
}

// A group whose inputs are all at most the curve's quiet bound passes unchanged, so the bound
// must lie below every input that the boost takes above the knee, in every rounding mode.
// At a dense sweep of boosts and at several knees, each group holds one input near the
// bound or near knee / boost; at knee 0 the bound admits only zeros, so the smallest
// subnormals, which the curve takes to zero, must not pass. Hardness 0.5 and 1 bend a
// sample just above the knee visibly, where hardness 0 would leave it within a rounding.
TEST_P(SoftKneeKernels, PassNothingUnchangedThatTheBoostTakesAboveTheKnee)
{
    constexpr std::int32_t kRun = 16; // frames of one input: a span of the widest kernel
    const unsigned int saved = _mm_getcsr();
    std::vector<float> left, right, expected[2], actual[2];
    for (const float knee : {0.5f, 0.1f, 0.9f, 0.03f, 0.0f}) {
        for (int step = 0; step <= 2001; ++step) {
            const SoftKnee curve =
                makeSoftKnee(1.0f + 0.01f * static_cast<float>(step / 2), knee, step % 2 == 0 ? 0.5f : 1.0f);
            left.clear();
            for (const std::uint32_t near : {curve.quietBound, bits(curve.knee / curve.boost)}) {
                for (std::uint32_t pattern = near < 3 ? 0 : near - 3; pattern <= near + 3; ++pattern) {
                    left.insert(left.end(), kRun, fromBits(pattern));
                }
            }
            right = left;
            const std::int32_t frames = static_cast<std::int32_t>(left.size());
            for (const unsigned int rounding :
                 {_MM_ROUND_NEAREST, _MM_ROUND_UP, _MM_ROUND_DOWN, _MM_ROUND_TOWARD_ZERO}) {
                const auto run = [&](const Kernel& kernel, std::vector<float>* out) {
                    out[0].assign(left.size(), 0.0f);
                    out[1].assign(left.size(), 0.0f);
                    _mm_setcsr((saved & ~0xe040u) | rounding);
                    runKernel(kernel, false, curve, left.data(), right.data(), out[0].data(), out[1].data(), frames);
                    _mm_setcsr(saved);
                };
                run(kReference, expected);
                run(GetParam(), actual);
                ASSERT_EQ(firstDifference(left, expected[0], actual[0]), "")
                    << "rounding " << hex(rounding) << ", " << describe(curve);
                ASSERT_EQ(firstDifference(right, expected[1], actual[1]), "")
                    << "rounding " << hex(rounding) << ", " << describe(curve);
            }
        }
    }
}

// Lanes below the knee are computed beside those above it; a host that unmasks
// floating-point exceptions must see no division by zero or invalid operation from them
// where the reference loop raises none. (A NaN sample raises invalid in both, through the
// ordered knee test, so the signal here has none.)
TEST_P(SoftKneeKernels, RaiseNoDivisionOrInvalidFlagTheReferenceDoesNot)
{
    constexpr unsigned int kInvalid = 0x1u;
    constexpr unsigned int kDivideByZero = 0x4u;
    const std::vector<float> pattern = {0.0f, -0.0f, 0.25f, -0.9f, 1.0f, 1.5f, -3.0f, 0.5f, kInf, -kInf, 1e-40f};
    std::vector<float> left(64), right(64);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = pattern[i % pattern.size()];
        right[i] = pattern[(i * 5 + 3) % pattern.size()];
    }
    const unsigned int saved = _mm_getcsr();
    const auto flagsOf = [&](const Kernel& kernel, const SoftKnee& curve, bool accumulating) {
        std::vector<float> outLeft(left.size(), 0.0f), outRight(right.size(), 0.0f);
        const std::int32_t frames = static_cast<std::int32_t>(left.size());
        _mm_setcsr(saved & ~0x3fu);
        runKernel(kernel, accumulating, curve, left.data(), right.data(), outLeft.data(), outRight.data(), frames);
        const unsigned int raised = _mm_getcsr() & (kInvalid | kDivideByZero);
        _mm_setcsr(saved);
        return raised;
    };
    for (const SoftKnee& curve : {makeSoftKnee(1.0f, 1.0f, 0.5f), makeSoftKnee(1.0f, 1.0f, 1.0f),
                                  makeSoftKnee(1.0f, 0.5f, 0.0f), makeSoftKnee(11.0f, 0.0f, 0.3f)}) {
        for (bool accumulating : {false, true}) {
            const unsigned int reference = flagsOf(kReference, curve, accumulating);
            EXPECT_EQ(reference, 0u) << describe(curve);
            EXPECT_EQ(flagsOf(GetParam(), curve, accumulating) & ~reference, 0u)
                << (accumulating ? "accumulating, " : "replacing, ") << describe(curve);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, SoftKneeKernels,
                         ::testing::Values(Kernel{SoftKneeKernel::sse2, SubnormalBoost::wide},
                                           Kernel{SoftKneeKernel::sse2, SubnormalBoost::narrow},
                                           Kernel{SoftKneeKernel::avx2, SubnormalBoost::wide},
                                           Kernel{SoftKneeKernel::avx2, SubnormalBoost::narrow},
                                           Kernel{SoftKneeKernel::avx512, SubnormalBoost::wide},
                                           Kernel{SoftKneeKernel::avx512, SubnormalBoost::narrow}),
                         [](const ::testing::TestParamInfo<Kernel>& info) { return nameOf(info.param); });

} // namespace
