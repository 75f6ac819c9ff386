#include "shaper_effect.h"
#include "soft_knee.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <string>

// Counts every allocation in this test program, so the audio path can be shown to make none.
namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

// Boost as the block applies it: a small power-of-two input passes the knee at 1 unchanged
// but for the gain, so the output divided by the input is exactly the stored boost.
float boostSeenByBlock(ShaperEffect& effect)
{
    const float knee = effect.getParameter(kKneeParam);
    effect.setParameter(kKneeParam, 1.0f);
    float in[2] = {0x1p-10f, 0x1p-10f};
    float out[2] = {0.0f, 0.0f};
    float* inputs[2] = {&in[0], &in[1]};
    float* outputs[2] = {&out[0], &out[1]};
    effect.processReplacing(inputs, outputs, 1);
    effect.setParameter(kKneeParam, knee);
    return out[0] * 0x1p10f;
}

std::string display(ShaperEffect& effect, std::int32_t index)
{
    char text[16] = {};
    effect.getParamDisplay(index, text);
    return text;
}

TEST(ShaperEffect, BoostMapsToGainAndReadsBack)
{
    struct Case {
        float sent;
        float boost;
        float readBack;
        const char* text;
    };
    const Case cases[] = {
        {0.0f, 1.0f, 0.0f, "1.000000"},
        {0.5f, 6.0f, 0.5f, "6.000000"},
        {1.0f, 11.0f, 1.0f, "11.00000"},
        {0.01f, 1.10000002384185791015625f, 0.010000002570450305938720703125f, "1.100000"},
        // Rounded once from double; rounding value * 10 to float first would give 1.1700000762939453125.
        {0.017f, 1.16999995708465576171875f, 0.01699999533593654632568359375f, "1.169999"},
    };
    for (const Case& c : cases) {
        ShaperEffect effect(nullptr);
        effect.setParameter(kBoostParam, c.sent);
        EXPECT_EQ(bits(boostSeenByBlock(effect)), bits(c.boost)) << c.sent;
        EXPECT_EQ(bits(effect.getParameter(kBoostParam)), bits(c.readBack)) << c.sent;
        EXPECT_EQ(display(effect, kBoostParam), c.text) << c.sent;
    }
}

TEST(ShaperEffect, StoresAnyValueButTheBlockStaysInRange)
{
    struct Case {
        std::int32_t index;
        float sent;
        float readBack;
    };
    const Case cases[] = {
        {kKneeParam, 1.5f, 1.5f},       {kKneeParam, -kInf, -kInf},   {kHardnessParam, 2.0f, 2.0f},
        {kHardnessParam, -0.5f, -0.5f}, {kBoostParam, 2.0f, 2.0f},    {kBoostParam, -0.5f, -0.5f},
        {kBoostParam, kInf, kInf},      {kHardnessParam, kInf, kInf}, {kKneeParam, kNaN, kNaN},
        {kBoostParam, kNaN, kNaN},      {kHardnessParam, kNaN, kNaN},
    };
    for (const Case& c : cases) {
        ShaperEffect effect(nullptr);
        effect.setParameter(c.index, c.sent);
        const float readBack = effect.getParameter(c.index);
        if (std::isnan(c.readBack)) {
            EXPECT_TRUE(std::isnan(readBack)) << "index " << c.index;
        } else {
            EXPECT_EQ(bits(readBack), bits(c.readBack)) << "index " << c.index << " value " << c.sent;
        }

        float left[] = {0.0f, -0.0f, 0.75f, -3.0f, 1e30f, kInf};
        float right[] = {-kInf, 0.5f, 1e-30f, 2.0f, -1.0f, 0.0f};
        float* channels[2] = {left, right};
        effect.processReplacing(channels, channels, 6);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_TRUE(std::fabs(left[i]) <= 1.0f && std::fabs(right[i]) <= 1.0f)
                << "index " << c.index << " value " << c.sent << " sample " << i;
        }
    }
}

TEST(ShaperEffect, OtherParameterIndicesChangeAndWriteNothing)
{
    ShaperEffect effect(nullptr);
    for (std::int32_t index : {3, -1, 1000}) {
        effect.setParameter(index, 0.25f);
        EXPECT_EQ(bits(effect.getParameter(index)), bits(0.0f)) << index;
        using TextQuery = void (ShaperEffect::*)(std::int32_t, char*);
        for (TextQuery query :
             {&ShaperEffect::getParamName, &ShaperEffect::getParamLabel, &ShaperEffect::getParamDisplay}) {
            std::array<unsigned char, 64> buffer;
            buffer.fill(0xA5);
            (effect.*query)(index, reinterpret_cast<char*>(buffer.data()));
            for (std::size_t i = 0; i < buffer.size(); ++i) {
                ASSERT_EQ(buffer[i], 0xA5) << "index " << index << " byte " << i;
            }
        }
    }
    EXPECT_EQ(bits(effect.getParameter(kBoostParam)), bits(0.0f));
    EXPECT_EQ(bits(effect.getParameter(kKneeParam)), bits(0.5f));
    EXPECT_EQ(bits(effect.getParameter(kHardnessParam)), bits(0.0f));
}

TEST(ShaperEffect, ProgramNameKeepsAtMost31Characters)
{
    const std::string exact(31, 'x');
    const std::string longer = std::string(31, 'y') + "overflow-that-must-be-cut";
    struct Case {
        std::string sent;
        std::string kept;
    };
    const Case cases[] = {{exact, exact}, {longer, longer.substr(0, 31)}, {"", ""}, {"Mix bus", "Mix bus"}};
    for (const Case& c : cases) {
        ShaperEffect effect(nullptr);
        std::string sent = c.sent;
        effect.setProgramName(sent.data());
        std::array<unsigned char, 64> buffer;
        buffer.fill(0xA5);
        effect.getProgramName(reinterpret_cast<char*>(buffer.data()));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), c.kept);
        for (std::size_t i = 32; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], 0xA5) << "byte " << i;
        }
    }
}

TEST(ShaperEffect, EmptyBlocksReadNoChannelArray)
{
    // A host may pass null channel arrays with no frames; reading them would crash here.
    ShaperEffect effect(nullptr);
    for (std::int32_t frames : {0, -1, -1024}) {
        effect.process(nullptr, nullptr, frames);
        effect.processReplacing(nullptr, nullptr, frames);
    }
}

TEST(ShaperEffect, AudioPathAndParametersAllocateNothing)
{
    ShaperEffect effect(nullptr);
    float left[256];
    float right[256];
    for (int i = 0; i < 256; ++i) {
        left[i] = static_cast<float>(i) / 64.0f - 2.0f;
        right[i] = -left[i];
    }
    float* channels[2] = {left, right};
    const long before = allocations.load();
    for (int block = 0; block < 16; ++block) {
        effect.setParameter(block % 3, static_cast<float>(block) / 16.0f);
        effect.processReplacing(channels, channels, 256);
        effect.process(channels, channels, 256);
        static_cast<void>(effect.getParameter(block % 3));
    }
    EXPECT_EQ(allocations.load(), before);
}

// The effect runs the kernel chosen at load time with the settings the host sent, and its
// output equals the core's reference loops bit for bit in both block forms.
TEST(ShaperEffect, BlocksEqualTheReferenceLoopsAtTheHostsSettings)
{
    constexpr std::int32_t kFrames = 515;
    std::mt19937 random(11);
    std::uniform_real_distribution<float> level(-3.0f, 3.0f);
    ShaperEffect effect(nullptr);
    effect.setParameter(kBoostParam, 0.35f);
    effect.setParameter(kKneeParam, 0.3f);
    effect.setParameter(kHardnessParam, 0.25f);
    const SoftKnee curve = makeSoftKnee(static_cast<float>(static_cast<double>(0.35f) * 10.0 + 1.0), 0.3f, 0.25f);
    std::array<float, kFrames> left{}, right{}, prior{};
    for (std::int32_t i = 0; i < kFrames; ++i) {
        left[i] = level(random) / 4.0f;
        right[i] = level(random) / 4.0f;
        prior[i] = level(random);
    }
    for (bool accumulating : {false, true}) {
        std::array<float, kFrames> expectedLeft = prior, expectedRight = prior, outLeft = prior, outRight = prior;
        float* inputs[] = {left.data(), right.data()};
        float* outputs[] = {outLeft.data(), outRight.data()};
        if (accumulating) {
            effect.process(inputs, outputs, kFrames);
            softKneeAccumulating(curve, left.data(), right.data(), expectedLeft.data(), expectedRight.data(), kFrames);
        } else {
            effect.processReplacing(inputs, outputs, kFrames);
            softKneeReplacing(curve, left.data(), right.data(), expectedLeft.data(), expectedRight.data(), kFrames);
        }
        for (std::int32_t i = 0; i < kFrames; ++i) {
            ASSERT_EQ(bits(outLeft[i]), bits(expectedLeft[i])) << "left " << i << " accumulating " << accumulating;
            ASSERT_EQ(bits(outRight[i]), bits(expectedRight[i])) << "right " << i << " accumulating " << accumulating;
        }
    }
}

} // namespace
