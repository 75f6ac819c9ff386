#include "soft_knee.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

// One sample through a one-frame block, so these checks go through the loop a host reaches.
float shapeOne(float boost, float knee, float hardness, float input)
{
    const SoftKnee curve = makeSoftKnee(boost, knee, hardness);
    const float silent = 0.0f;
    float left = 0.0f;
    float right = 0.0f;
    softKneeReplacing(curve, &input, &silent, &left, &right, 1);
    return left;
}

struct Edge {
    const char* what;
    float boost;
    float knee;
    float hardness;
    float input;
    float expected;
};

const Edge kEdges[] = {
    {"default passes below the knee", 1.0f, 0.5f, 0.0f, 0.25f, 0.25f},
    {"default passes at the knee", 1.0f, 0.5f, 0.0f, 0.5f, 0.5f},
    {"default 1.0", 1.0f, 0.5f, 0.0f, 1.0f, 0.75f},
    {"default 2.0", 1.0f, 0.5f, 0.0f, 2.0f, 0.875f},
    {"default -1.0", 1.0f, 0.5f, 0.0f, -1.0f, -0.75f},
    {"default 10.0", 1.0f, 0.5f, 0.0f, 10.0f, 0.975f},
    {"default 0.75 rounds once from double", 1.0f, 0.5f, 0.0f, 0.75f, 0.666666686534881591796875f},
    {"default large input reaches full scale", 1.0f, 0.5f, 0.0f, 1e30f, 1.0f},
    {"default +inf gives the limit", 1.0f, 0.5f, 0.0f, kInf, 1.0f},
    {"default -inf gives the limit", 1.0f, 0.5f, 0.0f, -kInf, -1.0f},
    {"default +0 passes", 1.0f, 0.5f, 0.0f, 0.0f, 0.0f},
    {"default -0 passes with its sign", 1.0f, 0.5f, 0.0f, -0.0f, -0.0f},
    {"boost 11 acts before the knee", 11.0f, 0.5f, 0.0f, 0.25f, static_cast<float>(10.0 / 11.0)},
    {"boost overflowing to inf gives the limit", 11.0f, 0.5f, 0.0f, 3e38f, 1.0f},
    {"hard at 0.5 passes the knee", 1.0f, 0.5f, 1.0f, 0.5f, 0.5f},
    {"hard at 0.5 clips just above", 1.0f, 0.5f, 1.0f, 0.50000006f, 0.5f},
    {"hard at 0.5 clips negative", 1.0f, 0.5f, 1.0f, -3.0f, -0.5f},
    {"hard at 0.5 clips inf", 1.0f, 0.5f, 1.0f, kInf, 0.5f},
    {"hard at 0.1 clips at 1 - w", 1.0f, 0.1f, 1.0f, 0.5f, 0.10000002384185791015625f},
    {"knee 1 soft passes 0.9", 1.0f, 1.0f, 0.5f, 0.9f, 0.9f},
    {"knee 1 soft gives full scale", 1.0f, 1.0f, 0.5f, 2.0f, 1.0f},
    {"knee 1 soft gives negative full scale", 1.0f, 1.0f, 0.5f, -1e30f, -1.0f},
    {"knee 1 hard clips at full scale", 1.0f, 1.0f, 1.0f, 2.0f, 1.0f},
    {"knee 1 hard clips negative", 1.0f, 1.0f, 1.0f, -1.5f, -1.0f},
    {"knee 1 hard clips inf", 1.0f, 1.0f, 1.0f, kInf, 1.0f},
    {"knee 1 hard passes full scale", 1.0f, 1.0f, 1.0f, 1.0f, 1.0f},
    {"knee 0 hard silences positive", 1.0f, 0.0f, 1.0f, 0.3f, 0.0f},
    {"knee 0 hard silences negative with sign", 1.0f, 0.0f, 1.0f, -0.3f, -0.0f},
    {"knee 0 soft is v over 1 + |v|", 1.0f, 0.0f, 0.0f, 3.0f, 0.75f},
    {"knee 0 soft negative", 1.0f, 0.0f, 0.0f, -1.0f, -0.5f},
    {"knee 0 passes -0", 1.0f, 0.0f, 0.0f, -0.0f, -0.0f},
    {"hardness above 1 acts as 1", 1.0f, 0.5f, 2.0f, 3.0f, 0.5f},
    {"hardness below 0 acts as 0", 1.0f, 0.5f, -1.0f, 1.0f, 0.75f},
    {"hardness NaN acts as 0", 1.0f, 0.5f, kNaN, 1.0f, 0.75f},
    {"knee below 0 keeps zero from the curve", 1.0f, -1.0f, 0.0f, 0.0f, 0.0f},
    {"knee below 0 acts as 0", 1.0f, -1.0f, 0.0f, 1.0f, 0.5f},
    {"knee above 1 acts as 1", 1.0f, 2.0f, 0.0f, 1.5f, 1.0f},
    {"knee NaN acts as 0.5", 1.0f, kNaN, 0.0f, 1.0f, 0.75f},
    {"boost inf acts as 11", kInf, 0.5f, 0.0f, 0.25f, static_cast<float>(10.0 / 11.0)},
    {"boost inf keeps zero zero", kInf, 0.5f, 0.0f, 0.0f, 0.0f},
    {"boost below 1 acts as 1", -5.0f, 0.5f, 0.0f, 1.0f, 0.75f},
    {"boost NaN acts as 1", kNaN, 0.5f, 0.0f, 1.0f, 0.75f},
    {"NaN input passes as NaN", 11.0f, 0.0f, 1.0f, kNaN, kNaN},
};

TEST(SoftKnee, EdgeCasesExactBits)
{
    for (const Edge& edge : kEdges) {
        EXPECT_EQ(bits(shapeOne(edge.boost, edge.knee, edge.hardness, edge.input)), bits(edge.expected)) << edge.what;
    }
}

TEST(SoftKnee, NoParameterValueMakesNaNOrInfinityFromANumber)
{
    const float denormal = std::numeric_limits<float>::denorm_min();
    const float maximum = std::numeric_limits<float>::max();
    const float parameters[] = {-kInf,  -maximum, -1.0f, -denormal, -0.0f, 0.0f,    denormal, 0.1f, 0.5f,
                                0.999f, 1.0f,     1.5f,  11.0f,     12.0f, maximum, kInf,     kNaN};
    const float inputs[] = {0.0f, -0.0f,  denormal, -denormal, 1e-30f,   0.5f, -0.75f, 1.0f,
                            2.0f, -10.0f, 1e30f,    maximum,   -maximum, kInf, -kInf};
    for (float boost : parameters) {
        for (float knee : parameters) {
            for (float hardness : parameters) {
                for (float input : inputs) {
                    const float y = shapeOne(boost, knee, hardness, input);
                    ASSERT_TRUE(std::isfinite(y) && std::fabs(y) <= 1.0f)
                        << "boost " << boost << " knee " << knee << " hardness " << hardness << " input " << input
                        << " gave " << y;
                }
            }
        }
    }
}

// A million inputs, mostly within +-4, one in eight spread from tiny to huge.
const std::vector<float>& seededSamples()
{
    static const std::vector<float> samples = [] {
        std::mt19937 random(20261207);
        std::vector<float> made(1000000);
        for (float& sample : made) {
            const std::uint32_t r = random();
            const float unit = static_cast<float>(r >> 8) * 0x1p-24f;
            const float sign = (r & 1) != 0 ? -1.0f : 1.0f;
            sample =
                (r & 14) == 0 ? sign * std::ldexp(unit, static_cast<int>(random() % 200) - 100) : sign * 4.0f * unit;
        }
        return made;
    }();
    return samples;
}

std::vector<SoftKnee> settingGrid(std::initializer_list<float> boosts, std::initializer_list<float> knees,
                                  std::initializer_list<float> hardnesses)
{
    std::vector<SoftKnee> grid;
    for (float boost : boosts) {
        for (float knee : knees) {
            for (float hardness : hardnesses) {
                grid.push_back(makeSoftKnee(boost, knee, hardness));
            }
        }
    }
    return grid;
}

// The largest drop allowed where the magnitude crosses the knee: the curve starts
// at 1 - w, which the rounding of w can leave a hair below the knee itself.
double kneeStep(const SoftKnee& curve)
{
    return std::fmax(0.0, static_cast<double>(curve.knee) - static_cast<double>(1.0f - curve.w));
}

float shaped(const SoftKnee& curve, float input)
{
    return softKneeCurve(input * curve.boost, curve.knee, curve.w, curve.a);
}

TEST(SoftKneeProperties, BoundedOddAndNeverFallingAsInputGrows)
{
    const std::vector<float>& x = seededSamples();
    for (const SoftKnee& curve :
         settingGrid({1.0f, 1.7f, 11.0f}, {0.0f, 0.1f, 0.37f, 0.9f, 1.0f}, {0.0f, 0.3f, 1.0f})) {
        std::size_t failures = 0;
        for (std::size_t i = 0; i + 1 < x.size(); ++i) {
            const float small = std::fabs(x[i]);
            const float large = small + std::fabs(x[i + 1]);
            const float ySmall = shaped(curve, small);
            const float yLarge = shaped(curve, large);
            const bool crossesKnee = small * curve.boost <= curve.knee && large * curve.boost > curve.knee;
            const double drop = crossesKnee ? kneeStep(curve) : 0.0;
            failures += !(ySmall >= 0.0f && yLarge <= 1.0f && static_cast<double>(yLarge) >= ySmall - drop &&
                          bits(shaped(curve, -large)) == bits(-yLarge));
        }
        EXPECT_EQ(failures, 0u) << "boost " << curve.boost << " knee " << curve.knee << " a " << curve.a;
    }
}

// Per sample, in place, with the channels swapped and accumulating: every arrangement
// gives each sample exactly the curve of its own input, whatever the other channel holds.
TEST(SoftKneeProperties, BlockGivesEachSampleItsOwnCurveInEveryArrangement)
{
    const std::vector<float>& x = seededSamples();
    const std::size_t count = x.size() / 2;
    const std::int32_t frames = static_cast<std::int32_t>(count);
    const float* left = x.data();
    const float* right = x.data() + count;
    std::vector<float> outLeft(count), outRight(count), swappedLeft(count), swappedRight(count);
    // The arrangement does not depend on the curve, so a coarser grid than above will do.
    for (const SoftKnee& curve : settingGrid({1.0f, 11.0f}, {0.0f, 0.37f, 1.0f}, {0.0f, 0.999f, 1.0f})) {
        softKneeReplacing(curve, left, right, outLeft.data(), outRight.data(), frames);
        softKneeReplacing(curve, right, left, swappedLeft.data(), swappedRight.data(), frames);
        std::vector<float> inPlaceLeft(left, left + count), inPlaceRight(right, right + count);
        softKneeReplacing(curve, inPlaceLeft.data(), inPlaceRight.data(), inPlaceLeft.data(), inPlaceRight.data(),
                          frames);
        // The accumulating outputs start from the other channel's input, an arbitrary prior content.
        std::vector<float> sumLeft(right, right + count), sumRight(left, left + count);
        softKneeAccumulating(curve, left, right, sumLeft.data(), sumRight.data(), frames);

        std::size_t mismatches = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t l = bits(shaped(curve, left[i]));
            const std::uint32_t r = bits(shaped(curve, right[i]));
            mismatches += bits(outLeft[i]) != l || bits(outRight[i]) != r || bits(swappedLeft[i]) != r ||
                          bits(swappedRight[i]) != l || bits(inPlaceLeft[i]) != l || bits(inPlaceRight[i]) != r ||
                          bits(sumLeft[i]) != bits(right[i] + outLeft[i]) ||
                          bits(sumRight[i]) != bits(left[i] + outRight[i]);
        }
        EXPECT_EQ(mismatches, 0u) << "boost " << curve.boost << " knee " << curve.knee << " a " << curve.a;
    }
}

TEST(SoftKnee, ContinuousAtTheKnee)
{
    std::mt19937 random(99);
    for (int trial = 0; trial < 20000; ++trial) {
        const float knee = static_cast<float>(random() >> 8) * 0x1p-24f;
        const float hardness = static_cast<float>(random() >> 8) * 0x1p-24f;
        const SoftKnee curve = makeSoftKnee(1.0f, knee, hardness);
        const float above = std::nextafter(knee, 2.0f);
        const float y = softKneeCurve(above, curve.knee, curve.w, curve.a);
        ASSERT_LE(std::fabs(static_cast<double>(y) - knee), 0x1p-22) << "knee " << knee << " hardness " << hardness;
        // Adjacent floats around the knee never fall by more than the rounding of w.
        float v = knee;
        for (int n = 0; n < 32; ++n) {
            v = std::nextafter(v, -1.0f);
        }
        float previous = softKneeCurve(v, curve.knee, curve.w, curve.a);
        for (int n = 0; n < 64; ++n) {
            v = std::nextafter(v, 2.0f);
            const float next = softKneeCurve(v, curve.knee, curve.w, curve.a);
            ASSERT_GE(static_cast<double>(next), previous - kneeStep(curve)) << "knee " << knee << " at " << v;
            previous = next;
        }
    }
}

TEST(SoftKnee, TouchesNothingAtOrBeyondTheFrameCount)
{
    const float guard = std::bit_cast<float>(0x7FC5A5A5u); // a NaN payload that no block here produces
    const SoftKnee curve = makeSoftKnee(3.0f, 0.4f, 0.2f);
    const std::vector<float> input(40, 0.3f);
    for (std::int32_t frames : {-100, -1, 0, 1, 2, 7, 31}) {
        for (auto block : {&softKneeReplacing, &softKneeAccumulating}) {
            std::vector<float> left(input.size(), guard);
            std::vector<float> right(input.size(), guard);
            const std::int32_t written = std::max(frames, 0);
            std::fill_n(left.begin(), written, 0.0f);
            std::fill_n(right.begin(), written, 0.0f);
            block(curve, input.data(), input.data(), left.data(), right.data(), frames);
            for (std::int32_t i = 0; i < static_cast<std::int32_t>(input.size()); ++i) {
                const bool untouched = bits(left[i]) == bits(guard) && bits(right[i]) == bits(guard);
                ASSERT_EQ(untouched, i >= written) << "frames " << frames << " index " << i;
            }
        }
    }
}

TEST(SoftKnee, MonoInputOnBothChannelsInPlace)
{
    // A host feeding mono may pass one buffer as both inputs and as the left output.
    std::vector<float> shared = {0.25f, 0.75f, -2.0f, 10.0f, 0.0f};
    std::vector<float> outRight(shared.size());
    const std::vector<float> expected = {0.25f, 0.666666686534881591796875f, -0.875f, 0.975f, 0.0f};
    softKneeReplacing(makeSoftKnee(1.0f, 0.5f, 0.0f), shared.data(), shared.data(), shared.data(), outRight.data(),
                      static_cast<std::int32_t>(shared.size()));
    for (std::size_t i = 0; i < shared.size(); ++i) {
        EXPECT_EQ(bits(shared[i]), bits(expected[i]));
        EXPECT_EQ(bits(outRight[i]), bits(expected[i]));
    }
}

} // namespace
