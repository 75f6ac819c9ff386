// A stand-in for SoftKneeShaper HQ in the Ardour alignment test, built only for that test:
// a stereo LV2 plug-in that delays by DELAY_FRAMES and reports REPORTED_FRAMES on its latency
// port from the moment it is connected, with six controls that it ignores, so the test script
// drives it as it drives the HQ effect. Reporting one frame more than it delays, it is the
// fault the alignment test must catch.
#include <lv2/core/lv2.h>

#include <cstdint>
#include <new>

namespace {

constexpr std::uint32_t kDelay = DELAY_FRAMES;
constexpr float kReported = REPORTED_FRAMES;

// Ports: 0..5 the controls, 6 and 7 the inputs, 8 and 9 the outputs, 10 the latency.
struct StandIn {
    const float* in[2] = {};
    float* out[2] = {};
    float* latency = nullptr;
    float history[2][kDelay] = {}; // the last kDelay inputs, a ring from `at`
    std::uint32_t at = 0;
};

LV2_Handle instantiate(const LV2_Descriptor*, double, const char*, const LV2_Feature* const*)
{
    return new (std::nothrow) StandIn;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data)
{
    auto* standIn = static_cast<StandIn*>(handle);
    if (port == 6 || port == 7)
        standIn->in[port - 6] = static_cast<const float*>(data);
    else if (port == 8 || port == 9)
        standIn->out[port - 8] = static_cast<float*>(data);
    else if (port == 10 && (standIn->latency = static_cast<float*>(data)))
        *standIn->latency = kReported;
}

void run(LV2_Handle handle, std::uint32_t frames)
{
    auto* standIn = static_cast<StandIn*>(handle);
    if (standIn->latency)
        *standIn->latency = kReported;
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            const float x = standIn->in[c][i];
            standIn->out[c][i] = standIn->history[c][standIn->at];
            standIn->history[c][standIn->at] = x;
        }
        standIn->at = (standIn->at + 1) % kDelay;
    }
}

void cleanup(LV2_Handle handle)
{
    delete static_cast<StandIn*>(handle);
}

const LV2_Descriptor kDescriptor = {
    STAND_IN_URI, instantiate, connectPort, nullptr, run, nullptr, cleanup, nullptr,
};

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
