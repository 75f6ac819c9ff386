// One channel's way through the curve at one Quality: up by half-band stages to the curve's
// rate, the anti-aliased curve there, and down again to the base rate.
//
// Contract: for the same boosted input, curves and Quality, every target and every instruction
// set gives the same output bits. The delay from input to output is kHqPathDelayFrames base
// frames at every Quality: at a straight part of the curve the output is the input delayed by
// exactly that much, within the filters' ripple (about 1e-5).
//
// Design. Filters are linear-phase FIRs in float (hq_filter_coefficients.h, made by
// tools/design-hq.py). Going up, half-band stage k (k = 1..4) doubles the rate to
// 2^k times the base rate: every other output is a copy of an input, the rest sum tap pairs.
// The curve runs through first-order ADAA, which on a straight line is the filter
// (x[n] + x[n-1]) / 2: half a sample of delay and a droop of cos(w / 2). Going down, the first
// stage is an even-length decimator made for each rate, whose own half-sample delay completes
// that half sample and whose passband undoes the droop; the half-band stages then take the
// rest of the way. Each decimator takes its outputs at a fixed lag into its input, chosen per
// Quality so that every Quality has the same whole delay at the base rate. 1x runs the plain
// curve at the base rate behind a delay line of that length.
//
// Every stage keeps its input in a line: the history its taps reach back into, followed by
// the fresh samples of the current piece; after the piece the line keeps its last samples.
#pragma once

#include "hq_antiderivative.h"
#include "hq_delay_line.h"
#include "hq_kernels.h"
#include "hq_quality.h"

#include <cstdint>
#include <cstring>

// The delay of every path, in base frames.
inline constexpr std::int32_t kHqPathDelayFrames = 84;

// How many base frames after a clear a path's output is the same, bit for bit, as that of a
// path that never stopped: the frames its filters and delay lines reach back over.
inline constexpr std::int32_t kHqPathMemoryFrames = 192;

// Each line's fresh samples start on a 64-byte boundary, so that the stage writing them stores
// whole vectors and the curve's runs load them whole; the history sits just before.
template <std::int32_t kHistory, std::int32_t kFresh> struct HqLine {
    static constexpr std::int32_t kFront = (kHistory + 15) / 16 * 16;
    alignas(64) float samples[kFront + kFresh];
    std::int32_t history; // samples kept before the fresh ones, at most kHistory

    float* fresh() noexcept { return samples + kFront; }
    void clear(std::int32_t keep) noexcept
    {
        std::memset(samples, 0, sizeof(samples));
        history = keep;
    }
    // Keeps the last `history` samples after `count` fresh ones were used.
    void advance(std::int32_t count) noexcept
    {
        float* const oldest = samples + (kFront - history);
        std::memmove(oldest, oldest + count, static_cast<std::size_t>(history) * sizeof(float));
    }
};

class HqChannelPath {
public:
    // Sets the Quality and the kernels to run and clears every line.
    void configure(HqQuality quality, HqKernel kernel) noexcept;
    HqQuality quality() const noexcept { return quality_; }

    // [audio thread] frames (1..kHqPieceFrames) boosted base-rate samples through the path.
    // curves[i] holds for frame i; changed[i] says that it differs from frame i - 1's.
    void run(const float* boosted, const HqCurve* curves, const bool* changed, std::int32_t frames,
             float* out) noexcept;

private:
    static constexpr std::int32_t kP = kHqPieceFrames;
    const HqKernelSet* kernels_ = nullptr;
    HqQuality quality_ = HqQuality::x8;
    std::int32_t factor_ = 8;
    std::int32_t decimatorLag_ = 0;
    std::int32_t firstStageLag_ = 0;
    // Going up: the input of the stage to 2x, 4x, 8x and 16x.
    HqLine<77, kP> up2_;
    HqLine<11, 2 * kP> up4_;
    HqLine<7, 4 * kP> up8_;
    HqLine<5, 8 * kP> up16_;
    // The curve's input, its state (the last input and its antiderivative) and its scratch.
    alignas(64) float curveIn_[16 * kP];
    double curveState_[2] = {0.0, 0.0};
    alignas(64) double curveScratch_[kHqAdaaScratch(16 * kP)];
    // The decimators' inputs split into their two phases.
    alignas(64) float scratch_[2 * (8 * kP + 83)];
    // Going down: the input of the stage from 16x (or of the first decimator) and below.
    HqLine<174, 16 * kP> decimatorIn_;
    HqLine<14, 8 * kP> down8_;
    HqLine<22, 4 * kP> down4_;
    HqLine<157, 2 * kP> down2_;
    // 1x: the boosted input delayed by the path's delay.
    HqDelayLine<kHqPathDelayFrames> plain_;
};
