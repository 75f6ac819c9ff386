#include "unit_text.h"

#include "effect_base.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t kTextWidth = 8;
constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0};

} // namespace

void unitText(float value, int decimals, std::string_view unit, char* text)
{
    decimals = decimals < 0 ? 0 : (decimals > 3 ? 3 : decimals);
    const double magnitude = std::fabs(static_cast<double>(value));
    // Beyond 1e8 nothing fits; below it a float times 1000 is exact in a double, and so is
    // the half added, so the rounding is that of the value the float holds.
    if (!(magnitude < 1e8) || unit.size() > kTextWidth) {
        std::memcpy(text, kOverRangeText, sizeof kOverRangeText);
        return;
    }
    const auto units = static_cast<std::uint64_t>(std::floor(magnitude * kPowersOfTen[decimals] + 0.5));

    // Built right to left: the unit, the decimals, the point, the integer digits, the sign;
    // at most 8 + 1 + 3 + 1 + 12 + 1 characters.
    char work[32];
    std::size_t start = sizeof work;
    const auto put = [&](char c) { work[--start] = c; };
    for (std::size_t i = unit.size(); i-- > 0;) {
        put(unit[i]);
    }
    if (!unit.empty()) {
        put(' ');
    }
    std::uint64_t rest = units;
    for (int place = 0; place < decimals; ++place) {
        put(static_cast<char>('0' + rest % 10));
        rest /= 10;
    }
    if (decimals > 0) {
        put('.');
    }
    do {
        put(static_cast<char>('0' + rest % 10));
        rest /= 10;
    } while (rest != 0);
    if (value < 0.0f && units != 0) {
        put('-');
    }
    const std::size_t length = sizeof work - start;
    if (length > kTextWidth) {
        std::memcpy(text, kOverRangeText, sizeof kOverRangeText);
        return;
    }
    std::memcpy(text, work + start, length);
    text[length] = '\0';
}
