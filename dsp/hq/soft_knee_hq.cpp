#include "soft_knee_hq.h"

#include "hq_antiderivative.h"
#include "hq_auto_gain.h"
#include "hq_delay_line.h"
#include "hq_float_environment.h"
#include "hq_glide.h"
#include "hq_kernels.h"
#include "hq_oversampling.h"

#include <emmintrin.h>

#include <bit>
#include <cstring>

namespace {

constexpr double kMinimumRate = 8000.0;
constexpr double kMaximumRate = 1536000.0;
constexpr double kDefaultRate = 48000.0;

bool isNaN(float x) noexcept
{
    return (std::bit_cast<std::uint32_t>(x) & 0x7fffffffu) > 0x7f800000u;
}

// Compares only numbers, so that no value a host sends raises a flag in its environment.
float limited(float value, const HqControlRange& range) noexcept
{
    if (isNaN(value)) {
        return range.initial;
    }
    return value < range.minimum ? range.minimum : (value > range.maximum ? range.maximum : value);
}

std::int32_t framesOf(double seconds, double rate) noexcept
{
    return static_cast<std::int32_t>(seconds * rate + 0.5);
}

HqQuality qualityOf(std::int32_t index) noexcept
{
    return static_cast<HqQuality>(index < 0 ? 0 : (index >= kHqQualityCount ? kHqQualityCount - 1 : index));
}

// dry = x made safe; boosted = dry within +-kHqLoudest, times each frame's boost in double and
// rounded: the kernel takes the input at a boost of 1, which holds it exactly, and the
// boosts follow two frames at a time with SSE2, which every target has.
void takeInput(const HqKernelSet& kernels, const float* x, const double* boosts, float* dry, float* boosted,
               std::int32_t frames) noexcept
{
    kernels.takeInput(x, 1.0f, dry, boosted, frames);
    std::int32_t i = 0;
    for (; i + 2 <= frames; i += 2) {
        const __m128d loud =
            _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(boosted + i))));
        const __m128d product = _mm_mul_pd(loud, _mm_loadu_pd(boosts + i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(boosted + i), _mm_castps_si128(_mm_cvtpd_ps(product)));
    }
    for (; i < frames; ++i) {
        boosted[i] = static_cast<float>(static_cast<double>(boosted[i]) * boosts[i]);
    }
}

// y = dry (1 - mix) + wet * gain * mix, two frames at a time as the scalar tail does each.
void mixOutput(const float* dry, const float* wet, const double* gains, const double* mixes, float* y,
               std::int32_t frames) noexcept
{
    const __m128d one = _mm_set1_pd(1.0);
    std::int32_t i = 0;
    for (; i + 2 <= frames; i += 2) {
        const __m128d d = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dry + i))));
        const __m128d w = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(wet + i))));
        const __m128d mix = _mm_loadu_pd(mixes + i);
        const __m128d sum =
            _mm_add_pd(_mm_mul_pd(d, _mm_sub_pd(one, mix)), _mm_mul_pd(_mm_mul_pd(w, _mm_loadu_pd(gains + i)), mix));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(y + i), _mm_castps_si128(_mm_cvtpd_ps(sum)));
    }
    for (; i < frames; ++i) {
        y[i] = static_cast<float>(static_cast<double>(dry[i]) * (1.0 - mixes[i]) +
                                  static_cast<double>(wet[i]) * gains[i] * mixes[i]);
    }
}

// mixOutput at a gain and a mix that hold for the whole piece.
void mixOutputAt(const float* dry, const float* wet, double gain, double mix, float* y, std::int32_t frames) noexcept
{
    const double dryShare = 1.0 - mix;
    const __m128d g = _mm_set1_pd(gain);
    const __m128d m = _mm_set1_pd(mix);
    const __m128d d1 = _mm_set1_pd(dryShare);
    std::int32_t i = 0;
    for (; i + 2 <= frames; i += 2) {
        const __m128d d = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dry + i))));
        const __m128d w = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(wet + i))));
        const __m128d sum = _mm_add_pd(_mm_mul_pd(d, d1), _mm_mul_pd(_mm_mul_pd(w, g), m));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(y + i), _mm_castps_si128(_mm_cvtpd_ps(sum)));
    }
    for (; i < frames; ++i) {
        y[i] = static_cast<float>(static_cast<double>(dry[i]) * dryShare + static_cast<double>(wet[i]) * gain * mix);
    }
}

// y held within +-ceiling, frame by frame.
void holdUnder(const float* ceilings, float* y, std::int32_t frames) noexcept
{
    for (std::int32_t i = 0; i < frames; ++i) {
        const float c = ceilings[i];
        y[i] = y[i] > c ? c : (y[i] < -c ? -c : y[i]);
    }
}

// y = y + b (dry - y), b the bypass's share; at the ends exactly y or dry.
void crossfadeToDry(const float* dry, const double* bypasses, float* y, std::int32_t frames) noexcept
{
    for (std::int32_t i = 0; i < frames; ++i) {
        const double b = bypasses[i];
        if (b == 1.0) {
            y[i] = dry[i];
        } else if (b != 0.0) {
            y[i] = static_cast<float>(y[i] + b * (static_cast<double>(dry[i]) - y[i]));
        }
    }
}

// The next frames values of a control; filled stays true while values holds a whole piece of the
// settled value, so that it is not written again.
void glided(HqGlide& glide, double* values, std::int32_t frames, bool& filled) noexcept
{
    if (!glide.gliding()) {
        if (filled && values[0] == glide.value()) {
            return;
        }
        filled = frames == kHqPieceFrames;
        const double value = glide.value();
        for (std::int32_t i = 0; i < frames; ++i) {
            values[i] = value;
        }
        return;
    }
    filled = false;
    for (std::int32_t i = 0; i < frames; ++i) {
        values[i] = glide.next();
    }
}

} // namespace

std::int32_t hqLatencyFrames(double) noexcept
{
    // The filters are made for the rate they run at, relative to the base rate, so the delay in
    // frames is the same at every base rate: 1.9 ms at 44.1 kHz.
    return kHqPathDelayFrames;
}

struct SoftKneeHq::State {
    static constexpr std::int32_t kP = kHqPieceFrames;

    HqKernel kernel = hqKernelForNewProcessors();
    double sampleRate = kDefaultRate;
    std::int32_t glideFrames = 1;
    std::int32_t fadeFrames = 1;
    std::int32_t bypassFrames = 1;

    HqGlide boost;
    HqGlide knee;
    HqGlide hardness;
    HqGlide gain;
    HqGlide mix;
    float gainDecibels = kHqOutputDb.initial;
    HqCurve lastCurve{};
    double lastKnee = 0.0;
    double lastHardness = 0.0;

    // The auto gain's glide, and the settings its target was worked out for.
    HqGlide autoGain;
    float autoGainFor[4] = {-1.0f, 0.0f, 0.0f, 0.0f}; // on, boost, knee, hardness
    double autoGainTarget = 1.0;
    // The ceiling's level glides between levels; switched on or off it starts or stops at once.
    HqGlide ceiling;
    float ceilingDecibels = kHqCeilingDb.initial;
    bool ceilingOn = false;
    // The bypass fade in frames, 0 (the effect heard) to bypassFrames (the dry signal heard).
    // Once there, the paths stand idle; leaving, they start from silence unheard for
    // resumeWarm frames, as a new Quality does, before the fade back.
    std::int32_t bypassStep = 0;
    bool pathsIdle = false;
    std::int32_t resumeWarm = 0;

    // Two paths per channel: the one heard, and one that a Quality change warms up and fades in.
    HqChannelPath paths[2][2]; // [path][channel]
    std::int32_t heard = 0;
    bool switching = false;
    std::int32_t warmLeft = 0;
    std::int32_t fadeDone = 0;

    // The dry input of each channel, delayed by the paths' delay.
    HqDelayLine<kHqPathDelayFrames> dry[2];

    // One piece's per-frame values.
    float boosted[2][kP];
    HqCurve curves[kP];
    bool changed[kP];
    bool curvesSettled = false; // curves holds the settled curve throughout, changed nothing
    double boosts[kP];
    bool boostsFilled = false;
    bool gainsFilled = false;
    bool mixesFilled = false;
    double gains[kP];
    double mixes[kP];
    double fades[kP];
    double autoGains[kP];
    bool autoGainsFilled = false;
    double wetGains[kP];
    float ceilings[kP];
    double bypasses[kP];
    float wet[2][2][kP]; // [path][channel]
};

SoftKneeHq::SoftKneeHq(double sampleRate) : state_(new State)
{
    prepare(sampleRate);
}

SoftKneeHq::~SoftKneeHq() = default;

void SoftKneeHq::prepare(double sampleRate) noexcept
{
    const HqFloatEnvironment environment;
    State& s = *state_;
    if (!(sampleRate == sampleRate)) {
        sampleRate = kDefaultRate;
    }
    s.sampleRate = sampleRate < kMinimumRate ? kMinimumRate : (sampleRate > kMaximumRate ? kMaximumRate : sampleRate);
    s.glideFrames = framesOf(kHqGlideSeconds, s.sampleRate);
    s.fadeFrames = framesOf(kHqQualityFadeSeconds, s.sampleRate);
    s.bypassFrames = framesOf(kHqBypassFadeSeconds, s.sampleRate);
    reset();
}

double SoftKneeHq::autoGainTarget() noexcept
{
    State& s = *state_;
    const float on = autoGain_.load(std::memory_order_relaxed) >= 0.5f ? 1.0f : 0.0f;
    const float settings[4] = {on, boost_.load(std::memory_order_relaxed), knee_.load(std::memory_order_relaxed),
                               hardness_.load(std::memory_order_relaxed)};
    bool same = true;
    for (std::int32_t i = 0; i < 4; ++i) {
        same = same && std::bit_cast<std::uint32_t>(settings[i]) == std::bit_cast<std::uint32_t>(s.autoGainFor[i]);
    }
    if (!same) {
        std::memcpy(s.autoGainFor, settings, sizeof settings);
        s.autoGainTarget = on == 0.0f ? 1.0 : hqAutoGain(settings[1], settings[2], settings[3]);
    }
    return s.autoGainTarget;
}

void SoftKneeHq::takeCeiling(bool glide) noexcept
{
    State& s = *state_;
    const float decibels = ceilingDb_.load(std::memory_order_relaxed);
    if (decibels == s.ceilingDecibels && glide) {
        return;
    }
    s.ceilingDecibels = decibels;
    const bool on = decibels <= 0.0f;
    if (on && s.ceilingOn && glide) {
        s.ceiling.glideTo(hqDecibelsToGain(decibels), s.glideFrames);
    } else if (on) {
        s.ceiling.jump(hqDecibelsToGain(decibels));
    }
    s.ceilingOn = on;
}

void SoftKneeHq::settleControls() noexcept
{
    const HqFloatEnvironment environment;
    State& s = *state_;
    s.boost.jump(boost_.load(std::memory_order_relaxed));
    s.knee.jump(knee_.load(std::memory_order_relaxed));
    s.hardness.jump(hardness_.load(std::memory_order_relaxed));
    s.gainDecibels = outputDb_.load(std::memory_order_relaxed);
    s.gain.jump(hqDecibelsToGain(s.gainDecibels));
    s.mix.jump(mixPercent_.load(std::memory_order_relaxed) / 100.0);
    s.lastKnee = s.knee.value();
    s.lastHardness = s.hardness.value();
    s.lastCurve = makeHqCurve(s.lastKnee, s.lastHardness);
    s.autoGain.jump(autoGainTarget());
    takeCeiling(false);
    s.curvesSettled = false;
    s.boostsFilled = false;
    s.gainsFilled = false;
    s.mixesFilled = false;
    s.autoGainsFilled = false;
}

void SoftKneeHq::reset() noexcept
{
    State& s = *state_;
    settleControls();
    const bool bypassed = bypass_.load(std::memory_order_relaxed) != 0;
    s.bypassStep = bypassed ? s.bypassFrames : 0;
    s.pathsIdle = bypassed;
    s.resumeWarm = 0;
    const HqQuality quality = qualityOf(quality_.load(std::memory_order_relaxed));
    s.heard = 0;
    s.switching = false;
    for (auto& channel : s.paths[0]) {
        channel.configure(quality, s.kernel);
    }
    qualityInUse_.store(static_cast<std::int32_t>(quality), std::memory_order_relaxed);
    for (auto& line : s.dry) {
        line.clear();
    }
}

void SoftKneeHq::setBoost(float times) noexcept
{
    boost_.store(limited(times, kHqBoost), std::memory_order_relaxed);
}

void SoftKneeHq::setKnee(float knee) noexcept
{
    knee_.store(limited(knee, kHqKnee), std::memory_order_relaxed);
}

void SoftKneeHq::setHardness(float hardness) noexcept
{
    hardness_.store(limited(hardness, kHqHardness), std::memory_order_relaxed);
}

void SoftKneeHq::setOutputDb(float decibels) noexcept
{
    outputDb_.store(limited(decibels, kHqOutputDb), std::memory_order_relaxed);
}

void SoftKneeHq::setMixPercent(float percent) noexcept
{
    mixPercent_.store(limited(percent, kHqMixPercent), std::memory_order_relaxed);
}

void SoftKneeHq::setQuality(float index) noexcept
{
    const HqFloatEnvironment environment; // the rounding below is the core's, whatever the caller's mode
    const float value = limited(index, kHqQuality);
    quality_.store(static_cast<std::int32_t>(value + 0.5f), std::memory_order_relaxed);
}

void SoftKneeHq::setAutoGain(float on) noexcept
{
    autoGain_.store(limited(on, kHqAutoGain), std::memory_order_relaxed);
}

void SoftKneeHq::setCeilingDb(float decibels) noexcept
{
    ceilingDb_.store(limited(decibels, kHqCeilingDb), std::memory_order_relaxed);
}

void SoftKneeHq::setBypass(bool bypassed) noexcept
{
    bypass_.store(bypassed ? 1 : 0, std::memory_order_relaxed);
}

HqQuality SoftKneeHq::qualityInUse() const noexcept
{
    return qualityOf(qualityInUse_.load(std::memory_order_relaxed));
}

void SoftKneeHq::process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                         std::int32_t frames) noexcept
{
    // Every block in the core's own floating-point environment (hq_float_environment.h).
    const HqFloatEnvironment environment;
    State& s = *state_;
    const HqKernelSet& kernels = hqKernelSet(s.kernel);
    const float* const in[2] = {inLeft, inRight};
    float* const out[2] = {outLeft, outRight};
    for (std::int32_t start = 0; start < frames; start += kHqPieceFrames) {
        const std::int32_t n = frames - start < kHqPieceFrames ? frames - start : kHqPieceFrames;

        // The controls, read once per piece.
        s.boost.glideTo(boost_.load(std::memory_order_relaxed), s.glideFrames);
        s.knee.glideTo(knee_.load(std::memory_order_relaxed), s.glideFrames);
        s.hardness.glideTo(hardness_.load(std::memory_order_relaxed), s.glideFrames);
        const float decibels = outputDb_.load(std::memory_order_relaxed);
        if (decibels != s.gainDecibels) {
            s.gainDecibels = decibels;
            s.gain.glideTo(hqDecibelsToGain(decibels), s.glideFrames);
        }
        s.mix.glideTo(mixPercent_.load(std::memory_order_relaxed) / 100.0, s.glideFrames);
        s.autoGain.glideTo(autoGainTarget(), s.glideFrames);
        takeCeiling(true);

        // Bypassed and faded out: only the dry line runs, and the output is what it delays.
        // Leaving, the controls start at their settings and the paths from silence.
        const bool bypassed = bypass_.load(std::memory_order_relaxed) != 0;
        if (s.pathsIdle && bypassed) {
            for (std::int32_t ch = 0; ch < 2; ++ch) {
                float* const dry = s.dry[ch].fresh();
                for (std::int32_t i = 0; i < n; ++i) {
                    dry[i] = hqSafeSample(in[ch][start + i]);
                }
                std::memcpy(out[ch] + start, s.dry[ch].delayed(), sizeof(float) * static_cast<std::size_t>(n));
                s.dry[ch].advance(n);
            }
            continue;
        }
        if (s.pathsIdle) {
            settleControls();
            const HqQuality quality = qualityOf(quality_.load(std::memory_order_relaxed));
            for (auto& channel : s.paths[0]) {
                channel.configure(quality, s.kernel);
            }
            s.heard = 0;
            s.switching = false;
            s.pathsIdle = false;
            s.resumeWarm = kHqPathMemoryFrames;
        }
        if (bypassed) {
            s.resumeWarm = 0;
        }

        // A Quality change: the new path starts from silence beside the heard one, unheard until
        // its filters hold nothing from before its start, then fades in linearly while the old
        // one fades out. A request made during the fade waits for its end.
        const HqQuality wanted = qualityOf(quality_.load(std::memory_order_relaxed));
        const std::int32_t other = 1 - s.heard;
        if (!s.switching || s.warmLeft > 0) {
            if (wanted == s.paths[s.heard][0].quality()) {
                s.switching = false;
                qualityInUse_.store(static_cast<std::int32_t>(wanted), std::memory_order_relaxed);
            } else if (!s.switching || wanted != s.paths[other][0].quality()) {
                for (auto& channel : s.paths[other]) {
                    channel.configure(wanted, s.kernel);
                }
                s.switching = true;
                s.warmLeft = kHqPathMemoryFrames;
                s.fadeDone = 0;
                qualityInUse_.store(static_cast<std::int32_t>(wanted), std::memory_order_relaxed);
            }
        }

        // A boost, gain or mix that holds for the whole piece is taken as one value, in narrower
        // arithmetic where that gives the same bits.
        const double boost = s.boost.value();
        const bool boostHeld = !s.boost.gliding() && static_cast<double>(static_cast<float>(boost)) == boost;
        const bool gainHeld = !s.gain.gliding() && !s.autoGain.gliding() && !s.mix.gliding();

        // Per frame: the glided settings, the curve where it changes, the fade, the input made safe.
        glided(s.boost, s.boosts, n, s.boostsFilled);
        glided(s.gain, s.gains, n, s.gainsFilled);
        glided(s.mix, s.mixes, n, s.mixesFilled);
        glided(s.autoGain, s.autoGains, n, s.autoGainsFilled);
        const double* gains = s.gains;
        if (s.autoGain.gliding() || s.autoGains[0] != 1.0) {
            for (std::int32_t i = 0; i < n; ++i) {
                s.wetGains[i] = s.gains[i] * s.autoGains[i];
            }
            gains = s.wetGains;
        }
        if (s.ceilingOn) {
            for (std::int32_t i = 0; i < n; ++i) {
                s.ceilings[i] = static_cast<float>(s.ceiling.next());
            }
        }
        const bool crossfading = bypassed || s.bypassStep > 0;
        if (crossfading) {
            for (std::int32_t i = 0; i < n; ++i) {
                if (s.resumeWarm > 0) {
                    --s.resumeWarm;
                } else if (bypassed && s.bypassStep < s.bypassFrames) {
                    ++s.bypassStep;
                } else if (!bypassed && s.bypassStep > 0) {
                    --s.bypassStep;
                }
                s.bypasses[i] = static_cast<double>(s.bypassStep) / static_cast<double>(s.bypassFrames);
            }
        }
        if (s.knee.gliding() || s.hardness.gliding() || !s.curvesSettled) {
            for (std::int32_t i = 0; i < n; ++i) {
                const double knee = s.knee.next();
                const double hardness = s.hardness.next();
                s.changed[i] = knee != s.lastKnee || hardness != s.lastHardness;
                if (s.changed[i]) {
                    s.lastCurve = makeHqCurve(knee, hardness);
                    s.lastKnee = knee;
                    s.lastHardness = hardness;
                }
                s.curves[i] = s.lastCurve;
            }
            // Once a whole piece holds one curve with no change after its first frame, the next
            // pieces reuse it, their first frame unchanged too, until a glide moves it again.
            s.curvesSettled = !s.knee.gliding() && !s.hardness.gliding() && n == kHqPieceFrames;
            for (std::int32_t i = 1; i < n && s.curvesSettled; ++i) {
                s.curvesSettled = !s.changed[i];
            }
        } else {
            s.changed[0] = false;
        }
        if (s.switching) {
            for (std::int32_t i = 0; i < n; ++i) {
                if (s.warmLeft > 0) {
                    --s.warmLeft;
                    s.fades[i] = 0.0;
                } else if (s.fadeDone < s.fadeFrames) {
                    ++s.fadeDone;
                    s.fades[i] = static_cast<double>(s.fadeDone) / static_cast<double>(s.fadeFrames);
                } else {
                    s.fades[i] = 1.0;
                }
            }
        }
        for (std::int32_t ch = 0; ch < 2; ++ch) {
            if (boostHeld) {
                kernels.takeInput(in[ch] + start, static_cast<float>(boost), s.dry[ch].fresh(), s.boosted[ch], n);
            } else {
                takeInput(kernels, in[ch] + start, s.boosts, s.dry[ch].fresh(), s.boosted[ch], n);
            }
        }
        const double gainHeldAt = gains[0];
        const bool unity = gainHeld && gainHeldAt == 1.0 && s.mixes[0] == 1.0;

        for (std::int32_t ch = 0; ch < 2; ++ch) {
            s.paths[s.heard][ch].run(s.boosted[ch], s.curves, s.changed, n, s.wet[s.heard][ch]);
            if (s.switching) {
                s.paths[other][ch].run(s.boosted[ch], s.curves, s.changed, n, s.wet[other][ch]);
            }
        }

        // out = dry (1 - mix) + wet * gain * mix, the wet signal crossfaded during a switch.
        for (std::int32_t ch = 0; ch < 2; ++ch) {
            const float* const dry = s.dry[ch].delayed();
            const float* const heardWet = s.wet[s.heard][ch];
            const float* const otherWet = s.wet[other][ch];
            float* const y = out[ch] + start;
            if (s.switching) {
                for (std::int32_t i = 0; i < n; ++i) {
                    const double wet = heardWet[i] + s.fades[i] * (static_cast<double>(otherWet[i]) - heardWet[i]);
                    y[i] = static_cast<float>(static_cast<double>(dry[i]) * (1.0 - s.mixes[i]) +
                                              wet * gains[i] * s.mixes[i]);
                }
            } else if (unity) {
                kernels.wetOnly(dry, heardWet, y, n);
            } else if (gainHeld) {
                mixOutputAt(dry, heardWet, gainHeldAt, s.mixes[0], y, n);
            } else {
                mixOutput(dry, heardWet, gains, s.mixes, y, n);
            }
            if (s.ceilingOn) {
                holdUnder(s.ceilings, y, n);
            }
            if (crossfading) {
                crossfadeToDry(dry, s.bypasses, y, n);
            }
            s.dry[ch].advance(n);
        }

        if (s.switching && s.warmLeft == 0 && s.fadeDone >= s.fadeFrames) {
            s.heard = other;
            s.switching = false;
        }
        s.pathsIdle = bypassed && s.bypassStep == s.bypassFrames;
    }
}
