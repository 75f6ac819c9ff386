#include "effect_base.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kTextWidth = 8;

// The digit in x's units place: fmod(x, 10) cut toward zero. NaN has no digits and shows 0.
char unitsDigit(double x)
{
    const double digit = std::fmod(x, 10.0);
    return digit >= 0.0 && digit < 10.0 ? static_cast<char>('0' + static_cast<int>(digit)) : '0';
}

// Rounds to float32 as IEEE does; a magnitude that rounds past the largest float becomes
// infinite here explicitly rather than through an out-of-range conversion.
float toFloat(double x)
{
    constexpr double halfwayPastLargest = 0x1.ffffffp+127;
    if (x >= halfwayPastLargest) {
        return std::numeric_limits<float>::infinity();
    }
    if (x <= -halfwayPastLargest) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(x);
}

void copyText(const char* source, char* text)
{
    std::memcpy(text, source, std::strlen(source) + 1);
}

} // namespace

// gain dB = 20 * log10(gain); zero, negative and NaN gains are minus infinity.
void EffectBase::dbToString(float gain, char* text)
{
    if (!(gain > 0.0f)) {
        copyText(kMinusInfinityDbText, text);
        return;
    }
    floatToString(toFloat(20.0 * std::log10(static_cast<double>(gain))), text);
}

// Hz = sample rate / period in samples; a period of zero (or NaN) shows 0.
void EffectBase::hzToString(float samples, char* text)
{
    const double rate = getSampleRate();
    if (samples == 0.0f || std::isnan(samples)) {
        floatToString(0.0f, text);
        return;
    }
    floatToString(toFloat(rate / static_cast<double>(samples)), text);
}

// ms = samples * 1000 / sample rate; a rate of 0 follows IEEE division.
void EffectBase::msToString(float samples, char* text)
{
    const double product = static_cast<double>(samples) * 1000.0;
    floatToString(toFloat(product / static_cast<double>(getSampleRate())), text);
}

// Eight characters: the digits of the exact stored value, cut off (never rounded) after the
// last position that fits. NaN counts as negative with every digit 0.
void EffectBase::floatToString(float value, char* text)
{
    double v = value;
    const bool negative = v < 0.0 || std::isnan(v);
    if (negative) {
        v = -v;
        if (v > 9999999.0) {
            copyText(kOverRangeText, text);
            return;
        }
    } else if (v > 99999999.0) {
        copyText(kOverRangeText, text);
        return;
    }

    // The integer half, built right to left: terminator last, the point before it, then the
    // integer digits least significant first, then the sign.
    char work[32];
    std::size_t start = sizeof work - 1;
    work[start] = '\0';
    work[--start] = '.';
    const std::size_t point = start;
    double integerPart = std::floor(v);
    do {
        work[--start] = unitsDigit(integerPart);
        integerPart /= 10.0;
    } while (integerPart >= 1.0);
    if (negative) {
        work[--start] = '-';
    }
    const std::size_t integerHalf = point + 1 - start;

    // Eight integer digits, or a sign and seven, fill the text: the digits stand without the point.
    if (integerHalf > kTextWidth) {
        work[point] = '\0';
        std::memcpy(text, work + start, integerHalf);
        return;
    }
    std::memcpy(text, work + start, integerHalf + 1);

    const std::size_t decimals = kTextWidth - integerHalf;
    if (decimals == 0) {
        return;
    }
    constexpr double powersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0};
    double scaled = std::fmod(v, 1.0) * powersOfTen[decimals];
    for (std::size_t position = kTextWidth; position-- > integerHalf;) {
        if (scaled > 0.0) {
            text[position] = unitsDigit(scaled);
            scaled /= 10.0;
        } else {
            text[position] = '0';
        }
    }
    text[kTextWidth] = '\0';
}

// Right-aligned in seven places; nine or more integer digits (or a sign and eight) do not fit.
void EffectBase::longToString(std::int32_t value, char* text)
{
    if (value >= 100000000 || value < -9999999) {
        copyText(kOverRangeText, text);
        return;
    }
    char work[32];
    std::snprintf(work, sizeof work, "%7d", static_cast<int>(value));
    copyText(work, text);
}
