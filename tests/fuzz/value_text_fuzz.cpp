// The five value-to-text conversions from arbitrary bits and sample rates. Every text has
// at most 8 characters and a NUL, nothing is written past the 9th byte of the buffer, and
// where the text is settled it equals the text of a second, independent implementation of
// the digit rules: exact integer arithmetic on the float's bits instead of floor and fmod.

#include "effect_base.h"
#include "fuzz_input.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

constexpr std::size_t kBufferSize = 64;
constexpr std::size_t kTextBytes = 9;
constexpr unsigned char kGuard = 0xA5;

class TextEffect final : public EffectBase {
public:
    TextEffect() : EffectBase(nullptr, 1, 0) {}
    void process(float**, float**, std::int32_t) override {}
};

// The float32 nearest x under round-to-nearest-even, overflowing to an infinity.
float nearestFloat(double x)
{
    constexpr double firstRoundingToInfinity = 0x1.ffffffp+127;
    if (x >= firstRoundingToInfinity) {
        return std::numeric_limits<float>::infinity();
    }
    if (x <= -firstRoundingToInfinity) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(x);
}

// floor(|value| * 10^decimals), exactly, from the float's significand and exponent.
// Callers keep the result below 10^8.
std::uint64_t scaledMagnitude(float value, int decimals)
{
    int exponent = 0;
    const float fraction = std::frexp(std::fabs(value), &exponent); // |value| = fraction * 2^exponent
    auto significand = static_cast<std::uint64_t>(std::ldexp(fraction, 24));
    exponent -= 24;
    for (int i = 0; i < decimals; ++i) {
        significand *= 10;
    }
    if (exponent >= 0) {
        return significand << exponent;
    }
    return -exponent >= 64 ? 0 : significand >> -exponent;
}

int decimalDigits(std::uint64_t n)
{
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

// The 8-character text of value, or nothing where its text is the implementer's choice.
std::optional<std::string> referenceFloatText(float value)
{
    if (std::isnan(value)) {
        return std::string("-0.00000");
    }
    const bool negative = value < 0.0f;
    const double magnitude = std::fabs(static_cast<double>(value));
    if ((negative && magnitude > 9999999.0) || (!negative && magnitude > 99999999.0)) {
        return std::string(kOverRangeText);
    }
    const int integerDigits = decimalDigits(scaledMagnitude(value, 0));
    const int integerHalf = (negative ? 1 : 0) + integerDigits + 1;
    if (integerHalf > 8) {
        return std::nullopt;
    }
    const int decimals = 8 - integerHalf;
    // Right to left: the decimals, the point, the integer digits, the sign.
    std::uint64_t scaled = scaledMagnitude(value, decimals);
    char text[9] = {};
    int position = 8;
    for (int i = 0; i < decimals; ++i, scaled /= 10) {
        text[--position] = static_cast<char>('0' + scaled % 10);
    }
    text[--position] = '.';
    for (int i = 0; i < integerDigits; ++i, scaled /= 10) {
        text[--position] = static_cast<char>('0' + scaled % 10);
    }
    if (negative) {
        text[--position] = '-';
    }
    return std::string(text);
}

// "%7d" by hand: digits right-aligned with spaces in 7 places; over range from 10^8 on,
// and the implementer's choice below -9999999.
std::optional<std::string> referenceLongText(std::int32_t value)
{
    if (value >= 100000000) {
        return std::string(kOverRangeText);
    }
    if (value < -9999999) {
        return std::nullopt;
    }
    std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0) {
        text.insert(text.begin(), '-');
    }
    if (text.size() < 7) {
        text.insert(text.begin(), 7 - text.size(), ' ');
    }
    return text;
}

enum Conversion : std::uint8_t { kDb, kHz, kMs, kFloat, kLong, kConversions };

std::optional<std::string> referenceText(Conversion conversion, std::uint32_t bits, float sampleRate)
{
    float number;
    std::memcpy(&number, &bits, sizeof number);
    switch (conversion) {
    case kDb:
        if (!(number > 0.0f)) {
            return std::string(kMinusInfinityDbText);
        }
        return referenceFloatText(nearestFloat(20.0 * std::log10(static_cast<double>(number))));
    case kHz:
        if (number == 0.0f || std::isnan(number)) {
            return referenceFloatText(0.0f);
        }
        return referenceFloatText(nearestFloat(static_cast<double>(sampleRate) / static_cast<double>(number)));
    case kMs:
        return referenceFloatText(nearestFloat(static_cast<double>(number) * 1000.0 / static_cast<double>(sampleRate)));
    case kFloat:
        return referenceFloatText(number);
    default:
        return referenceLongText(static_cast<std::int32_t>(bits));
    }
}

void convert(TextEffect& effect, Conversion conversion, std::uint32_t bits, char* text)
{
    float number;
    std::memcpy(&number, &bits, sizeof number);
    switch (conversion) {
    case kDb:
        effect.dbToString(number, text);
        break;
    case kHz:
        effect.hzToString(number, text);
        break;
    case kMs:
        effect.msToString(number, text);
        break;
    case kFloat:
        effect.floatToString(number, text);
        break;
    default:
        effect.longToString(static_cast<std::int32_t>(bits), text);
        break;
    }
}

} // namespace

// Each 9-byte record: which conversion, the number's 32 bits, the sample rate's 32 bits.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    TextEffect effect;
    do {
        const auto conversion = static_cast<Conversion>(input.take<std::uint8_t>() % kConversions);
        const auto bits = input.take<std::uint32_t>();
        const auto sampleRate = input.take<float>();
        effect.setSampleRate(sampleRate);

        unsigned char buffer[kBufferSize];
        std::memset(buffer, kGuard, sizeof buffer);
        char* text = reinterpret_cast<char*>(buffer);
        convert(effect, conversion, bits, text);

        for (std::size_t i = kTextBytes; i < kBufferSize; ++i) {
            FUZZ_REQUIRE(buffer[i] == kGuard, "a byte written past the 9th");
        }
        FUZZ_REQUIRE(std::memchr(buffer, '\0', kTextBytes) != nullptr, "more than 8 characters");
        if (const std::optional<std::string> expected = referenceText(conversion, bits, sampleRate)) {
            if (*expected != text) {
                std::fprintf(stderr, "conversion %d of 0x%08x at rate %a: \"%s\", expected \"%s\"\n",
                             static_cast<int>(conversion), static_cast<unsigned>(bits), static_cast<double>(sampleRate),
                             text, expected->c_str());
            }
            FUZZ_REQUIRE(*expected == text, "text differs from the digit rules");
        }
    } while (input.remaining() > 0);
    return 0;
}
