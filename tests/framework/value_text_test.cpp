// Number-to-text conversions for the host's parameter display: exact texts for the edge
// cases, a comparison with the exact decimal value, and the 9-byte bound over a sweep.
#include "recording_effect.h"
#include "unit_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const std::string kHuge = " Huge!  ";
const std::string kMinusInfinityDb = "   -\xB0   ";

using FloatConversion = void (EffectBase::*)(float, char*);

std::string convert(EffectBase& effect, FloatConversion conversion, float value)
{
    char text[32];
    std::memset(text, '#', sizeof text);
    (effect.*conversion)(value, text);
    return text;
}

void setRateAsHost(EffectBase& effect, float sampleRate)
{
    AEffect* record = effect.getAEffect();
    record->dispatcher(record, effSetSampleRate, 0, 0, nullptr, sampleRate);
}

struct FloatRow {
    float input;
    const char* text;
};

TEST(ValueText, FloatToStringEdgeTable)
{
    const FloatRow rows[] = {
        {0.0f, "0.000000"},
        {-0.0f, "0.000000"},
        {0.5f, "0.500000"},
        {1.0f, "1.000000"},
        {6.0f, "6.000000"},
        {11.0f, "11.00000"},
        {10.5f, "10.50000"},
        {0.001f, "0.001000"},
        {0.05f, "0.050000"},
        {0.1f, "0.100000"},
        {0.7f, "0.699999"},
        {1.3f, "1.299999"},
        {2.7f, "2.700000"},
        {3.14159265f, "3.141592"},
        {99.99f, "99.98999"},
        {123.456f, "123.4560"},
        {123456.789f, "123456.7"},
        {999999.9f, "999999.8"},
        {1234567.0f, "1234567."},
        {9999999.0f, "9999999."},
        {0.0000001f, "0.000000"},
        {-0.0000001f, "-0.00000"},
        {-0.5f, "-0.50000"},
        {-0.7f, "-0.69999"},
        {-1.0f, "-1.00000"},
        {-123.456f, "-123.456"},
        {-12345.678f, "-12345.6"},
        {-999999.0f, "-999999."},
        {99999999.0f, " Huge!  "},
        {100000000.0f, " Huge!  "},
        {-10000000.0f, " Huge!  "},
        {kInfinity, " Huge!  "},
        {-kInfinity, " Huge!  "},
        {kNaN, "-0.00000"},
        {-kNaN, "-0.00000"},
        // Eight integer digits, or a sign and seven, leave no room for the point.
        {10000000.0f, "10000000"},
        {12345678.0f, "12345678"},
        {99999992.0f, "99999992"},
        {-1000000.0f, "-1000000"},
        {-1234567.0f, "-1234567"},
        {-9999999.0f, "-9999999"},
        {-10000001.0f, " Huge!  "},
    };
    PlainEffect effect;
    for (const FloatRow& row : rows) {
        EXPECT_EQ(convert(effect, &EffectBase::floatToString, row.input), row.text) << row.input;
    }
}

TEST(ValueText, LongToStringEdgeTable)
{
    const struct {
        std::int32_t input;
        const char* text;
    } rows[] = {
        {0, "      0"},
        {1, "      1"},
        {7, "      7"},
        {-1, "     -1"},
        {42, "     42"},
        {-123, "   -123"},
        {1234567, "1234567"},
        {-999999, "-999999"},
        {12345678, "12345678"},
        {99999999, "99999999"},
        {-1000000, "-1000000"},
        {-9999999, "-9999999"},
        {100000000, " Huge!  "},
        {2147483647, " Huge!  "},
        // Below -9999999 the decimal form needs nine or more characters.
        {-10000000, " Huge!  "},
        {-99999999, " Huge!  "},
        {std::numeric_limits<std::int32_t>::min(), " Huge!  "},
    };
    PlainEffect effect;
    for (const auto& row : rows) {
        char text[32];
        std::memset(text, '#', sizeof text);
        effect.longToString(row.input, text);
        EXPECT_STREQ(text, row.text) << row.input;
    }
}

TEST(ValueText, DbToStringEdgeTable)
{
    const struct {
        float gain;
        std::string text;
    } rows[] = {
        {1.0f, "0.000000"},
        {0.5f, "-6.02059"},
        {2.0f, "6.020599"},
        {10.0f, "20.00000"},
        {11.0f, "20.82785"},
        {0.1f, "-20.0000"},
        {0.001f, "-60.0000"},
        {std::numeric_limits<float>::denorm_min(), "-897.069"},
        {std::numeric_limits<float>::max(), "770.6367"},
        {0.0f, kMinusInfinityDb},
        {-0.0f, kMinusInfinityDb},
        {-1.0f, kMinusInfinityDb},
        {-kInfinity, kMinusInfinityDb},
        {kNaN, kMinusInfinityDb},
        {kInfinity, kHuge},
    };
    PlainEffect effect;
    for (const auto& row : rows) {
        EXPECT_EQ(convert(effect, &EffectBase::dbToString, row.gain), row.text) << row.gain;
    }
}

struct RateRow {
    float sampleRate;
    float samples;
    const char* text;
};

TEST(ValueText, HzToStringEdgeTable)
{
    const RateRow rows[] = {
        {44100.0f, 1.0f, "44100.00"},
        {44100.0f, 2.0f, "22050.00"},
        {44100.0f, 100.0f, "441.0000"},
        {44100.0f, 441.0f, "100.0000"},
        {44100.0f, 44100.0f, "1.000000"},
        {44100.0f, -441.0f, "-100.000"},
        {44100.0f, 0.0f, "0.000000"},
        {44100.0f, -0.0f, "0.000000"},
        {44100.0f, kNaN, "0.000000"},
        {44100.0f, 0.0001f, " Huge!  "},
        {48000.0f, 441.0f, "108.8435"},
        {0.0f, 5.0f, "0.000000"},
        // A period so short that the frequency passes the largest float.
        {44100.0f, std::numeric_limits<float>::denorm_min(), " Huge!  "},
    };
    for (const RateRow& row : rows) {
        PlainEffect effect;
        setRateAsHost(effect, row.sampleRate);
        EXPECT_EQ(convert(effect, &EffectBase::hzToString, row.samples), row.text)
            << row.samples << " samples at " << row.sampleRate;
    }
}

TEST(ValueText, MsToStringEdgeTable)
{
    const RateRow rows[] = {
        {44100.0f, 1.0f, "0.022675"},
        {44100.0f, 44.1f, "0.999999"},
        {44100.0f, 441.0f, "10.00000"},
        {44100.0f, 22050.0f, "500.0000"},
        {44100.0f, 44100.0f, "1000.000"},
        {44100.0f, -44.1f, "-0.99999"},
        {44100.0f, 0.0f, "0.000000"},
        {44100.0f, 1e10f, " Huge!  "},
        {48000.0f, 441.0f, "9.187500"},
        {0.0f, 1.0f, " Huge!  "},
        {0.0f, -1.0f, " Huge!  "},
        {0.0f, 0.0f, "-0.00000"},
        {1e-45f, std::numeric_limits<float>::max(), " Huge!  "},
    };
    for (const RateRow& row : rows) {
        PlainEffect effect;
        setRateAsHost(effect, row.sampleRate);
        EXPECT_EQ(convert(effect, &EffectBase::msToString, row.samples), row.text)
            << row.samples << " samples at " << row.sampleRate;
    }
}

// Every conversion that shows a float goes through the effect's floatToString, and the
// rate-based ones read the rate through getSampleRate.
class OverridingEffect : public PlainEffect {
public:
    void floatToString(float value, char* text) override
    {
        shown.push_back(value);
        PlainEffect::floatToString(value, text);
    }
    float getSampleRate() override { return 1000.0f; }
    std::vector<float> shown;
};

TEST(ValueText, ConversionsGoThroughTheOverriddenOperations)
{
    OverridingEffect effect;
    EXPECT_EQ(convert(effect, &EffectBase::dbToString, 10.0f), "20.00000");
    EXPECT_EQ(convert(effect, &EffectBase::hzToString, 4.0f), "250.0000");
    EXPECT_EQ(convert(effect, &EffectBase::msToString, 3.0f), "3.000000");
    EXPECT_EQ(effect.shown, (std::vector<float>{20.0f, 250.0f, 3.0f}));
}

// The digits of the exact value the float holds, cut off where the 8 characters end.
std::string exactDigitsCutOff(float value)
{
    char digits[256];
    const auto result = std::to_chars(digits, digits + sizeof digits, std::fabs(static_cast<double>(value)),
                                      std::chars_format::fixed, 160);
    const std::string exact(digits, result.ptr);
    const std::size_t point = exact.find('.');
    const std::string integerHalf = (value < 0.0f ? "-" : "") + exact.substr(0, point);
    if (integerHalf.size() >= 8) {
        return integerHalf;
    }
    return integerHalf + "." + exact.substr(point + 1, 8 - integerHalf.size() - 1);
}

float floatFromBits(std::uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool overRange(float value)
{
    return static_cast<double>(value) > 99999999.0 || static_cast<double>(value) < -9999999.0;
}

TEST(ValueText, FloatToStringShowsTheExactValueCutOff)
{
    PlainEffect effect;
    std::mt19937 random(20261207);
    int compared = 0;
    for (int draw = 0; draw < 300000; ++draw) {
        const float value = floatFromBits(static_cast<std::uint32_t>(random()));
        if (std::isnan(value) || overRange(value)) {
            continue;
        }
        ++compared;
        ASSERT_EQ(convert(effect, &EffectBase::floatToString, value), exactDigitsCutOff(value))
            << "bits " << std::hex << std::bit_cast<std::uint32_t>(value);
    }
    // Digit positions near the text's bounds, where a carry or a lost digit would show.
    for (float bound : {1.0f, 10.0f, 1e5f, 1e6f, 1e7f, 99999992.0f, -1.0f, -1e5f, -1e6f, -9999999.0f}) {
        float value = bound;
        for (int step = 0; step < 64; ++step) {
            value = std::nextafter(value, 0.0f);
        }
        for (int step = 0; step < 128 && !overRange(value); ++step, ++compared) {
            ASSERT_EQ(convert(effect, &EffectBase::floatToString, value), exactDigitsCutOff(value)) << value;
            value = std::nextafter(value, bound * 2.0f);
        }
    }
    EXPECT_GT(compared, 100000);
}

// A text buffer with guard bytes on both sides; a conversion may touch only its 9 bytes.
class GuardedText {
public:
    GuardedText() { std::memset(area, kGuard, sizeof area); }
    char* text() { return area + kBefore; }
    ::testing::AssertionResult intact(std::size_t minLength, std::size_t maxLength) const
    {
        for (std::size_t at = 0; at < sizeof area; ++at) {
            const bool inside = at >= kBefore && at < kBefore + 9;
            if (!inside && area[at] != kGuard) {
                return ::testing::AssertionFailure()
                       << "byte " << static_cast<int>(at) - static_cast<int>(kBefore) << " written";
            }
        }
        const void* end = std::memchr(area + kBefore, '\0', 9);
        if (!end) {
            return ::testing::AssertionFailure() << "no terminator within 9 bytes";
        }
        const auto length = static_cast<std::size_t>(static_cast<const char*>(end) - (area + kBefore));
        if (length < minLength || length > maxLength) {
            return ::testing::AssertionFailure() << "length " << length;
        }
        return ::testing::AssertionSuccess();
    }

private:
    static constexpr char kGuard = 0x5A;
    static constexpr std::size_t kBefore = 16;
    char area[48];
};

TEST(ValueText, NoConversionWritesMoreThanNineBytes)
{
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 kNaN,
                                 -kNaN,
                                 kInfinity,
                                 -kInfinity,
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::lowest(),
                                 std::numeric_limits<float>::min(),
                                 -std::numeric_limits<float>::min(),
                                 std::numeric_limits<float>::denorm_min(),
                                 -std::numeric_limits<float>::denorm_min(),
                                 99999999.0f,
                                 99999992.0f,
                                 -9999999.0f,
                                 -10000000.0f,
                                 2147483648.0f,
                                 -2147483648.0f};
    std::mt19937 random(7);
    for (int draw = 0; draw < 200000; ++draw) {
        values.push_back(floatFromBits(static_cast<std::uint32_t>(random())));
    }
    const float rates[] = {44100.0f,
                           0.0f,
                           -0.0f,
                           kNaN,
                           kInfinity,
                           -kInfinity,
                           std::numeric_limits<float>::denorm_min(),
                           std::numeric_limits<float>::max(),
                           -48000.0f};

    const FloatConversion conversions[] = {&EffectBase::floatToString, &EffectBase::dbToString, &EffectBase::hzToString,
                                           &EffectBase::msToString};
    PlainEffect effect;
    std::size_t next = 0;
    for (float value : values) {
        effect.setSampleRate(rates[next++ % std::size(rates)]);
        for (FloatConversion conversion : conversions) {
            GuardedText guarded;
            (effect.*conversion)(value, guarded.text());
            ASSERT_TRUE(guarded.intact(8, 8)) << "value " << value << " rate " << effect.getSampleRate();
        }
    }

    std::vector<std::int32_t> integers = {0,
                                          -1,
                                          std::numeric_limits<std::int32_t>::min(),
                                          std::numeric_limits<std::int32_t>::max(),
                                          99999999,
                                          100000000,
                                          -9999999,
                                          -10000000};
    for (int draw = 0; draw < 200000; ++draw) {
        integers.push_back(static_cast<std::int32_t>(random()));
    }
    for (std::int32_t value : integers) {
        GuardedText guarded;
        effect.longToString(value, guarded.text());
        ASSERT_TRUE(guarded.intact(7, 8)) << "value " << value;
    }
}

} // namespace

namespace {

// Rounded to the nearest, halves away from zero, from the value the float holds: 0.125 and
// 2.5 are exact halves, 0.15f lies above its half and 0.35f below it.
TEST(ValueText, UnitTextRoundsTheStoredValueAndFitsEightCharacters)
{
    const struct {
        float value;
        int decimals;
        const char* unit;
        const char* text;
    } rows[] = {
        {11.0f, 1, "x", "11.0 x"},      {1.4f, 1, "x", "1.4 x"},       {-6.0f, 1, "dB", "-6.0 dB"},
        {-24.0f, 1, "dB", "-24.0 dB"},  {24.0f, 1, "dB", "24.0 dB"},   {50.0f, 0, "%", "50 %"},
        {99.5f, 0, "%", "100 %"},       {2.5f, 0, "%", "3 %"},         {-2.5f, 0, "%", "-3 %"},
        {0.125f, 2, "", "0.13"},        {0.15f, 1, "", "0.2"},         {0.35f, 1, "", "0.3"},
        {-0.04f, 1, "dB", "0.0 dB"},    {-0.0f, 2, "", "0.00"},        {0.999f, 2, "", "1.00"},
        {1234567.0f, 0, "", "1234567"}, {123456.0f, 1, "dB", kHuge.c_str()}, {kNaN, 1, "x", kHuge.c_str()},
        {kInfinity, 0, "", kHuge.c_str()}, {-kInfinity, 0, "", kHuge.c_str()}, {1.0f, 7, "", "1.000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        char text[32];
        std::memset(text, '#', sizeof text);
        unitText(row.value, row.decimals, row.unit, text);
        EXPECT_STREQ(text, row.text);
        EXPECT_EQ(text[9], '#');
    }
}

} // namespace
