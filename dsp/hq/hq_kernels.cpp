#include "hq_kernels.h"

#include <atomic>

namespace {

void interpolate(const float* x, std::int32_t frames, const float* pairs, std::int32_t count, float* y) noexcept
{
    const std::int32_t m = count - 1;
    const std::int32_t span = 2 * m + 1;
    for (std::int32_t i = 0; i < frames; ++i) {
        const float* p = x + i;
        float sum = pairs[0] * (p[0] + p[-span]);
        for (std::int32_t j = 1; j <= m; ++j) {
            sum += pairs[j] * (p[-j] + p[-span + j]);
        }
        y[2 * i] = sum;
        y[2 * i + 1] = p[-m];
    }
}

void decimateHalfband(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                      float* y, float*) noexcept
{
    const std::int32_t m = count - 1;
    const std::int32_t span = 4 * m + 2;
    const std::int32_t centre = 2 * m + 1;
    for (std::int32_t i = 0; i < frames; ++i) {
        const float* t = u + 2 * i + 1 - lag;
        float sum = pairs[0] * (t[0] + t[-span]);
        for (std::int32_t j = 1; j <= m; ++j) {
            sum += pairs[j] * (t[-2 * j] + t[-span + 2 * j]);
        }
        y[i] = sum + 0.5f * t[-centre];
    }
}

void decimateEven(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                  float* y, float*) noexcept
{
    const std::int32_t span = 2 * count - 1;
    for (std::int32_t i = 0; i < frames; ++i) {
        const float* t = u + 2 * i + 1 - lag;
        float sum = pairs[0] * (t[0] + t[-span]);
        for (std::int32_t j = 1; j < count; ++j) {
            sum += pairs[j] * (t[-j] + t[-span + j]);
        }
        y[i] = sum;
    }
}

// The curve's settings are held for each base frame; where they change, the previous input's
// antiderivative is taken again under the new ones, so both ends of a quotient share a curve.
std::int32_t adaa(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves, const bool* changed,
                  double* state, double*, float* y) noexcept
{
    double x0 = state[0];
    double f0 = state[1];
    std::int32_t general = 0;
    for (std::int32_t i = 0; i < frames; ++i) {
        const HqCurve& curve = curves[i];
        if (changed[i]) {
            f0 = hqAntiderivative(x0, curve);
        }
        for (std::int32_t k = 0; k < factor; ++k) {
            const double x1 = x[i * factor + k];
            const double f1 = hqAntiderivative(x1, curve);
            y[i * factor + k] = static_cast<float>(hqAdaa(x0, x1, f0, f1, curve));
            general += hqBelowKnee(x0, x1, curve) ? 0 : 1;
            x0 = x1;
            f0 = f1;
        }
    }
    state[0] = x0;
    state[1] = f0;
    return general;
}

void antiderivatives(const float* x, std::int32_t count, const HqCurve& curve, double* f) noexcept
{
    for (std::int32_t n = 0; n < count; ++n) {
        f[n] = hqAntiderivative(x[n], curve);
    }
}

void plainCurve(const float* x, std::int32_t frames, const HqCurve* curves, const bool*, float* y) noexcept
{
    for (std::int32_t i = 0; i < frames; ++i) {
        y[i] = static_cast<float>(hqCurveValue(x[i], curves[i]));
    }
}

void takeInput(const float* x, float boost, float* dry, float* boosted, std::int32_t frames) noexcept
{
    for (std::int32_t i = 0; i < frames; ++i) {
        const float safe = hqSafeSample(x[i]);
        dry[i] = safe;
        boosted[i] = (safe < -kHqLoudest ? -kHqLoudest : (safe > kHqLoudest ? kHqLoudest : safe)) * boost;
    }
}

void wetOnly(const float* dry, const float* wet, float* y, std::int32_t frames) noexcept
{
    for (std::int32_t i = 0; i < frames; ++i) {
        y[i] = static_cast<float>(static_cast<double>(dry[i]) * 0.0 + static_cast<double>(wet[i]));
    }
}

constexpr HqKernelSet kScalar{interpolate,     decimateHalfband, decimateEven, adaa,
                              antiderivatives, plainCurve,       takeInput,    wetOnly};

HqKernel widest() noexcept
{
    __builtin_cpu_init(); // may run before the runtime's own constructors
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) {
        return HqKernel::avx512;
    }
    return __builtin_cpu_supports("avx2") ? HqKernel::avx2 : HqKernel::sse2;
}

const HqKernel kWidest = widest();
std::atomic<std::int32_t> pinned{-1};

} // namespace

const HqKernelSet& hqScalarKernels() noexcept
{
    return kScalar;
}

bool hqKernelSupported(HqKernel kernel) noexcept
{
    return static_cast<std::int32_t>(kernel) >= 0 &&
           static_cast<std::int32_t>(kernel) <= static_cast<std::int32_t>(kWidest);
}

const HqKernelSet& hqKernelSet(HqKernel kernel) noexcept
{
    switch (hqKernelSupported(kernel) ? kernel : HqKernel::scalar) {
    case HqKernel::avx512:
        return hqAvx512Kernels();
    case HqKernel::avx2:
        return hqAvx2Kernels();
    case HqKernel::sse2:
        return hqSse2Kernels();
    case HqKernel::scalar:
        break;
    }
    return kScalar;
}

const char* hqKernelName(HqKernel kernel) noexcept
{
    switch (kernel) {
    case HqKernel::scalar:
        return "scalar";
    case HqKernel::sse2:
        return "sse2";
    case HqKernel::avx2:
        return "avx2";
    case HqKernel::avx512:
        return "avx512";
    }
    return "";
}

HqKernel hqKernelForNewProcessors() noexcept
{
    const std::int32_t pin = pinned.load(std::memory_order_relaxed);
    return pin >= 0 ? static_cast<HqKernel>(pin) : kWidest;
}

void hqPinKernel(HqKernel kernel) noexcept
{
    pinned.store(hqKernelSupported(kernel) ? static_cast<std::int32_t>(kernel) : -1, std::memory_order_relaxed);
}

void hqUnpinKernel() noexcept
{
    pinned.store(-1, std::memory_order_relaxed);
}
