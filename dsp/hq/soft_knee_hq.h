// SoftKneeShaper HQ: the soft-knee curve of soft_knee.h without audible aliasing and without
// clicks, as a format-free stereo processor that a plug-in format wraps.
//
// What a format may rely on:
// - Controls in real units, each limited to its range when set (NaN gives the initial value,
//   infinities the nearer end), and each gliding to its new value over kGlideSeconds, so
//   that no setting steps. A Quality change crossfades from the old path to the new one.
// - A constant latency, hqLatencyFrames(sampleRate) frames at every Quality: at a linear
//   setting (Knee 1, Boost 1, Mix 100 %, Output 0 dB, input below full scale) the output is
//   the input delayed by exactly that many frames, within the filters' passband ripple.
// - process() takes any frame count, 0 included, and runs it in pieces of at most
//   kHqPieceFrames; an output buffer may be the same memory as an input buffer. A non-finite
//   input sample is taken as 0, so NaN and infinity never stick, and finite input never
//   gives a non-finite output; a subnormal one as a zero of its sign.
// - The same output bits on every target and instruction set, whatever floating-point mode
//   the caller runs in: prepare, reset, setQuality and process compute in the core's own
//   environment and give the caller's back as they found it, flags included
//   (hq_float_environment.h); no setter raises a flag.
//
// Design (what each part does is told in its own file): the boosted signal is raised to the
// chosen rate by linear-phase half-band stages (hq_oversampling.h), bent by the curve through
// first-order antiderivative anti-aliasing (hq_antiderivative.h), brought back down by a
// droop-compensating decimator and the half-band stages, then scaled by Output and mixed with
// the dry signal delayed by the latency. The parameters glide linearly, once per frame
// (hq_glide.h). The loops run in vector kernels (hq_kernels.h).
//
// After the mix, three stages a mix needs: the auto gain scales the shaped signal by a gain
// that depends on Boost, Knee and Hardness alone (hq_auto_gain.h) and glides with them; the
// ceiling holds every output sample within +-its level, a clip at the base rate after the
// down-sampler, so that the filters' ringing cannot pass it; the bypass crossfades to the dry
// signal delayed by the same latency, and once faded out stops running the paths.
#pragma once

#include "hq_quality.h"

#include <atomic>
#include <cstdint>
#include <memory>

// A control's range in the units a host shows.
struct HqControlRange {
    float minimum;
    float maximum;
    float initial;
};

inline constexpr HqControlRange kHqBoost{1.0f, 11.0f, 1.0f};         // gain before the curve, times
inline constexpr HqControlRange kHqKnee{0.0f, 1.0f, 0.5f};           // threshold on the boosted signal
inline constexpr HqControlRange kHqHardness{0.0f, 1.0f, 0.0f};       // 1 - the curve's slope at the knee
inline constexpr HqControlRange kHqOutputDb{-24.0f, 24.0f, 0.0f};    // gain of the shaped signal, dB
inline constexpr HqControlRange kHqMixPercent{0.0f, 100.0f, 100.0f}; // shaped share of the output
inline constexpr HqControlRange kHqQuality{0.0f, 4.0f, 3.0f};        // an HqQuality, as its index
inline constexpr HqControlRange kHqAutoGain{0.0f, 1.0f, 0.0f};       // off below 1/2, on from there
inline constexpr HqControlRange kHqCeilingDb{-12.0f, 1.0f, 1.0f};    // output limit, dBFS; off above 0

// [any thread] The processor's constant delay in frames at sampleRate, the same at every Quality.
std::int32_t hqLatencyFrames(double sampleRate) noexcept;

// How long a control takes to reach a new value, and how long a Quality change and the
// bypass fade.
inline constexpr double kHqGlideSeconds = 0.02;
inline constexpr double kHqQualityFadeSeconds = 0.01;
inline constexpr double kHqBypassFadeSeconds = 0.01;

class SoftKneeHq {
public:
    // [main thread] Makes every buffer the processor will use and prepares it for sampleRate.
    explicit SoftKneeHq(double sampleRate);
    ~SoftKneeHq();
    SoftKneeHq(const SoftKneeHq&) = delete;
    SoftKneeHq& operator=(const SoftKneeHq&) = delete;

    // [main thread, never during process] Takes a new sample rate (limited to 8 kHz..1.536 MHz;
    // NaN gives 48 kHz) and resets. Allocates nothing.
    void prepare(double sampleRate) noexcept;

    // [audio or main thread, never during process] Clears every filter and delay, puts each
    // control at its last set value without a glide and the Quality in use at the set one.
    void reset() noexcept;

    // [any thread] Each stores one relaxed 32-bit value, limited to the control's range; the
    // processor takes it at the start of its next piece and glides there.
    void setBoost(float times) noexcept;
    void setKnee(float knee) noexcept;
    void setHardness(float hardness) noexcept;
    void setOutputDb(float decibels) noexcept;
    void setMixPercent(float percent) noexcept;
    // The index of an HqQuality; a fraction is rounded to the nearest.
    void setQuality(float index) noexcept;
    // On from 1/2: the shaped signal scaled so that a sine at -16 dBFS RMS keeps its RMS.
    void setAutoGain(float on) noexcept;
    // dBFS from -12 to 0; above 0 the ceiling is off. The bypass fades to the input as it is.
    void setCeilingDb(float decibels) noexcept;
    // Fades to the input delayed by the latency over kHqBypassFadeSeconds, or back.
    void setBypass(bool bypassed) noexcept;

    // [any thread] The Quality whose path is heard, or is fading in, now.
    HqQuality qualityInUse() const noexcept;

    // [audio thread] no allocation, no locks. Writes frames shaped frames of both channels.
    // Both input samples of a frame are read before either output of it is written.
    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                 std::int32_t frames) noexcept;

private:
    // Puts every control at its set value without a glide.
    void settleControls() noexcept;
    // The auto gain for the set controls, worked out again only when one has changed.
    double autoGainTarget() noexcept;
    // Takes a new ceiling setting: a glide between two levels, or at once.
    void takeCeiling(bool glide) noexcept;

    struct State;
    std::unique_ptr<State> state_;
    std::atomic<float> boost_{kHqBoost.initial};
    std::atomic<float> knee_{kHqKnee.initial};
    std::atomic<float> hardness_{kHqHardness.initial};
    std::atomic<float> outputDb_{kHqOutputDb.initial};
    std::atomic<float> mixPercent_{kHqMixPercent.initial};
    std::atomic<std::int32_t> quality_{static_cast<std::int32_t>(kHqQuality.initial)};
    std::atomic<std::int32_t> qualityInUse_{static_cast<std::int32_t>(kHqQuality.initial)};
    std::atomic<float> autoGain_{kHqAutoGain.initial};
    std::atomic<float> ceilingDb_{kHqCeilingDb.initial};
    std::atomic<std::int32_t> bypass_{0};
};
