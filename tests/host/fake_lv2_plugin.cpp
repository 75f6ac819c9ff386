// Stand-in LV2 plug-ins for plughost's LV2 host, one per LV2_KIND, each built from this
// file into a bundle of its own with the Turtle that tests/host/CMakeLists.txt writes.
// The gains multiply by their control; NEEDS_OPTIONS also delays by kLatency samples,
// reports that on its latency port, and answers NaN when the host breaks a promise.
// NAN_OUTPUT answers NaN and HUGE_OUTPUT 1e30 times its input, as plug-ins that run away do;
// CHOICES is a stereo gain with an enumeration and a toggle port it leaves alone.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#define GAIN_STEREO 1
#define GAIN_MONO 2
#define NEEDS_OPTIONS 3
#define FAILS_INSTANTIATE 4
#define NAN_OUTPUT 5
#define HUGE_OUTPUT 6
#define CHOICES 7

namespace {

constexpr std::uint32_t kLatency = 7;
constexpr int kChannels = LV2_KIND == GAIN_MONO || LV2_KIND == NEEDS_OPTIONS ? 1 : 2;

// Ports: 0 gain, then the inputs, then the outputs; NEEDS_OPTIONS adds events and latency.
struct Fake {
    const float* gain = nullptr;
    const float* in[kChannels] = {};
    float* out[kChannels] = {};
    const LV2_Atom_Sequence* events = nullptr;
    float* latency = nullptr;
    LV2_URID sequenceType = 0;
    std::int32_t maxBlock = 0;
    float history[kChannels][kLatency] = {}; // the last kLatency inputs, a ring from `at`
    std::uint32_t at = 0;
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features)
{
    if (LV2_KIND == FAILS_INSTANTIATE)
        return nullptr;
    auto* fake = new (std::nothrow) Fake;
    if (!fake || LV2_KIND != NEEDS_OPTIONS)
        return fake;
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        if (!std::strcmp(features[i]->URI, LV2_URID__map))
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
        if (!std::strcmp(features[i]->URI, LV2_OPTIONS__options))
            options = static_cast<const LV2_Options_Option*>(features[i]->data);
    }
    float optionRate = 0.0f;
    if (map && options)
        for (const LV2_Options_Option* o = options; o->key; ++o) {
            if (o->key == map->map(map->handle, LV2_BUF_SIZE__maxBlockLength) && o->size == sizeof(std::int32_t))
                fake->maxBlock = *static_cast<const std::int32_t*>(o->value);
            if (o->key == map->map(map->handle, LV2_PARAMETERS__sampleRate) && o->size == sizeof(float))
                optionRate = *static_cast<const float*>(o->value);
        }
    if (!map || fake->maxBlock <= 0 || optionRate != static_cast<float>(rate)) {
        delete fake;
        return nullptr;
    }
    fake->sequenceType = map->map(map->handle, LV2_ATOM__Sequence);
    return fake;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data)
{
    auto* fake = static_cast<Fake*>(handle);
    if (LV2_KIND == CHOICES && port > 2 * kChannels)
        return;
    if (port == 0)
        fake->gain = static_cast<const float*>(data);
    else if (port <= kChannels)
        fake->in[port - 1] = static_cast<const float*>(data);
    else if (port <= 2 * kChannels)
        fake->out[port - 1 - kChannels] = static_cast<float*>(data);
    else if (port == 2 * kChannels + 1)
        fake->events = static_cast<const LV2_Atom_Sequence*>(data);
    else
        fake->latency = static_cast<float*>(data);
}

void run(LV2_Handle handle, std::uint32_t frames)
{
    auto* fake = static_cast<Fake*>(handle);
    const bool broken =
        LV2_KIND == NEEDS_OPTIONS && (frames > static_cast<std::uint32_t>(fake->maxBlock) || !fake->events ||
                                      fake->events->atom.type != fake->sequenceType || !fake->latency);
    if (fake->latency)
        *fake->latency = static_cast<float>(kLatency);
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < kChannels; ++c) {
            float x = fake->in[c][i];
            if (LV2_KIND == NEEDS_OPTIONS)
                std::swap(x, fake->history[c][fake->at]);
            fake->out[c][i] = broken ? std::numeric_limits<float>::quiet_NaN() : x * *fake->gain;
            if (LV2_KIND == NAN_OUTPUT)
                fake->out[c][i] = std::numeric_limits<float>::quiet_NaN();
            if (LV2_KIND == HUGE_OUTPUT)
                fake->out[c][i] = 1e30f * x;
        }
        fake->at = (fake->at + 1) % kLatency;
    }
}

void cleanup(LV2_Handle handle)
{
    delete static_cast<Fake*>(handle);
}

const LV2_Descriptor kDescriptor = {LV2_URI, instantiate, connectPort, nullptr, run, nullptr, cleanup, nullptr};

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
