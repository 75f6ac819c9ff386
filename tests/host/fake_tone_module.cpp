// Stand-in modules whose answer to a sine is known in closed form, for the
// spectrum and sweep tests; one per TONE_KIND, each built from this file.
#include "descriptor.h"

#include <cmath>
#include <cstring>
#include <numbers>

#define TONE_GAIN 1
#define TONE_CUBIC 2
#define TONE_ADDED_TONE 3
#define TONE_NO_INPUTS 4
#define TONE_CHEBYSHEV 5

namespace {

// The tone that TONE_ADDED_TONE adds to its input, and its amplitude.
constexpr double kAddedFrequency = 5555.0;
constexpr double kAddedAmplitude = 0.01;

struct ToneEffect {
    AEffect record{};
    float gain = 1.0f; // gain = 2 * value, for TONE_GAIN
    double sampleRate = 44100.0;
    long long frame = 0;
};

ToneEffect* owner(AEffect* effect)
{
    return static_cast<ToneEffect*>(effect->object);
}

std::intptr_t dispatcher(AEffect* effect, std::int32_t opcode, std::int32_t, std::intptr_t, void* ptr, float opt)
{
    switch (opcode) {
    case effClose:
        delete owner(effect);
        return 1;
    case effSetSampleRate:
        owner(effect)->sampleRate = opt;
        return 0;
    case effGetParamName:
        std::strcpy(static_cast<char*>(ptr), "Gain");
        return 0;
    default:
        return 0;
    }
}

// y = x * gain, y = x - x^3 / 3, y = x + 0.01 sin(2 pi 5555 t), or y = x + T3(x) / 10 +
// T5(x) / 20 + T7(x) / 50, whose harmonics 3, 5 and 7 have exactly those amplitudes for a
// full-scale sine (T_n(sin t) = cos(n t - n pi / 2)); in double, rounded once.
double shape(const ToneEffect& fake, double x, long long frame)
{
    switch (TONE_KIND) {
    case TONE_CUBIC:
        return x - x * x * x / 3.0;
    case TONE_CHEBYSHEV: {
        const double x2 = x * x;
        return x + (4.0 * x2 - 3.0) * x / 10.0 + ((16.0 * x2 - 20.0) * x2 + 5.0) * x / 20.0 +
               (((64.0 * x2 - 112.0) * x2 + 56.0) * x2 - 7.0) * x / 50.0;
    }
    case TONE_ADDED_TONE:
        return x + kAddedAmplitude *
                       std::sin(2.0 * std::numbers::pi *
                                std::fmod(kAddedFrequency * static_cast<double>(frame) / fake.sampleRate, 1.0));
    default:
        return x * static_cast<double>(fake.gain);
    }
}

void processReplacing(AEffect* effect, float** inputs, float** outputs, std::int32_t frames)
{
    ToneEffect& fake = *owner(effect);
    for (std::int32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < effect->numOutputs; ++c) {
            const double x = effect->numInputs > 0 ? inputs[c][i] : 0.0;
            outputs[c][i] = static_cast<float>(shape(fake, x, fake.frame));
        }
        ++fake.frame;
    }
}

void process(AEffect* effect, float** inputs, float** outputs, std::int32_t frames)
{
    ToneEffect& fake = *owner(effect);
    for (std::int32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < effect->numOutputs; ++c) {
            const double x = effect->numInputs > 0 ? inputs[c][i] : 0.0;
            outputs[c][i] += static_cast<float>(shape(fake, x, fake.frame));
        }
        ++fake.frame;
    }
}

void setParameter(AEffect* effect, std::int32_t index, float value)
{
    if (index == 0)
        owner(effect)->gain = 2.0f * value;
}

float getParameter(AEffect* effect, std::int32_t index)
{
    return index == 0 ? owner(effect)->gain / 2.0f : 0.0f;
}

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* toneEntry(audioMasterCallback)
{
    auto* fake = new ToneEffect;
    AEffect& record = fake->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatcher;
    record.process = process;
    record.processReplacing = processReplacing;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.numPrograms = 1;
    record.numParams = 1;
    record.numInputs = TONE_KIND == TONE_NO_INPUTS ? 0 : 2;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    record.ioRatio = 1.0f;
    record.object = fake;
    record.uniqueID = fourCharCode("Tone");
    record.version = 1;
    return &record;
}

// C++ will not name a function main with this signature; the assembler can.
asm(".globl main\n"
    ".type main, @function\n"
    ".set main, toneEntry\n");
