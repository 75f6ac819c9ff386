// A parameter's value in its own unit, as a host's generic display shows it: "11.0 x",
// "-6.0 dB", "50 %", "0.50". The effect_base.h conversions show every number in the same
// eight-character form; this one lets each parameter choose its places and its unit.
#pragma once

#include <string_view>

// [any thread] Writes value rounded to decimals places (0 to 3), halves away from zero, then
// a space and unit when unit is not empty. A value that rounds to zero has no minus sign. The
// text has at most 8 characters and a NUL, so text must hold 9 bytes; a NaN, an infinity or
// a text that would be longer gives kOverRangeText. The digits are worked out here, exactly,
// so every target writes the same text.
void unitText(float value, int decimals, std::string_view unit, char* text);
