// A level meter's feed from the audio thread to the editor: the audio thread raises the peak
// held here with each block's, and the editor takes it at each idle call, leaving zero. One
// relaxed 32-bit atomic, so neither side waits for the other, and a block whose peak arrives
// just after the editor took the last one shows at the next idle.
#pragma once

#include <atomic>

class PeakMeter {
public:
    // [audio thread] no allocation, no locks: raises the held peak to peak when it is higher.
    void raise(float peak) noexcept
    {
        float held = peak_.load(std::memory_order_relaxed);
        while (peak > held && !peak_.compare_exchange_weak(held, peak, std::memory_order_relaxed)) {
        }
    }

    // [ui thread] The highest peak since the last take.
    float take() noexcept { return peak_.exchange(0.0f, std::memory_order_relaxed); }

    // The largest magnitude among count samples; a non-finite sample counts as silence, as the core takes it.
    static float peakOf(const float* samples, int count) noexcept
    {
        float peak = 0.0f;
        for (int i = 0; i < count; ++i) {
            const float magnitude = samples[i] < 0.0f ? -samples[i] : samples[i];
            peak = magnitude > peak && magnitude <= 3.4e38f ? magnitude : peak;
        }
        return peak;
    }

private:
    std::atomic<float> peak_{0.0f};
    static_assert(std::atomic<float>::is_always_lock_free);
};
