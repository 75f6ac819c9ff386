// Written by tools/design-hq.py; change the script and run it again rather than editing
// these numbers.
#pragma once

// P(z) of ln((1 + s) / (1 - s)) = 2s + s z P(z), z = s^2, |s| <= 3 - 2 sqrt 2, lowest power first;
// the logarithm so formed is within 4.5e-18 of the exact one before rounding.
inline constexpr double kHqLogSeries[7] = {
    0x1.555555555555dp-1,
    0x1.99999999941a5p-2,
    0x1.2492492f15fa7p-2,
    0x1.c71c61d63e6eap-3,
    0x1.7462f18980717p-3,
    0x1.39f7d47d148afp-3,
    0x1.2b9d7b6d2975ap-3,
};
