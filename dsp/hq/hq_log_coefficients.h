// Written by tools/design-hq.py; change the script and run it again rather than editing
// these numbers.
#pragma once

// P(z) of ln((1 + s) / (1 - s)) = 2s + s z P(z), z = s^2, |s| <= 3 - 2 sqrt 2, lowest power first;
// the logarithm so formed is within 4.6e-18 of the exact one before rounding.
inline constexpr double kHqLogSeries[7] = {
    0x1.5555555555558p-1,
    0x1.9999999995288p-2,
    0x1.2492492df9f94p-2,
    0x1.c71c62dba6605p-3,
    0x1.7462b73112de7p-3,
    0x1.39fe142880193p-3,
    0x1.2b5baa716e7eap-3,
};
