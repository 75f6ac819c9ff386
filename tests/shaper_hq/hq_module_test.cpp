// The HQ module loaded from its file and driven only through its record, as a host drives
// it, against the core driven directly with the values in the controls' own units.
#include "descriptor.h"
#include "module_loader.h"
#include "soft_knee_hq.h"
#include "soft_knee_hq_presets.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using EntryPoint = AEffect*(EFFECT_CALL*)(audioMasterCallback);
using Channels = std::vector<float>[2];
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr std::int32_t kFrames = 3000;

std::intptr_t EFFECT_CALL host(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
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

// Noise up to +-2 in both channels, different in each, from integers: the same on every target.
void makeInput(Channels& in)
{
    std::uint32_t state = 0x9e3779b9u;
    for (auto& channel : in) {
        channel.resize(kFrames);
        for (float& sample : channel) {
            state = state * 1664525u + 1013904223u;
            sample = static_cast<float>(static_cast<std::int32_t>(state)) * 0x1p-30f;
        }
    }
}

// Blocks of uneven sizes, an empty and a negative one among them, as a host may send.
template <typename Run> void inBlocks(Run run)
{
    const std::int32_t sizes[] = {1, 0, 64, 333, -5, 7, 512, 1100};
    for (std::int32_t start = 0, n = 0; start < kFrames; ++n) {
        const std::int32_t size = std::min(sizes[n % 8], kFrames - start);
        run(start, size);
        start += std::max(size, 0);
    }
}

// A new effect runs program 0's values from its first frame; so does this core.
void startAsTheModule(SoftKneeHq& core)
{
    for (std::int32_t index = 0; index < kHqControlCount; ++index) {
        setHqControl(core, index, kHqPresets[0].values[index]);
    }
    core.reset();
}

void renderCore(SoftKneeHq& core, const Channels& in, Channels& out)
{
    for (auto& channel : out) {
        channel.assign(kFrames, 0.0f);
    }
    inBlocks([&](std::int32_t start, std::int32_t n) {
        core.process(in[0].data() + start, in[1].data() + start, out[0].data() + start, out[1].data() + start, n);
    });
}

// processReplacing, or process adding onto what out holds, through the record.
void renderModule(AEffect* effect, bool replacing, Channels& in, Channels& out)
{
    inBlocks([&](std::int32_t start, std::int32_t n) {
        float* inputs[] = {in[0].data() + start, in[1].data() + start};
        float* outputs[] = {out[0].data() + start, out[1].data() + start};
        (replacing ? effect->processReplacing : effect->process)(effect, inputs, outputs, n);
    });
}

class HqModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.loaded()) << LoadedModule::lastError();
        const auto entry = module.find<EntryPoint>("main");
        ASSERT_NE(entry, nullptr);
        effect = entry(host);
        ASSERT_NE(effect, nullptr);
        delayAtEntry = effect->initialDelay;
        dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        dispatch(effect, effMainsChanged, 0, 1);
        makeInput(in);
    }
    void TearDown() override
    {
        if (effect != nullptr) {
            EXPECT_EQ(dispatch(effect, effClose), 1);
        }
    }
    void set(const float (&normalised)[6])
    {
        for (std::int32_t index = 0; index < 6; ++index) {
            effect->setParameter(effect, index, normalised[index]);
        }
    }

    LoadedModule module{HQ_MODULE_PATH};
    AEffect* effect = nullptr;
    std::int32_t delayAtEntry = -1; // the record's delay as the entry point returned it
    Channels in;
};

TEST_F(HqModule, IdentityAndLatencyInTheRecordAtEveryRateAndQuality)
{
    EXPECT_EQ(delayAtEntry, 84) << "a host may read the delay before it sets a rate";
    EXPECT_EQ(effect->uniqueID, fourCharCode("OQbH"));
    EXPECT_EQ(effect->numPrograms, 6);
    EXPECT_EQ(effect->numParams, 8);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsCanMono);
    EXPECT_EQ(text(effect, effGetEffectName, 0), "SoftKneeShaper HQ");
    EXPECT_EQ(text(effect, effGetVendorString, 0), "SoftKneeShaper");
    EXPECT_EQ(dispatch(effect, effGetPlugCategory), 1);
    for (const float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        dispatch(effect, effSetSampleRate, 0, 0, nullptr, rate);
        for (const float quality : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
            effect->setParameter(effect, 5, quality);
            EXPECT_EQ(effect->initialDelay, hqLatencyFrames(rate)) << rate << " Hz, Quality " << quality;
        }
    }
    EXPECT_EQ(effect->initialDelay, 84);
    // The soft bypass, offered and taken, keeps the delay the host compensates.
    char bypass[] = "bypass";
    char other[] = "sendVstEvents";
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, bypass), 1);
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, other), 0);
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, nullptr), 0);
    EXPECT_EQ(dispatch(effect, effSetBypass, 0, 1), 1);
    EXPECT_EQ(effect->initialDelay, 84);
}

TEST_F(HqModule, ParameterTextsReadAsTheLv2ControlsDo)
{
    const struct {
        std::int32_t index;
        float normalised;
        const char* name;
        const char* label;
        const char* display;
    } rows[] = {
        {0, 0.0f, "Boost", "x", "1.0 x"},      {0, 1.0f, "Boost", "x", "11.0 x"},
        {0, 0.04f, "Boost", "x", "1.4 x"},     {1, 0.5f, "Knee", "", "0.50"},
        {2, 0.125f, "Hardness", "", "0.13"},   {3, 0.375f, "Output", "dB", "-6.0 dB"},
        {3, 0.0f, "Output", "dB", "-24.0 dB"}, {3, 1.0f, "Output", "dB", "24.0 dB"},
        {4, 0.5f, "Mix", "%", "50 %"},         {4, 1.0f, "Mix", "%", "100 %"},
        {5, 0.75f, "Quality", "", "8x"},       {5, 1.0f, "Quality", "", "16x"},
        {5, 0.0f, "Quality", "", "1x"},        {5, 0.3f, "Quality", "", "2x"},
        {6, 0.0f, "Auto gain", "", "Off"},     {6, 1.0f, "Auto gain", "", "On"},
        {7, 1.0f, "Ceiling", "dB", "Off"},     {7, 0.0f, "Ceiling", "dB", "-12.0 dB"},
        {7, 0.5f, "Ceiling", "dB", "-5.5 dB"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(row.normalised));
        effect->setParameter(effect, row.index, row.normalised);
        EXPECT_EQ(text(effect, effGetParamName, row.index), row.name);
        EXPECT_EQ(text(effect, effGetParamLabel, row.index), row.label);
        EXPECT_EQ(text(effect, effGetParamDisplay, row.index), row.display);
    }
}

// A host that saves what it reads and writes it back, as many do with automation and state,
// must find the same value and the same text: for every parameter, at the ends and between.
TEST_F(HqModule, ParameterWrittenBackAsReadChangesIt)
{
    for (std::int32_t index = 0; index < effect->numParams; ++index) {
        for (const float value : {0.0f, 0.01f, 0.1f, 0.3f, 0.37f, 0.5f, 0.625f, 0.75f, 0.77f, 0.99f, 1.0f}) {
            effect->setParameter(effect, index, value);
            const float read = effect->getParameter(effect, index);
            const std::string display = text(effect, effGetParamDisplay, index);
            effect->setParameter(effect, index, read);
            EXPECT_EQ(std::bit_cast<std::uint32_t>(effect->getParameter(effect, index)), std::bit_cast<std::uint32_t>(read))
                << "parameter " << index << " at " << value;
            EXPECT_EQ(text(effect, effGetParamDisplay, index), display) << "parameter " << index << " at " << value;
        }
    }
}

// Settings as a host sends them, and the same in the core's units.
struct Setting {
    float normalised[6];
    float boost, knee, hardness, outputDb, mixPercent, quality;
};

// Every control away from its initial value in some row, every Quality, the ends of each.
const Setting kSettings[] = {
    {{0.5f, 0.4f, 0.5f, 0.375f, 1.0f, 0.75f}, 6.0f, 0.4f, 0.5f, -6.0f, 100.0f, 3.0f},
    {{1.0f, 0.1f, 0.0f, 0.5f, 1.0f, 1.0f}, 11.0f, 0.1f, 0.0f, 0.0f, 100.0f, 4.0f},
    {{0.3f, 0.5f, 1.0f, 0.75f, 0.5f, 0.0f}, 4.0f, 0.5f, 1.0f, 12.0f, 50.0f, 0.0f},
    {{0.0f, 1.0f, 0.2f, 0.0f, 0.25f, 0.25f}, 1.0f, 1.0f, 0.2f, -24.0f, 25.0f, 1.0f},
    {{0.7f, 0.0f, 0.9f, 1.0f, 0.0f, 0.5f}, 8.0f, 0.0f, 0.9f, 24.0f, 0.0f, 2.0f},
};

void setCore(SoftKneeHq& core, const Setting& s)
{
    core.setBoost(s.boost);
    core.setKnee(s.knee);
    core.setHardness(s.hardness);
    core.setOutputDb(s.outputDb);
    core.setMixPercent(s.mixPercent);
    core.setQuality(s.quality);
}

void expectSameBits(const Channels& got, const Channels& want, const std::string& what)
{
    for (int ch = 0; ch < 2; ++ch) {
        for (std::int32_t i = 0; i < kFrames; ++i) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(got[ch][i]), std::bit_cast<std::uint32_t>(want[ch][i]))
                << what << ": channel " << ch << ", frame " << i;
        }
    }
}

// One effect and one core taken through every setting in turn, so glides and Quality
// fades between settings are compared too; process adds the core's output onto the input.
TEST_F(HqModule, OutputIsTheCoresBitForBitAtEverySettingBothWays)
{
    SoftKneeHq core(48000.0);
    startAsTheModule(core);
    Channels got, want;
    for (const Setting& setting : kSettings) {
        SCOPED_TRACE("Quality " + std::to_string(setting.quality) + ", Mix " + std::to_string(setting.mixPercent));
        set(setting.normalised);
        setCore(core, setting);
        renderCore(core, in, want);
        got[0] = got[1] = std::vector<float>(kFrames, kNaN);
        renderModule(effect, true, in, got);
        expectSameBits(got, want, "processReplacing");

        renderCore(core, in, want);
        got[0] = in[0];
        got[1] = in[1];
        renderModule(effect, false, got, got);
        for (int ch = 0; ch < 2; ++ch) {
            for (std::int32_t i = 0; i < kFrames; ++i) {
                want[ch][i] += in[ch][i];
            }
        }
        expectSameBits(got, want, "process in place");
    }
}

TEST_F(HqModule, ProgramsSwitchToThePresetsValuesAndNameThemInTheMenu)
{
    SoftKneeHq core(48000.0);
    startAsTheModule(core);
    Channels got, want;
    for (std::int32_t program = 0; program < 6; ++program) {
        const HqPreset& preset = kHqPresets[program];
        SCOPED_TRACE(preset.name);
        dispatch(effect, effSetProgram, 0, program);
        EXPECT_EQ(dispatch(effect, effGetProgram), program);
        EXPECT_EQ(text(effect, effGetProgramName, 0), preset.name);
        for (std::int32_t index = 0; index < kHqControlCount; ++index) {
            setHqControl(core, index, preset.values[index]);
        }
        renderCore(core, in, want);
        got[0] = got[1] = std::vector<float>(kFrames);
        renderModule(effect, true, in, got);
        expectSameBits(got, want, "after the switch");
    }
    char name[32] = "Renamed, and longer than a menu";
    dispatch(effect, effSetProgramName, 0, 0, name);
    for (std::int32_t program = 0; program < 6; ++program) {
        char menu[32];
        std::memset(menu, '#', sizeof menu);
        EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, program, 0, menu), 1);
        EXPECT_STREQ(menu, program == 5 ? "Renamed, and longer tha" : kHqPresets[program].name);
    }
    EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, 6, 0, name), 0);
    EXPECT_EQ(dispatch(effect, effGetProgram), 5) << "the menu's question switched the program";
}

TEST_F(HqModule, AnImpulsePeaksAtTheRecordsDelayAtEveryQuality)
{
    for (const float quality : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
        set({0.0f, 1.0f, 0.0f, 0.5f, 1.0f, quality});
        dispatch(effect, effMainsChanged, 0, 0);
        dispatch(effect, effMainsChanged, 0, 1);
        Channels impulse = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
        impulse[0][100] = impulse[1][100] = 0.5f;
        Channels out = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
        renderModule(effect, true, impulse, out);
        for (const auto& channel : out) {
            const auto peak = std::max_element(channel.begin(), channel.end(),
                                               [](float a, float b) { return std::fabs(a) < std::fabs(b); });
            EXPECT_EQ(peak - channel.begin(), 100 + effect->initialDelay) << "Quality " << quality;
        }
    }
}

// The host's bypass request fades the module as it fades the core, both ways, at any setting.
TEST_F(HqModule, HostBypassFadesAsTheCoreDoes)
{
    SoftKneeHq core(48000.0);
    startAsTheModule(core);
    set(kSettings[0].normalised);
    setCore(core, kSettings[0]);
    Channels got, want;
    for (const bool bypassed : {true, false, true}) {
        dispatch(effect, effSetBypass, 0, bypassed ? 1 : 0);
        core.setBypass(bypassed);
        renderCore(core, in, want);
        got[0] = got[1] = std::vector<float>(kFrames, kNaN);
        renderModule(effect, true, in, got);
        expectSameBits(got, want, bypassed ? "bypassed" : "back");
    }
}

// A host's MXCSR (rounding, flush to zero, denormals are zero, masks and sticky flags) is as it
// left it after calls through the record that compute, and the output is the same bits in
// every mode: default; flush to zero and denormals are zero; toward zero with every flag
// raised; up with the inexact flag; invalid operation and division by zero unmasked.
TEST_F(HqModule, ACallChangesTheHostsFloatingPointEnvironmentOrDependsOnIt)
{
    Channels expected;
    for (const unsigned int mode : {0x1f80u, 0x9fc0u, 0x7fbfu, 0x5fa0u, 0x1d00u}) {
        SCOPED_TRACE(::testing::Message() << "MXCSR " << std::hex << mode);
        Channels out = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
        const unsigned int saved = _mm_getcsr();
        _mm_setcsr(mode);
        dispatch(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
        dispatch(effect, effSetProgram, 0, 1);
        set({0.3f, 0.37f, 0.61f, 0.43f, 0.77f, 0.5f});
        dispatch(effect, effMainsChanged, 0, 0);
        dispatch(effect, effMainsChanged, 0, 1);
        for (std::int32_t index = 0; index < 6; ++index) {
            effect->getParameter(effect, index);
            text(effect, effGetParamDisplay, index);
        }
        renderModule(effect, true, in, out);
        renderModule(effect, false, in, out);
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after, mode);
        if (mode == 0x1f80u) {
            expected[0] = out[0];
            expected[1] = out[1];
        }
        expectSameBits(out, expected, "the default mode's output");
    }
}

TEST_F(HqModule, AnyValueAHostSendsGivesFiniteOutputAndAValueInRange)
{
    const float wild[] = {kNaN, kInfinity, -kInfinity, -1.0f, 2.0f, 1e30f, -0.0f};
    Channels out = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
    for (const float value : wild) {
        for (std::int32_t index = 0; index < 8; ++index) {
            SCOPED_TRACE(std::to_string(value) + " to parameter " + std::to_string(index));
            effect->setParameter(effect, index, value);
            const float answer = effect->getParameter(effect, index);
            EXPECT_TRUE(answer >= 0.0f && answer <= 1.0f) << answer;
            renderModule(effect, true, in, out);
            for (const auto& channel : out) {
                EXPECT_TRUE(std::all_of(channel.begin(), channel.end(), [](float y) { return std::isfinite(y); }));
            }
        }
    }
}

} // namespace
