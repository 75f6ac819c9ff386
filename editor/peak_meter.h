// A level meter's feed from the audio thread to the editor: the audio thread raises the peak
// held here with each block's, and the editor takes it at each idle call, leaving zero. One
// relaxed 32-bit atomic, so neither side waits for the other, and a block whose peak arrives
// just after the editor took the last one shows at the next idle.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

#include <emmintrin.h>

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
    // sample, which cost the LV2 plug-in at 1x more than its curve) and in four running peaks
    // of four lanes each, so that no maximum waits on the one before: the largest of values
    // that are never NaN nor negative is the same whatever order they are compared in.
    static float peakOf(const float* samples, int count) noexcept
    {
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        const __m128 largest = _mm_set1_ps(3.4e38f);
        const auto raise = [&](__m128 peaks, const float* four) {
            const __m128 m = _mm_and_ps(_mm_loadu_ps(four), magnitude);
            return _mm_max_ps(peaks, _mm_and_ps(m, _mm_cmple_ps(m, largest)));
        };
        __m128 a = _mm_setzero_ps();
        __m128 b = a;
        __m128 c = a;
        __m128 d = a;
        int i = 0;
        for (; i + 16 <= count; i += 16) {
            a = raise(a, samples + i);
            b = raise(b, samples + i + 4);
            c = raise(c, samples + i + 8);
            d = raise(d, samples + i + 12);
        }
        float lanes[4];
        _mm_storeu_ps(lanes, _mm_max_ps(_mm_max_ps(a, b), _mm_max_ps(c, d)));
        float peak = 0.0f;
        for (const float running : lanes) {
            peak = running > peak ? running : peak;
        }
        for (; i < count; ++i) {
            peak = raised(peak, samples[i]);
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
