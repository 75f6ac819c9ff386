// Drives the built module as a host does: load the file, look up the entry point by
// name, and from then on use nothing but the record's fields and function pointers.

#include "descriptor.h"
#include "module_loader.h"
#include "project_version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using EntryPoint = AEffect*(EFFECT_CALL*)(audioMasterCallback);

struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    std::intptr_t value;
    void* ptr;
    float opt;
};

std::vector<HostCall> hostCalls;
std::intptr_t versionAnswer = 2400;

std::intptr_t EFFECT_CALL recordingHost(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                        void* ptr, float opt)
{
    hostCalls.push_back({effect, opcode, index, value, ptr, opt});
    return opcode == audioMasterVersion ? versionAnswer : 0;
}

std::string modulePath()
{
    const char* fromEnvironment = std::getenv("SHAPER_MODULE");
    return fromEnvironment != nullptr ? fromEnvironment : SHAPER_MODULE_PATH;
}

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

std::intptr_t dispatch(AEffect* effect, std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                       void* ptr = nullptr, float opt = 0.0f)
{
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

std::string text(AEffect* effect, std::int32_t opcode, std::int32_t index)
{
    char buffer[64] = {};
    dispatch(effect, opcode, index, 0, buffer);
    return buffer;
}

class Module : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module = new LoadedModule(modulePath());
        if (module->loaded()) {
            entry = module->find<EntryPoint>("main");
        } else {
            loadError = LoadedModule::lastError();
        }
    }
    static void TearDownTestSuite()
    {
        delete module;
        module = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(module->loaded()) << modulePath() << ": " << loadError;
        ASSERT_NE(entry, nullptr) << "no export named main";
        hostCalls.clear();
        versionAnswer = 2400;
    }
    AEffect* create()
    {
        AEffect* effect = entry(recordingHost);
        EXPECT_NE(effect, nullptr);
        return effect;
    }

    static LoadedModule* module;
    static EntryPoint entry;
    static std::string loadError;
};

LoadedModule* Module::module = nullptr;
EntryPoint Module::entry = nullptr;
std::string Module::loadError;

TEST_F(Module, ExportsTheEntryPointUnderItsNames)
{
    const auto modern = module->find<EntryPoint>("VSTPluginMain");
#if defined(_WIN32) && !defined(_WIN64)
    EXPECT_EQ(modern, nullptr) << "the 32-bit module exports main alone";
#else
    EXPECT_EQ(modern, entry);
#endif
}

TEST_F(Module, RefusesAHostThatAnswersNoVersion)
{
    versionAnswer = 0;
    EXPECT_EQ(entry(recordingHost), nullptr);
    ASSERT_EQ(hostCalls.size(), 1u);
    const HostCall& query = hostCalls[0];
    EXPECT_EQ(query.effect, nullptr);
    EXPECT_EQ(query.opcode, audioMasterVersion);
    EXPECT_EQ(query.index, 0);
    EXPECT_EQ(query.value, 0);
    EXPECT_EQ(query.ptr, nullptr);
    EXPECT_EQ(bits(query.opt), bits(0.0f));
}

TEST_F(Module, AcceptsAnyVersionAndANullCallback)
{
    versionAnswer = 1;
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(dispatch(effect, effClose), 1);

    AEffect* withoutHost = entry(nullptr);
    ASSERT_NE(withoutHost, nullptr);
    EXPECT_EQ(withoutHost->uniqueID, 0x4F516252);
    EXPECT_EQ(dispatch(withoutHost, effClose), 1);
}

TEST_F(Module, DescriptorOfANewEffect)
{
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(hostCalls.size(), 1u) << "main asks the version and nothing else";
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_TRUE(effect->dispatcher && effect->process && effect->processReplacing && effect->setParameter &&
                effect->getParameter);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_EQ(effect->numPrograms, 1);
    EXPECT_EQ(effect->numParams, 3);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, effFlagsCanReplacing | effFlagsCanMono);
    EXPECT_EQ(bits(effect->ioRatio), bits(1.0f));
    EXPECT_EQ(effect->uniqueID, 0x4F516252);
    EXPECT_EQ(effect->version, 1);
    EXPECT_EQ(dispatch(effect, effGetProgram), 0);
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

TEST_F(Module, ParametersAndTextsThroughTheRecord)
{
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    const char* names[] = {"Boost", "Knee", "Hardness"};
    const char* labels[] = {"Soyuz", "Tesk", "Proton"};
    const char* displays[] = {"1.000000", "0.500000", "0.000000"};
    const float values[] = {0.0f, 0.5f, 0.0f};
    for (std::int32_t index = 0; index < 3; ++index) {
        EXPECT_EQ(text(effect, effGetParamName, index), names[index]);
        EXPECT_EQ(text(effect, effGetParamLabel, index), labels[index]);
        EXPECT_EQ(text(effect, effGetParamDisplay, index), displays[index]);
        EXPECT_EQ(bits(effect->getParameter(effect, index)), bits(values[index]));
    }
    EXPECT_EQ(text(effect, effGetProgramName, 0), "Orvantel Quen'Bristle");

    effect->setParameter(effect, 0, 1.0f);
    effect->setParameter(effect, 1, 1.5f);
    effect->setParameter(effect, 2, 0.25f);
    EXPECT_EQ(text(effect, effGetParamDisplay, 0), "11.00000");
    EXPECT_EQ(bits(effect->getParameter(effect, 0)), bits(1.0f));
    EXPECT_EQ(bits(effect->getParameter(effect, 1)), bits(1.5f));
    EXPECT_EQ(text(effect, effGetParamDisplay, 2), "0.250000");
    effect->setParameter(effect, 0, 0.01f);
    EXPECT_EQ(bits(effect->getParameter(effect, 0)), bits(0.010000002570450305938720703125f));

    EXPECT_EQ(dispatch(effect, effClose), 1);
}

// A host that saves what it reads and writes it back, as many do with automation and state,
// must find the same value and the same text: for every parameter, at the ends and between.
TEST_F(Module, ParameterWrittenBackAsReadChangesIt)
{
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    for (std::int32_t index = 0; index < effect->numParams; ++index) {
        for (const float value : {0.0f, 0.01f, 0.1f, 0.3f, 0.37f, 0.5f, 0.77f, 0.99f, 1.0f}) {
            effect->setParameter(effect, index, value);
            const float read = effect->getParameter(effect, index);
            const std::string display = text(effect, effGetParamDisplay, index);
            effect->setParameter(effect, index, read);
            EXPECT_EQ(bits(effect->getParameter(effect, index)), bits(read)) << "parameter " << index << " at " << value;
            EXPECT_EQ(text(effect, effGetParamDisplay, index), display) << "parameter " << index << " at " << value;
        }
    }
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

TEST_F(Module, AnswersTheScanQuestions)
{
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    const struct {
        std::int32_t opcode;
        std::size_t bufferBytes;
        std::string text;
    } texts[] = {
        {effGetEffectName, 32, "SoftKneeShaper"},
        {effGetVendorString, 64, kProjectName},
        {effGetProductString, 64, kProjectName},
    };
    constexpr unsigned char kGuard = 0xA5;
    for (const auto& request : texts) {
        SCOPED_TRACE(request.opcode);
        // Asked twice, as hosts do: once while scanning, once when they load the effect.
        for (int round = 0; round < 2; ++round) {
            std::vector<unsigned char> buffer(request.bufferBytes + 32, kGuard);
            EXPECT_EQ(dispatch(effect, request.opcode, 0, 0, buffer.data()), 1);
            const auto zero = std::find(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(request.bufferBytes), 0);
            ASSERT_NE(zero, buffer.begin() + static_cast<std::ptrdiff_t>(request.bufferBytes)) << "no terminating zero";
            EXPECT_EQ(std::string(buffer.begin(), zero), request.text);
            EXPECT_TRUE(std::all_of(zero + 1, buffer.end(), [](unsigned char b) { return b == kGuard; }))
                << "a byte written past the text";
        }
        EXPECT_EQ(dispatch(effect, request.opcode, 0, 0, nullptr), 0);
    }
    EXPECT_EQ(dispatch(effect, effGetPlugCategory), 1) << "an effect";
    EXPECT_EQ(dispatch(effect, effGetVendorVersion),
              kProjectVersionMajor * 10000 + kProjectVersionMinor * 100 + kProjectVersionPatch);
    EXPECT_EQ(hostCalls.size(), 1u) << "no question is passed on to the host";
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

TEST_F(Module, OtherOpcodesOutsideTheTableAnswerZeroAndTouchNothing)
{
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    const AEffect before = *effect;
    // Between and beside the scan questions, and 58, which a module of a later revision answers.
    for (std::int32_t opcode : {23, 24, 25, 26, 29, 33, 34,  36,  39,   42, 44,  46,  50,  51,      53,     56,
                                58, 59, 62, 63, 71, 77, 100, 255, 4096, -1, -23, -35, -49, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(opcode);
        unsigned char buffer[256];
        std::memset(buffer, 0xA5, sizeof buffer);
        EXPECT_EQ(dispatch(effect, opcode, 1, 1, buffer, 1.0f), 0);
        EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](unsigned char b) { return b == 0xA5; }));
        EXPECT_EQ(dispatch(effect, opcode, 0, 0, nullptr, 0.0f), 0);
    }
    EXPECT_EQ(std::memcmp(&before, effect, sizeof before), 0);
    EXPECT_EQ(text(effect, effGetProgramName, 0), "Orvantel Quen'Bristle");
    EXPECT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

// Inputs whose results at the initial settings are known exactly, cycled through a block.
struct Known {
    float input;
    float output;
};
const Known kKnown[] = {{0.25f, 0.25f},  {0.75f, 0.666666686534881591796875f},
                        {1.0f, 0.75f},   {-2.0f, -0.875f},
                        {10.0f, 0.975f}, {-0.0f, -0.0f},
                        {0.5f, 0.5f}};
constexpr std::size_t kKnownCount = sizeof kKnown / sizeof kKnown[0];

TEST_F(Module, BlocksOfOddSizes)
{
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    const float guard = 123.0f;
    for (std::int32_t frames : {1, 3, 17, 255, 1001}) {
        const std::size_t n = static_cast<std::size_t>(frames);
        std::vector<float> left(n);
        std::vector<float> right(n);
        for (std::size_t i = 0; i < n; ++i) {
            left[i] = kKnown[i % kKnownCount].input;
            right[i] = kKnown[(i + 3) % kKnownCount].input;
        }
        std::vector<float> outLeft(n + 1, guard);
        std::vector<float> outRight(n + 1, guard);
        float* inputs[2] = {left.data(), right.data()};
        float* outputs[2] = {outLeft.data(), outRight.data()};

        effect->processReplacing(effect, inputs, outputs, frames);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(bits(outLeft[i]), bits(kKnown[i % kKnownCount].output)) << frames << " at " << i;
            ASSERT_EQ(bits(outRight[i]), bits(kKnown[(i + 3) % kKnownCount].output)) << frames << " at " << i;
        }
        effect->process(effect, inputs, outputs, frames);
        for (std::size_t i = 0; i < n; ++i) {
            const float once = kKnown[i % kKnownCount].output;
            ASSERT_EQ(bits(outLeft[i]), bits(once + once)) << frames << " at " << i;
        }
        EXPECT_EQ(bits(outLeft[n]), bits(guard));
        EXPECT_EQ(bits(outRight[n]), bits(guard));
    }
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

TEST_F(Module, InstancesAreIndependent)
{
    AEffect* first = create();
    AEffect* second = create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first, second);
    first->setParameter(first, 2, 1.0f);
    dispatch(first, effSetProgramName, 0, 0, const_cast<char*>("First"));
    EXPECT_EQ(bits(second->getParameter(second, 2)), bits(0.0f));
    EXPECT_EQ(text(second, effGetProgramName, 0), "Orvantel Quen'Bristle");

    float in[2] = {1.0f, 1.0f};
    float out[2][2] = {};
    float* inputs[2] = {&in[0], &in[1]};
    float* firstOut[2] = {&out[0][0], &out[0][1]};
    float* secondOut[2] = {&out[1][0], &out[1][1]};
    first->processReplacing(first, inputs, firstOut, 1);
    second->processReplacing(second, inputs, secondOut, 1);
    EXPECT_EQ(bits(out[0][0]), bits(0.5f)) << "hard clipping at the knee";
    EXPECT_EQ(bits(out[1][0]), bits(0.75f)) << "soft knee unchanged";

    EXPECT_EQ(dispatch(first, effClose), 1);
    EXPECT_EQ(bits(second->getParameter(second, 1)), bits(0.5f));
    EXPECT_EQ(dispatch(second, effClose), 1);
}

TEST_F(Module, AThousandCreateCloseCycles)
{
    for (int cycle = 0; cycle < 1000; ++cycle) {
        AEffect* effect = entry(recordingHost);
        ASSERT_NE(effect, nullptr) << "cycle " << cycle;
        dispatch(effect, effOpen);
        effect->setParameter(effect, 0, static_cast<float>(cycle) / 1000.0f);
        ASSERT_EQ(dispatch(effect, effClose), 1) << "cycle " << cycle;
    }
    EXPECT_EQ(hostCalls.size(), 1000u);
}

} // namespace
