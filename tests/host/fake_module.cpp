// Small stand-in modules for the host's tests, one per FAKE_KIND, each faulty
// in one known way (or not at all: the pass-through). They are built from this
// file with different definitions so every fault plughost must report has a module.
#include "descriptor.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#define FAKE_PASS_THROUGH 1
#define FAKE_NULL_ENTRY 2
#define FAKE_WRONG_MAGIC 3
#define FAKE_NO_ENTRY 4
#define FAKE_ALLOCATING 5
#define FAKE_LOCKING 6
#define FAKE_OVERRUNNING 7
#define FAKE_LONG_NAME 8
#define FAKE_NAN_AT_FULL_GAIN 9
#define FAKE_STICKY_NAN 10
#define FAKE_SUBNORMAL 11
#define FAKE_NULL_DISPATCHER 12
#define FAKE_NULL_GET_PARAMETER 13
#define FAKE_NULL_SET_PARAMETER 14
#define FAKE_HUGE_PARAMETER_COUNT 15
#define FAKE_HUGE_CHANNEL_COUNT 16
#define FAKE_LOGGING 17
#define FAKE_SLEEPING 18
#define FAKE_CROSSED 19
#define FAKE_BLOCK_LENGTH 20
#define FAKE_NO_PROCESSING 21
#define FAKE_IDENTIFIED 22
#define FAKE_BAD_IDENTITY 23

namespace {

// A one-parameter stereo gain: output = input * gain, gain = 2 * value.
struct FakeEffect {
    AEffect record{};
    float gain = 1.0f;
    float memory[2] = {};
    std::mutex lock;
};

FakeEffect* owner(AEffect* effect)
{
    return static_cast<FakeEffect*>(effect->object);
}

std::intptr_t dispatcher(AEffect* effect, std::int32_t opcode, std::int32_t, std::intptr_t, void* ptr, float)
{
    switch (opcode) {
    case effClose:
        delete owner(effect);
        return 1;
    case effGetParamName:
        std::strcpy(static_cast<char*>(ptr), FAKE_KIND == FAKE_LONG_NAME ? "A gain name too long" : "Gain");
        return 0;
    case effGetParamLabel:
        std::strcpy(static_cast<char*>(ptr), "x");
        return 0;
    case effGetParamDisplay:
        std::strcpy(static_cast<char*>(ptr), owner(effect)->gain < 1.0f ? "low" : "high");
        return 0;
    case effGetProgramName:
        std::strcpy(static_cast<char*>(ptr), "Fake");
        return 0;
    // Only the identified kinds answer a scan; the bad one with a name too long for its
    // 32 bytes and a version that changes with every call.
    case effGetEffectName:
        if (FAKE_KIND != FAKE_IDENTIFIED && FAKE_KIND != FAKE_BAD_IDENTITY)
            return 0;
        std::strcpy(static_cast<char*>(ptr),
                    FAKE_KIND == FAKE_BAD_IDENTITY ? "A fake effect name too long for 32" : "Fake Gain");
        return 1;
    case effGetVendorString:
        if (FAKE_KIND != FAKE_IDENTIFIED && FAKE_KIND != FAKE_BAD_IDENTITY)
            return 0;
        std::strcpy(static_cast<char*>(ptr), "Fake Maker");
        return 1;
    case effGetProductString:
        if (FAKE_KIND != FAKE_IDENTIFIED && FAKE_KIND != FAKE_BAD_IDENTITY)
            return 0;
        std::strcpy(static_cast<char*>(ptr), "Fake Product Line");
        return 1;
    case effGetVendorVersion: {
        static std::intptr_t calls = 0;
        if (FAKE_KIND == FAKE_BAD_IDENTITY)
            return 70203 + calls++;
        return FAKE_KIND == FAKE_IDENTIFIED ? 70203 : 0;
    }
    case effGetPlugCategory:
        return FAKE_KIND == FAKE_IDENTIFIED || FAKE_KIND == FAKE_BAD_IDENTITY ? kCategoryEffect : 0;
    default:
        return 0;
    }
}

// Where the logging module writes: a stream like stderr, without flooding the test's output.
FILE* logFile()
{
    static FILE* file = std::fopen("/dev/null", "w");
    return file;
}

void processReplacing(AEffect* effect, float** inputs, float** outputs, std::int32_t frames)
{
    FakeEffect* fake = owner(effect);
    if (FAKE_KIND == FAKE_LOGGING)
        std::fprintf(logFile(), "block of %d frames\n", static_cast<int>(frames));
    if (FAKE_KIND == FAKE_SLEEPING)
        usleep(100);
    if (FAKE_KIND == FAKE_BLOCK_LENGTH) {
        // Each sample says how long its block was, so a file shows where the host cut it.
        for (int c = 0; c < 2; ++c)
            for (std::int32_t i = 0; i < frames; ++i)
                outputs[c][i] = static_cast<float>(frames);
        return;
    }
    if (FAKE_KIND == FAKE_ALLOCATING) {
        void* volatile scratch = std::malloc(64);
        std::free(scratch);
    }
    if (FAKE_KIND == FAKE_LOCKING) {
        fake->lock.lock();
        fake->lock.unlock();
    }
    const std::int32_t last = FAKE_KIND == FAKE_OVERRUNNING ? frames + 1 : frames;
    for (int c = 0; c < 2; ++c)
        for (std::int32_t i = 0; i < last; ++i) {
            float y = inputs[c][i] * fake->gain;
            if (FAKE_KIND == FAKE_NAN_AT_FULL_GAIN && fake->gain == 2.0f)
                y = y / 0.0f - y / 0.0f;
            if (FAKE_KIND == FAKE_STICKY_NAN)
                y = fake->memory[c] = 0.5f * fake->memory[c] + y;
            if (FAKE_KIND == FAKE_SUBNORMAL)
                y *= 1e-39f;
            if (FAKE_KIND == FAKE_CROSSED)
                y = inputs[1 - c][i] * fake->gain;
            outputs[c][i] = y;
        }
}

void process(AEffect* effect, float** inputs, float** outputs, std::int32_t frames)
{
    for (int c = 0; c < 2; ++c)
        for (std::int32_t i = 0; i < frames; ++i)
            outputs[c][i] += FAKE_KIND == FAKE_BLOCK_LENGTH ? static_cast<float>(frames)
                             : FAKE_KIND == FAKE_CROSSED    ? inputs[1 - c][i] * owner(effect)->gain
                                                            : inputs[c][i] * owner(effect)->gain;
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

extern "C" __attribute__((visibility("default"))) AEffect* fakeEntry(audioMasterCallback)
{
    if (FAKE_KIND == FAKE_NULL_ENTRY)
        return nullptr;
    // The log is opened here, so its allocation stays off the audio path and only the writing is there.
    if (FAKE_KIND == FAKE_LOGGING)
        logFile();
    // A host cannot close a record it refuses (the wrong magic, a null function, absurd counts),
    // so those are never heap objects to leak.
    static FakeEffect untrusted;
    constexpr bool refused = FAKE_KIND == FAKE_WRONG_MAGIC || FAKE_KIND == FAKE_NULL_DISPATCHER ||
                             FAKE_KIND == FAKE_NULL_GET_PARAMETER || FAKE_KIND == FAKE_NULL_SET_PARAMETER ||
                             FAKE_KIND == FAKE_HUGE_PARAMETER_COUNT || FAKE_KIND == FAKE_HUGE_CHANNEL_COUNT;
    auto* fake = refused ? &untrusted : new FakeEffect;
    AEffect& record = fake->record;
    record.magic = FAKE_KIND == FAKE_WRONG_MAGIC ? fourCharCode("Oops") : kEffectMagic;
    record.dispatcher = FAKE_KIND == FAKE_NULL_DISPATCHER ? nullptr : dispatcher;
    record.process = FAKE_KIND == FAKE_NO_PROCESSING ? nullptr : process;
    record.processReplacing = FAKE_KIND == FAKE_NO_PROCESSING ? nullptr : processReplacing;
    record.setParameter = FAKE_KIND == FAKE_NULL_SET_PARAMETER ? nullptr : setParameter;
    record.getParameter = FAKE_KIND == FAKE_NULL_GET_PARAMETER ? nullptr : getParameter;
    record.numPrograms = 1;
    record.numParams = FAKE_KIND == FAKE_HUGE_PARAMETER_COUNT ? 2147483647 : 1;
    record.numInputs = FAKE_KIND == FAKE_HUGE_CHANNEL_COUNT ? 1000000000 : 2;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    record.ioRatio = 1.0f;
    record.object = fake;
    record.uniqueID = fourCharCode("Fake");
    record.version = 7;
    return &record;
}

// C++ will not name a function main with this signature; the assembler can.
#if FAKE_KIND != FAKE_NO_ENTRY
asm(".globl main\n"
    ".type main, @function\n"
    ".set main, fakeEntry\n");
#endif
