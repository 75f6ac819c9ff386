// A control's glide to a new value: a straight line over a fixed number of frames that ends
// exactly on the target, so a setting never steps and a glide always arrives.
#pragma once

#include <cstdint>

class HqGlide {
public:
    // Puts the value at target at once.
    void jump(double target) noexcept
    {
        value_ = target;
        target_ = target;
        step_ = 0.0;
        remaining_ = 0;
    }

    // Starts a glide from where the value is now, unless target is already the goal.
    void glideTo(double target, std::int32_t frames) noexcept
    {
        if (target == target_) {
            return;
        }
        target_ = target;
        if (frames <= 1) {
            jump(target);
            return;
        }
        step_ = (target - value_) / static_cast<double>(frames);
        remaining_ = frames;
    }

    // The value for the next frame.
    double next() noexcept
    {
        if (remaining_ > 0) {
            --remaining_;
            value_ = remaining_ == 0 ? target_ : value_ + step_;
        }
        return value_;
    }

    bool gliding() const noexcept { return remaining_ > 0; }
    double value() const noexcept { return value_; }

private:
    double value_ = 0.0;
    double target_ = 0.0;
    double step_ = 0.0;
    std::int32_t remaining_ = 0;
};

// 10^(decibels / 20) for decibels within +-300, from + - * / only: 2^x with x split into an
// integer, applied to the exponent, and a fraction of at most 1/2, through the exponential
// series to the term below 1e-17.
inline double hqDecibelsToGain(double decibels) noexcept
{
    constexpr double kLog2Of10Over20 = 0x1.542a5a12e1c5bp-3; // log2(10) / 20
    constexpr double kLn2 = 0x1.62e42fefa39efp-1;
    const double x = decibels * kLog2Of10Over20;
    const auto whole = static_cast<std::int32_t>(x + 1024.5) - 1024; // nearest integer
    const double y = (x - static_cast<double>(whole)) * kLn2;        // |y| <= ln 2 / 2
    double series = 1.0;
    for (std::int32_t k = 14; k >= 1; --k) {
        series = 1.0 + series * y / static_cast<double>(k);
    }
    double power = 1.0;
    for (std::int32_t k = 0; k < (whole < 0 ? -whole : whole); ++k) {
        power *= whole < 0 ? 0.5 : 2.0;
    }
    return series * power;
}
