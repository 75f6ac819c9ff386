// One thread processes blocks while another writes all three parameters as fast as it
// can. Each parameter is one relaxed 32-bit atomic and the block takes all three once, so
// every raced block must equal, bit for bit, the block that some combination of written
// values gives when nothing races. The sample rate races the any-thread text conversions
// that read it in the same way. ThreadSanitizer runs these tests too.

#include "shaper_effect.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::int32_t kFrames = 96;
constexpr auto kRaceTime = std::chrono::seconds(3);
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// What the writer sends, per parameter. The first value of each is the new effect's own
// setting; NaN and out-of-range values are there because setParameter stores them unchecked.
constexpr std::array kBoostValues = {0.0f, 0.37f, 1.0f, 1.5f, -0.25f, kNaN};
constexpr std::array kKneeValues = {0.5f, 0.0f, 0.2f, 1.0f, 2.0f, kNaN};
constexpr std::array kHardnessValues = {0.0f, 0.6f, 1.0f, -1.0f, kNaN};
constexpr std::size_t kCombinations = kBoostValues.size() * kKneeValues.size() * kHardnessValues.size();

struct Setting {
    float boost;
    float knee;
    float hardness;
};

Setting settingNumber(std::size_t n)
{
    return {kBoostValues[n % kBoostValues.size()], kKneeValues[n / kBoostValues.size() % kKneeValues.size()],
            kHardnessValues[n / (kBoostValues.size() * kKneeValues.size())]};
}

using Channel = std::array<float, kFrames>;

struct Block {
    Channel left;
    Channel right;
};
static_assert(sizeof(Block) == 2 * kFrames * sizeof(float), "a block compares as plain bits");

// A sweep over -3..3 on the left and a different one on the right, so that boost, knee and
// hardness each change the output of some sample.
Block makeInput()
{
    Block in{};
    for (std::int32_t i = 0; i < kFrames; ++i) {
        in.left[i] = -3.0f + 6.0f * static_cast<float>(i) / static_cast<float>(kFrames - 1);
        in.right[i] = 0.9f * std::sin(0.37f * static_cast<float>(i)) * (1.0f + static_cast<float>(i % 5));
    }
    return in;
}

enum class Mode { replacing, accumulating };

// One block through the record, as a host calls it; the accumulating form starts from silence.
void runBlock(AEffect* record, Mode mode, Block& in, Block& out)
{
    float* inputs[2] = {in.left.data(), in.right.data()};
    float* outputs[2] = {out.left.data(), out.right.data()};
    if (mode == Mode::replacing) {
        record->processReplacing(record, inputs, outputs, kFrames);
    } else {
        out.left.fill(0.0f);
        out.right.fill(0.0f);
        record->process(record, inputs, outputs, kFrames);
    }
}

bool sameBits(const Block& a, const Block& b)
{
    return std::memcmp(&a, &b, sizeof(Block)) == 0;
}

bool anyNaN(const Block& block)
{
    for (std::int32_t i = 0; i < kFrames; ++i) {
        if (std::isnan(block.left[i]) || std::isnan(block.right[i])) {
            return true;
        }
    }
    return false;
}

// The block each combination gives on an effect that no other thread touches.
std::vector<Block> blocksWithoutRace(Mode mode)
{
    Block in = makeInput();
    std::vector<Block> expected(kCombinations);
    for (std::size_t n = 0; n < kCombinations; ++n) {
        ShaperEffect effect(nullptr);
        AEffect* record = effect.getAEffect();
        const Setting setting = settingNumber(n);
        record->setParameter(record, kBoostParam, setting.boost);
        record->setParameter(record, kKneeParam, setting.knee);
        record->setParameter(record, kHardnessParam, setting.hardness);
        runBlock(record, mode, in, expected[n]);
    }
    return expected;
}

std::size_t distinctBlocks(const std::vector<Block>& blocks)
{
    std::set<std::vector<std::uint32_t>> distinct;
    for (const Block& block : blocks) {
        std::vector<std::uint32_t> words(2 * kFrames);
        std::memcpy(words.data(), &block, sizeof(Block));
        distinct.insert(words);
    }
    return distinct.size();
}

// The combination whose block equals out, trying the last one found first; -1 for none.
long findCombination(const std::vector<Block>& expected, const Block& out, long last)
{
    if (last >= 0 && sameBits(expected[static_cast<std::size_t>(last)], out)) {
        return last;
    }
    for (std::size_t n = 0; n < expected.size(); ++n) {
        if (sameBits(expected[n], out)) {
            return static_cast<long>(n);
        }
    }
    return -1;
}

TEST(ParameterRace, EveryRacedBlockIsTheBlockOfWrittenValues)
{
    const std::vector<Block> expectedReplacing = blocksWithoutRace(Mode::replacing);
    const std::vector<Block> expectedAccumulating = blocksWithoutRace(Mode::accumulating);
    for (std::size_t n = 0; n < kCombinations; ++n) {
        ASSERT_FALSE(anyNaN(expectedReplacing[n])) << "combination " << n;
    }
    // The race can only be judged if the output tells the written values apart (out-of-range
    // and NaN values act as range ends and defaults, so fewer blocks than combinations differ).
    ASSERT_GE(distinctBlocks(expectedReplacing), 20u);

    ShaperEffect effect(nullptr);
    AEffect* record = effect.getAEffect();
    std::atomic<bool> writing{true};
    std::atomic<long> writes{0};
    std::thread writer([&] {
        // Three different cycle lengths, so the three parameters drift against each other.
        long n = 0;
        while (writing.load(std::memory_order_relaxed)) {
            record->setParameter(record, kBoostParam, kBoostValues[n % kBoostValues.size()]);
            record->setParameter(record, kKneeParam, kKneeValues[(n / 3) % kKneeValues.size()]);
            record->setParameter(record, kHardnessParam, kHardnessValues[(n / 7) % kHardnessValues.size()]);
            ++n;
        }
        writes.store(n);
    });

    Block in = makeInput();
    Block out{};
    long blocks = 0;
    long mismatches = 0;
    long blocksWithNaN = 0;
    long lastReplacing = -1;
    long lastAccumulating = -1;
    std::set<long> seen;
    const auto end = std::chrono::steady_clock::now() + kRaceTime;
    while (std::chrono::steady_clock::now() < end) {
        const Mode mode = blocks % 2 == 0 ? Mode::replacing : Mode::accumulating;
        runBlock(record, mode, in, out);
        long& last = mode == Mode::replacing ? lastReplacing : lastAccumulating;
        last = findCombination(mode == Mode::replacing ? expectedReplacing : expectedAccumulating, out, last);
        if (last < 0) {
            ++mismatches;
        } else {
            seen.insert(last);
        }
        blocksWithNaN += anyNaN(out) ? 1 : 0;
        ++blocks;
    }
    writing.store(false);
    writer.join();

    EXPECT_EQ(mismatches, 0) << "of " << blocks << " blocks";
    EXPECT_EQ(blocksWithNaN, 0) << "of " << blocks << " blocks";
    // Both threads really ran, and the blocks saw the writer's changes.
    EXPECT_GT(writes.load(), 1000);
    EXPECT_GT(blocks, 1000);
    EXPECT_GT(seen.size(), 10u);
}

// The host sets the sample rate on one thread while another shows periods in hertz and
// milliseconds: every text is the one some written rate gives.
TEST(SampleRateRace, EveryTextIsTheTextOfAWrittenRate)
{
    constexpr std::array kRates = {44100.0f, 48000.0f, 96000.0f};
    constexpr float kSamples = 441.0f;
    using Conversion = void (EffectBase::*)(float, char*);
    constexpr std::array<Conversion, 2> kConversions = {&EffectBase::hzToString, &EffectBase::msToString};
    auto text = [&](EffectBase& effect, Conversion conversion) {
        char shown[9] = {};
        (effect.*conversion)(kSamples, shown);
        return std::string(shown);
    };
    std::array<std::set<std::string>, 2> expected;
    for (const float rate : kRates) {
        ShaperEffect quiet(nullptr);
        quiet.getAEffect()->dispatcher(quiet.getAEffect(), effSetSampleRate, 0, 0, nullptr, rate);
        for (std::size_t c = 0; c < kConversions.size(); ++c) {
            expected[c].insert(text(quiet, kConversions[c]));
        }
    }
    ASSERT_EQ(expected[0].size(), kRates.size());
    ASSERT_EQ(expected[1].size(), kRates.size());

    ShaperEffect effect(nullptr);
    AEffect* record = effect.getAEffect();
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (std::size_t n = 0; writing.load(std::memory_order_relaxed); ++n) {
            record->dispatcher(record, effSetSampleRate, 0, 0, nullptr, kRates[n % kRates.size()]);
        }
    });
    std::set<std::string> seen;
    long strays = 0;
    const auto end = std::chrono::steady_clock::now() + kRaceTime / 3;
    while (std::chrono::steady_clock::now() < end) {
        for (std::size_t c = 0; c < kConversions.size(); ++c) {
            const std::string shown = text(effect, kConversions[c]);
            strays += expected[c].count(shown) == 0 ? 1 : 0;
            seen.insert(shown);
        }
    }
    writing.store(false);
    writer.join();

    EXPECT_EQ(strays, 0);
    EXPECT_GT(seen.size(), 2u) << "the writer's rates never reached the reader";
}

} // namespace
