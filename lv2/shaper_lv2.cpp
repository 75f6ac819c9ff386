// The shaper as an LV2 plug-in. The host connects seven ports (three controls in the
// effect's own units, two audio inputs, two audio outputs) and calls run; the block goes
// through the same curve and kernels as the VST module, so the output is the same bits.
#include "boost_law.h"
#include "shaper_lv2_ports.h"
#include "soft_knee.h"
#include "soft_knee_kernels.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <new>

namespace {

static_assert(std::atomic_ref<float>::is_always_lock_free, "a control must be one plain 32-bit access");

// The kernels count frames in int32; a longer run goes in pieces of this many frames.
constexpr std::uint32_t kLongestPiece = 1u << 30;

// Where the host connected each port, null until it has.
struct ShaperInstance {
    const float* controls[kShaperLv2ControlCount];
    const float* inputs[2];
    float* outputs[2];
};

// A control the host has not connected reads as NaN, which makeSoftKnee turns into
// the parameter's initial value, the port's default.
float readControl(const float* port) noexcept
{
    if (port == nullptr) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    // The host may write the control from another thread; one whole 32-bit read.
    return std::atomic_ref<float>(*const_cast<float*>(port)).load(std::memory_order_relaxed);
}

// [main thread] Accepts any sample rate and any feature list: the curve needs neither.
LV2_Handle instantiate(const LV2_Descriptor*, double, const char*, const LV2_Feature* const*)
{
    return new (std::nothrow) ShaperInstance{};
}

// [audio thread] The host may connect an input and an output to the same buffer.
void connectPort(LV2_Handle handle, std::uint32_t port, void* data)
{
    auto* shaper = static_cast<ShaperInstance*>(handle);
    switch (port) {
    case kShaperLv2Boost:
    case kShaperLv2Knee:
    case kShaperLv2Hardness:
        shaper->controls[port - kShaperLv2Boost] = static_cast<const float*>(data);
        break;
    case kShaperLv2InLeft:
    case kShaperLv2InRight:
        shaper->inputs[port - kShaperLv2InLeft] = static_cast<const float*>(data);
        break;
    case kShaperLv2OutLeft:
    case kShaperLv2OutRight:
        shaper->outputs[port - kShaperLv2OutLeft] = static_cast<float*>(data);
        break;
    default:
        break;
    }
}

// [audio thread] no allocation, no locks. Reads each control once, forms and limits it as
// the VST module does, and writes the shaped inputs over the outputs. Zero frames, or an
// audio port left unconnected, touch nothing.
void run(LV2_Handle handle, std::uint32_t sampleCount)
{
    const auto* shaper = static_cast<const ShaperInstance*>(handle);
    const float* inLeft = shaper->inputs[0];
    const float* inRight = shaper->inputs[1];
    float* outLeft = shaper->outputs[0];
    float* outRight = shaper->outputs[1];
    if (sampleCount == 0 || inLeft == nullptr || inRight == nullptr || outLeft == nullptr || outRight == nullptr) {
        return;
    }
    // The boost as the VST module forms it, so that every setting here has a VST setting
    // with the same output.
    const SoftKnee curve = makeSoftKnee(boostAsFormed(readControl(shaper->controls[0])),
                                        readControl(shaper->controls[1]), readControl(shaper->controls[2]));
    const SoftKneeKernel kernel = softKneeKernelInUse();
    for (std::uint32_t done = 0; done < sampleCount;) {
        const std::uint32_t piece = std::min(sampleCount - done, kLongestPiece);
        softKneeReplacingWith(kernel, curve, inLeft + done, inRight + done, outLeft + done, outRight + done,
                              static_cast<std::int32_t>(piece));
        done += piece;
    }
}

// [main thread] Frees what instantiate made.
void cleanup(LV2_Handle handle)
{
    delete static_cast<ShaperInstance*>(handle);
}

// [any thread] The plug-in offers no extension.
const void* extensionData(const char*)
{
    return nullptr;
}

const LV2_Descriptor kDescriptor = {
    kShaperLv2Uri, instantiate, connectPort, nullptr, run, nullptr, cleanup, extensionData,
};

} // namespace

// [any thread] The bundle's one plug-in at index 0; null past it.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
