// A fixed delay of kDelay samples for pieces of up to kHqPieceFrames: each piece's fresh samples
// are written after the kDelay before them, and the window from the oldest of those reads the
// piece delayed. The window slides along a buffer several pieces long, so that the kept samples
// move to its front once every few pieces instead of after each one.
#pragma once

#include "hq_quality.h"

#include <cstdint>
#include <cstring>

template <std::int32_t kDelay> class HqDelayLine {
public:
    // Silence before the first piece.
    void clear() noexcept
    {
        std::memset(samples_, 0, sizeof(float) * static_cast<std::size_t>(kDelay));
        start_ = 0;
    }

    // Where the next piece's fresh samples go.
    float* fresh() noexcept { return samples_ + start_ + kDelay; }
    // The samples kDelay before the fresh ones, as many as were written.
    const float* delayed() const noexcept { return samples_ + start_; }

    // After a piece of count fresh samples: the window moves past them.
    void advance(std::int32_t count) noexcept
    {
        start_ += count;
        if (start_ + kDelay + kHqPieceFrames > kLength) {
            std::memmove(samples_, samples_ + start_, sizeof(float) * static_cast<std::size_t>(kDelay));
            start_ = 0;
        }
    }

private:
    static constexpr std::int32_t kLength = kDelay + 8 * kHqPieceFrames;
    float samples_[kLength];
    std::int32_t start_ = 0;
};
