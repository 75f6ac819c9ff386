// A level meter's feed from the audio thread to the editor: the audio thread raises the peak
// held here with each block's, and the editor takes it at each idle call, leaving zero. One
// relaxed 32-bit atomic, so neither side waits for the other, and a block whose peak arrives
// just after the editor took the last one shows at the next idle.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

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
    // Without a branch on the sample (on noise a branch on its sign mispredicts every other
    // sample, which cost the LV2 plug-in at 1x more than its curve) and in eight running
    // peaks, which the compiler may keep in one vector: the largest of values that are never
    // NaN nor negative is the same whatever order they are compared in.
    static float peakOf(const float* samples, int count) noexcept
    {
        constexpr int kRunning = 8;
        float peaks[kRunning] = {};
        int i = 0;
        for (; i + kRunning <= count; i += kRunning) {
            for (int j = 0; j < kRunning; ++j) {
                peaks[j] = raised(peaks[j], samples[i + j]);
            }
        }
        for (; i < count; ++i) {
            peaks[0] = raised(peaks[0], samples[i]);
        }
        float peak = 0.0f;
        for (const float running : peaks) {
            peak = running > peak ? running : peak;
        }
        return peak;
    }

private:
    // peak, or the sample's magnitude where that is larger and finite.
    static float raised(float peak, float sample) noexcept
    {
        const float magnitude = std::bit_cast<float>(std::bit_cast<std::uint32_t>(sample) & 0x7fffffffu);
        const float finite = magnitude <= 3.4e38f ? magnitude : 0.0f;
        return finite > peak ? finite : peak;
    }

    std::atomic<float> peak_{0.0f};
    static_assert(std::atomic<float>::is_always_lock_free);
};
