#include "soft_knee_kernels.h"
#include "subnormal_timing.h"

namespace {

// SSE2 is the floor of every target (x86-64, and the 32-bit build's -msse2); AVX2 (with
// FMA, which every processor with AVX2 but a very few has) and AVX-512 (F, VL and DQ, as
// every processor with AVX-512 but the Xeon Phi has) are taken where the processor and
// the operating system both support them.
SoftKneeKernel widestSupported() noexcept
{
    __builtin_cpu_init(); // may run before the runtime's own constructors
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("fma")) {
        return SoftKneeKernel::avx512;
    }
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? SoftKneeKernel::avx2
                                                                           : SoftKneeKernel::sse2;
}

const SoftKneeKernel kWidestSupported = widestSupported();

// A test build of a module may pin the kernel it runs by defining SOFT_KNEE_PINNED_KERNEL
// as a kernel's name, so that the module tests can drive every kernel through the record;
// a kernel the processor lacks gives way to the widest it has. A shipped build takes the
// widest.
SoftKneeKernel kernelToRun() noexcept
{
#ifdef SOFT_KNEE_PINNED_KERNEL
    constexpr SoftKneeKernel pinned = SoftKneeKernel::SOFT_KNEE_PINNED_KERNEL;
    return static_cast<std::int32_t>(pinned) <= static_cast<std::int32_t>(kWidestSupported) ? pinned : kWidestSupported;
#else
    return kWidestSupported;
#endif
}

// Decided while the module loads, before a host can run a block, so a block only reads
// it; before that it holds zero, the scalar kernel, which is never wrong.
const SoftKneeKernel kKernelInUse = kernelToRun();

// Decided while the module loads, like the kernel; before that it holds zero, wide, which
// is never slow.
const SubnormalBoost kSubnormalBoostInUse = subnormalProductsAreSlow() ? SubnormalBoost::wide : SubnormalBoost::narrow;

} // namespace

bool softKneeKernelSupported(SoftKneeKernel kernel) noexcept
{
    return static_cast<std::int32_t>(kernel) <= static_cast<std::int32_t>(kWidestSupported);
}

SoftKneeKernel softKneeKernelInUse() noexcept
{
    return kKernelInUse;
}

const char* softKneeKernelName(SoftKneeKernel kernel) noexcept
{
    switch (kernel) {
    case SoftKneeKernel::scalar:
        return "scalar";
    case SoftKneeKernel::sse2:
        return "sse2";
    case SoftKneeKernel::avx2:
        return "avx2";
    case SoftKneeKernel::avx512:
        return "avx512";
    }
    return "unknown";
}

SubnormalBoost softKneeSubnormalBoostInUse() noexcept
{
    return kSubnormalBoostInUse;
}

const char* softKneeSubnormalBoostName(SubnormalBoost boost) noexcept
{
    return boost == SubnormalBoost::wide ? "wide" : "narrow";
}

namespace {

using VectorLoop = std::int32_t (*)(const SoftKnee&, const float*, const float*, float*, float*, std::int32_t,
                                    SubnormalBoost) noexcept;
using ReferenceLoop = void (*)(const SoftKnee&, const float*, const float*, float*, float*, std::int32_t) noexcept;

// The kernel takes the whole groups of its width; the reference loop finishes the block.
template <VectorLoop avx512, VectorLoop avx2, VectorLoop sse2, ReferenceLoop reference>
void runWith(SoftKneeKernel kernel, SubnormalBoost subnormals, const SoftKnee& curve, const float* inLeft,
             const float* inRight, float* outLeft, float* outRight, std::int32_t frames) noexcept
{
    std::int32_t done = 0;
    switch (kernel) {
    case SoftKneeKernel::avx512:
        done = avx512(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
        break;
    case SoftKneeKernel::avx2:
        done = avx2(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
        break;
    case SoftKneeKernel::sse2:
        done = sse2(curve, inLeft, inRight, outLeft, outRight, frames, subnormals);
        break;
    case SoftKneeKernel::scalar:
        break;
    }
    reference(curve, inLeft + done, inRight + done, outLeft + done, outRight + done, frames - done);
}

} // namespace

void softKneeReplacingWith(SoftKneeKernel kernel, SubnormalBoost subnormals, const SoftKnee& curve, const float* inLeft,
                           const float* inRight, float* outLeft, float* outRight, std::int32_t frames) noexcept
{
    runWith<softKneeReplacingAvx512, softKneeReplacingAvx2, softKneeReplacingSse2, softKneeReplacing>(
        kernel, subnormals, curve, inLeft, inRight, outLeft, outRight, frames);
}

void softKneeAccumulatingWith(SoftKneeKernel kernel, SubnormalBoost subnormals, const SoftKnee& curve,
                              const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                              std::int32_t frames) noexcept
{
    runWith<softKneeAccumulatingAvx512, softKneeAccumulatingAvx2, softKneeAccumulatingSse2, softKneeAccumulating>(
        kernel, subnormals, curve, inLeft, inRight, outLeft, outRight, frames);
}

void softKneeReplacingWith(SoftKneeKernel kernel, const SoftKnee& curve, const float* inLeft, const float* inRight,
                           float* outLeft, float* outRight, std::int32_t frames) noexcept
{
    softKneeReplacingWith(kernel, kSubnormalBoostInUse, curve, inLeft, inRight, outLeft, outRight, frames);
}

void softKneeAccumulatingWith(SoftKneeKernel kernel, const SoftKnee& curve, const float* inLeft, const float* inRight,
                              float* outLeft, float* outRight, std::int32_t frames) noexcept
{
    softKneeAccumulatingWith(kernel, kSubnormalBoostInUse, curve, inLeft, inRight, outLeft, outRight, frames);
}
