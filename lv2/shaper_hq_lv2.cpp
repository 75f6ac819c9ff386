// SoftKneeShaper HQ as an LV2 plug-in. The host connects fourteen ports (the controls of
// kHqControls in their own units, the latency output, two audio inputs, two audio outputs,
// and the enabled port of a host's bypass) and calls run; the format-free core does the
// work, gliding every control and fading the bypass itself.
#include "hq_float_environment.h"
#include "hq_lv2_meters.h"
#include "hq_lv2_ports.h"
#include "soft_knee_hq.h"
#include "soft_knee_hq_controls.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <new>
#include <string_view>

namespace {

static_assert(std::atomic_ref<float>::is_always_lock_free, "a control must be one plain 32-bit access");

// The core counts frames in int32; a longer run goes in pieces of this many frames.
constexpr std::uint32_t kLongestPiece = 1u << 30;

struct HqInstance {
    explicit HqInstance(double sampleRate) : core(sampleRate), latency(hqLatencyFrames(sampleRate)) {}

    SoftKneeHq core;
    const float latency;
    // Where the host connected each port, null until it has.
    const float* controls[kHqControlCount] = {};
    float* latencyPort = nullptr;
    const float* enabledPort = nullptr;
    const float* inputs[2] = {};
    float* outputs[2] = {};
    // Set by activate: the next run starts from the host's settings instead of gliding there.
    bool startAtSettings = true;
    // The peaks of the inputs and the outputs, for the UI.
    PeakMeter inputMeter;
    PeakMeter outputMeter;
};

// Raises a meter to the peak of a piece of both channels.
void meter(PeakMeter& meter, const float* left, const float* right, std::uint32_t frames) noexcept
{
    const float l = PeakMeter::peakOf(left, static_cast<int>(frames));
    const float r = PeakMeter::peakOf(right, static_cast<int>(frames));
    meter.raise(l > r ? l : r);
}

// A control the host has not connected reads as NaN, which the core's setters turn into
// the control's initial value, the port's default.
float readControl(const float* port) noexcept
{
    if (port == nullptr) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    // The host may write the control from another thread; one whole 32-bit read.
    return std::atomic_ref<float>(*const_cast<float*>(port)).load(std::memory_order_relaxed);
}

// [main thread] Accepts any feature list: the plug-in needs none. The core limits the rate.
LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const*)
{
    try {
        return new HqInstance(sampleRate);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// [audio thread] The host may connect an input and an output to the same buffer.
void connectPort(LV2_Handle handle, std::uint32_t port, void* data)
{
    auto* hq = static_cast<HqInstance*>(handle);
    if (port < kHqControlAutoGain) {
        hq->controls[port] = static_cast<const float*>(data);
        return;
    }
    switch (port) {
    case kHqLv2AutoGain:
    case kHqLv2Ceiling:
        hq->controls[kHqControlAutoGain + (port - kHqLv2AutoGain)] = static_cast<const float*>(data);
        break;
    case kHqLv2Enabled:
        hq->enabledPort = static_cast<const float*>(data);
        break;
    case kHqLv2Latency:
        hq->latencyPort = static_cast<float*>(data);
        break;
    case kHqLv2InLeft:
    case kHqLv2InRight:
        hq->inputs[port - kHqLv2InLeft] = static_cast<const float*>(data);
        break;
    case kHqLv2OutLeft:
    case kHqLv2OutRight:
        hq->outputs[port - kHqLv2OutLeft] = static_cast<float*>(data);
        break;
    default:
        break;
    }
}

// [main thread] A new start of the stream: delays and filters are cleared at the next run.
void activate(LV2_Handle handle)
{
    static_cast<HqInstance*>(handle)->startAtSettings = true;
}

// [audio thread] no allocation, no locks. Reports the latency, hands each control to the
// core once, and writes the shaped inputs over the outputs. With an audio port left
// unconnected the audio is not touched.
void run(LV2_Handle handle, std::uint32_t sampleCount)
{
    auto* hq = static_cast<HqInstance*>(handle);
    if (hq->latencyPort != nullptr) {
        *hq->latencyPort = hq->latency;
    }
    for (std::int32_t control = 0; control < kHqControlCount; ++control) {
        setHqControl(hq->core, control, readControl(hq->controls[control]));
    }
    // Unconnected, or any value from 1/2 up: enabled. NaN is not below 1/2.
    hq->core.setBypass(readControl(hq->enabledPort) < 0.5f);
    const float* inLeft = hq->inputs[0];
    const float* inRight = hq->inputs[1];
    float* outLeft = hq->outputs[0];
    float* outRight = hq->outputs[1];
    if (sampleCount == 0 || inLeft == nullptr || inRight == nullptr || outLeft == nullptr || outRight == nullptr) {
        return;
    }
    // The meters compare samples too: in the core's environment, so no flag reaches the host.
    const HqFloatEnvironment environment;
    if (hq->startAtSettings) {
        hq->core.reset();
        hq->startAtSettings = false;
    }
    for (std::uint32_t done = 0; done < sampleCount;) {
        const std::uint32_t piece = std::min(sampleCount - done, kLongestPiece);
        // The inputs are measured before the core may write over them.
        meter(hq->inputMeter, inLeft + done, inRight + done, piece);
        hq->core.process(inLeft + done, inRight + done, outLeft + done, outRight + done,
                         static_cast<std::int32_t>(piece));
        meter(hq->outputMeter, outLeft + done, outRight + done, piece);
        done += piece;
    }
}

// [main thread] Frees what instantiate made.
void cleanup(LV2_Handle handle)
{
    delete static_cast<HqInstance*>(handle);
}

// [any thread] The meters, for the plug-in's UI (hq_lv2_meters.h).
const void* extensionData(const char* uri)
{
    static const HqLv2Meters meters{
        [](LV2_Handle instance) { return &static_cast<HqInstance*>(instance)->inputMeter; },
        [](LV2_Handle instance) { return &static_cast<HqInstance*>(instance)->outputMeter; },
    };
    return std::string_view(uri) == kHqLv2MetersUri ? &meters : nullptr;
}

const LV2_Descriptor kDescriptor = {
    kHqLv2Uri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData,
};

} // namespace

// [any thread] The bundle's one plug-in at index 0; null past it.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
