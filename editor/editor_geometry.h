// Directions for the editor's knobs from + - * / only, so that the pixels they decide come out
// the same on every target: no library sine or arc tangent, whose last bits may differ.
//
// A direction is measured in turns clockwise on the screen from straight down, so a knob's
// travel from 1/8 turn (lower left) through straight up to 7/8 (lower right) is a growing number.
#pragma once

namespace editor_geometry {

inline constexpr double kPi = 3.14159265358979323846;

// sin a for |a| <= pi / 2, by its series to the a^17 term (error below 1e-15).
inline double sineNear(double a) noexcept
{
    const double a2 = a * a;
    double term = a;
    double sum = a;
    for (int n = 2; n <= 16; n += 2) {
        term = -term * a2 / static_cast<double>(n * (n + 1));
        sum += term;
    }
    return sum;
}

// sin a for |a| <= pi.
inline double sine(double a) noexcept
{
    if (a > kPi / 2) {
        return sineNear(kPi - a);
    }
    if (a < -kPi / 2) {
        return sineNear(-kPi - a);
    }
    return sineNear(a);
}

struct Direction {
    double dx; // right on the screen
    double dy; // down on the screen
};

// The unit vector turn turns clockwise from straight down, for turn in 0..1.
inline Direction directionOfTurn(double turn) noexcept
{
    const double t = turn > 0.5 ? turn - 1.0 : turn; // -1/2..1/2
    const double a = 2.0 * kPi * t;
    const double c = sine(a + (a > kPi / 2 ? -1.5 * kPi : kPi / 2)); // cos a
    return {-sine(a), c};
}

// A number from 0 to 4 that grows with the direction of (dx, dy) clockwise from straight down,
// as the turn does but not in proportion to it: enough to tell which of two directions comes
// first. (0, 0) gives 0.
inline double directionOrder(double dx, double dy) noexcept
{
    // Down is the first axis, left the second: turning clockwise on the screen is turning
    // counter-clockwise in these axes, the "diamond angle" of (down, left).
    const double x = dy;
    const double y = -dx;
    if (x == 0.0 && y == 0.0) {
        return 0.0;
    }
    if (y >= 0.0) {
        return x >= 0.0 ? y / (x + y) : 1.0 - x / (-x + y);
    }
    return x < 0.0 ? 2.0 - y / (-x - y) : 3.0 + x / (x - y);
}

} // namespace editor_geometry
