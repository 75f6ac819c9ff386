// The entry functions and the dispatcher, driven through the record as a host drives them.
#include "recording_effect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

namespace {

std::intptr_t dispatch(AEffect* record, std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                       void* ptr = nullptr, float opt = 0.0f)
{
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override { callLog.reset(); }
};

using Events = std::vector<std::string>;

struct RoutingRow {
    const char* what;
    std::int32_t opcode;
    std::int32_t index;
    std::intptr_t value;
    float opt;
    Events events;
    std::intptr_t answer;
    const char* bufferAfter;
};

TEST_F(DispatchTest, EachOpcodeReachesItsOperationWithItsArguments)
{
    const RoutingRow rows[] = {
        {"open", effOpen, 0, 0, 0.0f, {"open"}, 0, "Lead"},
        {"set program", effSetProgram, 0, 1, 0.0f, {"setProgram 1"}, 0, "Lead"},
        {"get program", effGetProgram, 0, 0, 0.0f, {"getProgram"}, 2, "Lead"},
        {"set program name", effSetProgramName, 0, 0, 0.0f, {"setProgramName Lead"}, 0, "Lead"},
        {"get program name", effGetProgramName, 0, 0, 0.0f, {"wrote program"}, 0, "program"},
        {"label", effGetParamLabel, 3, 0, 0.0f, {"wrote label3"}, 0, "label3"},
        {"display", effGetParamDisplay, 1, 0, 0.0f, {"wrote disp1"}, 0, "disp1"},
        {"name", effGetParamName, 2, 0, 0.0f, {"wrote name2"}, 0, "name2"},
        {"vu", effGetVu, 0, 0, 0.0f, {"getVu"}, 16383, "Lead"},
        {"sample rate from opt", effSetSampleRate, 7, 9, 48000.0f, {"setSampleRate 48000.000000"}, 0, "Lead"},
        {"block size from value", effSetBlockSize, 7, 512, 3.0f, {"setBlockSize 512"}, 0, "Lead"},
        {"mains off", effMainsChanged, 0, 0, 0.0f, {"suspend"}, 0, "Lead"},
        {"mains on", effMainsChanged, 0, 1, 0.0f, {"resume"}, 0, "Lead"},
        {"mains on, any non-zero", effMainsChanged, 0, -1, 0.0f, {"resume"}, 0, "Lead"},
        {"identify, whatever the arguments", effIdentify, 7, -5, 2.5f, {}, kIdentifyAnswer, "Lead"},
        {"category", effGetPlugCategory, 7, -5, 2.5f, {"getPlugCategory"}, 7, "Lead"},
        {"effect name", effGetEffectName, 7, -5, 2.5f, {"wrote effect name"}, 1, "effect name"},
        {"vendor", effGetVendorString, 7, -5, 2.5f, {"wrote vendor"}, 1, "vendor"},
        {"product", effGetProductString, 7, -5, 2.5f, {"wrote product"}, 1, "product"},
        {"vendor version", effGetVendorVersion, 7, -5, 2.5f, {"getVendorVersion"}, 0x01020304, "Lead"},
        {"program menu name", effGetProgramNameIndexed, 2, -5, 2.5f, {"wrote program2"}, 1, "program2"},
    };
    for (const RoutingRow& row : rows) {
        SCOPED_TRACE(row.what);
        callLog.reset();
        RecordingEffect effect;
        effect.level = 0.5f;
        char buffer[32] = "Lead";
        const std::intptr_t answer = dispatch(effect.getAEffect(), row.opcode, row.index, row.value, buffer, row.opt);
        EXPECT_EQ(answer, row.answer);
        EXPECT_EQ(callLog.events, row.events);
        EXPECT_STREQ(buffer, row.bufferAfter);
    }
}

TEST_F(DispatchTest, OpcodesOutsideTheTableDoNothingAndAnswerZero)
{
    RecordingEffect effect;
    AEffect* record = effect.getAEffect();
    const AEffect before = *record;
    // Around the scan questions too: 58 stays unanswered, so no later revision of the interface is claimed.
    for (std::int32_t opcode : {16, 17, 18, 20, 21, 23, 24, 34, 36, 44, 46, 50, 58, 1000, -1, -22, -35,
                                std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
        SCOPED_TRACE(opcode);
        char buffer[32] = "Lead";
        EXPECT_EQ(dispatch(record, opcode, 1, 1, buffer, 1.0f), 0);
        EXPECT_STREQ(buffer, "Lead");
    }
    EXPECT_TRUE(callLog.events.empty());
    EXPECT_EQ(std::memcmp(&before, record, sizeof before), 0);
}

TEST_F(DispatchTest, TextRequestWithNullPtrDoesNothing)
{
    RecordingEffect effect;
    for (std::int32_t opcode : {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
                                effGetParamName, effGetEffectName, effGetVendorString, effGetProductString,
                                effGetProgramNameIndexed}) {
        SCOPED_TRACE(opcode);
        EXPECT_EQ(dispatch(effect.getAEffect(), opcode, 0, 0, nullptr), 0);
    }
    EXPECT_TRUE(callLog.events.empty());
}

constexpr unsigned char kGuard = 0xA5;
constexpr std::int32_t kScanQuestions[] = {effGetPlugCategory,  effGetEffectName,    effGetVendorString,
                                           effGetProductString, effGetVendorVersion, effGetProgramNameIndexed};

TEST_F(DispatchTest, ScanQuestionsByDefaultAnswerZeroAndWriteNothing)
{
    PlainEffect effect;
    for (std::int32_t opcode : kScanQuestions) {
        SCOPED_TRACE(opcode);
        unsigned char buffer[128];
        std::memset(buffer, kGuard, sizeof buffer);
        EXPECT_EQ(dispatch(effect.getAEffect(), opcode, 1, 1, buffer, 1.0f), 0);
        EXPECT_EQ(std::count(std::begin(buffer), std::end(buffer), kGuard), std::ssize(buffer));
    }
}

TEST_F(DispatchTest, ScanTextsAreCutToTheHostsBuffer)
{
    const struct {
        std::int32_t opcode;
        std::size_t bufferBytes;
        std::string RecordingEffect::*text;
    } requests[] = {
        {effGetEffectName, 32, &RecordingEffect::effectName},
        {effGetVendorString, 64, &RecordingEffect::vendor},
        {effGetProductString, 64, &RecordingEffect::product},
    };
    constexpr std::size_t kSpare = 32;
    for (const auto& request : requests) {
        for (std::size_t length : {std::size_t{0}, std::size_t{1}, request.bufferBytes - 2, request.bufferBytes - 1,
                                   request.bufferBytes, request.bufferBytes + 40}) {
            SCOPED_TRACE(std::to_string(request.opcode) + " with a text of " + std::to_string(length));
            RecordingEffect effect;
            std::string text(length, 'x');
            for (std::size_t i = 0; i < length; ++i) {
                text[i] = static_cast<char>('a' + i % 26);
            }
            effect.*request.text = text;
            std::vector<unsigned char> buffer(request.bufferBytes + kSpare, kGuard);

            EXPECT_EQ(dispatch(effect.getAEffect(), request.opcode, 0, 0, buffer.data()), 1);
            const std::size_t kept = std::min(length, request.bufferBytes - 1);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), text.substr(0, kept));
            EXPECT_EQ(std::count(buffer.begin() + static_cast<std::ptrdiff_t>(kept) + 1, buffer.end(), kGuard),
                      std::ssize(buffer) - static_cast<std::ptrdiff_t>(kept) - 1)
                << "a byte written past the terminating zero";
        }
    }
}

TEST_F(DispatchTest, ScanTextAnswerIsATruthValue)
{
    const struct {
        std::int16_t given;
        std::intptr_t answer;
    } rows[] = {{0, 0}, {1, 1}, {-2, 1}, {0x100, 1}, {std::numeric_limits<std::int16_t>::min(), 1}};
    for (const auto& row : rows) {
        for (std::int32_t opcode : {effGetEffectName, effGetVendorString, effGetProductString}) {
            SCOPED_TRACE(std::to_string(opcode) + " given " + std::to_string(row.given));
            RecordingEffect effect;
            effect.textAnswer = row.given;
            char buffer[64] = {};
            EXPECT_EQ(dispatch(effect.getAEffect(), opcode, 0, 0, buffer), row.answer);
        }
    }
}

TEST_F(DispatchTest, SetProgramTakesOnlyNumbersOfExistingPrograms)
{
    struct Row {
        std::intptr_t value;
        bool accepted;
    };
    std::vector<Row> rows = {{0, true},
                             {2, true},
                             {3, false},
                             {4, false},
                             {-1, false},
                             {std::numeric_limits<std::int32_t>::min(), false},
                             {std::numeric_limits<std::intptr_t>::max(), false}};
    if constexpr (sizeof(std::intptr_t) == 8) {
        // Cut to 32 bits these would read as programs 0 and 1.
        const auto high = static_cast<std::intptr_t>(std::int64_t{1} << 32);
        rows.push_back({high, false});
        rows.push_back({high | 1, false});
    }
    RecordingEffect effect(nullptr, 3);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        callLog.reset();
        EXPECT_EQ(dispatch(effect.getAEffect(), effSetProgram, 0, row.value), 0);
        const Events expected = row.accepted ? Events{"setProgram " + std::to_string(row.value)} : Events{};
        EXPECT_EQ(callLog.events, expected);
    }
}

TEST_F(DispatchTest, SetProgramOnOneProgramEffectKeepsTheCurrentProgram)
{
    PlainEffect effect(nullptr, 1);
    AEffect* record = effect.getAEffect();
    EXPECT_EQ(dispatch(record, effSetProgram, 0, 0), 0);
    EXPECT_EQ(dispatch(record, effGetProgram), 0);
    EXPECT_EQ(dispatch(record, effSetProgram, 0, 1), 0);
    EXPECT_EQ(dispatch(record, effGetProgram), 0);

    PlainEffect several(nullptr, 4);
    EXPECT_EQ(dispatch(several.getAEffect(), effSetProgram, 0, 3), 0);
    EXPECT_EQ(dispatch(several.getAEffect(), effGetProgram), 3);
}

TEST_F(DispatchTest, VuLevelIsScaledTruncatedAndSaturated)
{
    constexpr std::intptr_t int32Max = std::numeric_limits<std::int32_t>::max();
    constexpr std::intptr_t int32Min = std::numeric_limits<std::int32_t>::min();
    constexpr float infinity = std::numeric_limits<float>::infinity();
    const struct {
        float level;
        std::intptr_t answer;
    } rows[] = {
        {0.0f, 0},
        {1.0f, 32767},
        {0.5f, 16383},
        {-0.5f, -16383},
        {0.99999f, 32766},
        {-0.0f, 0},
        {65538.0f, 2147483646},
        {65539.0f, int32Max},
        {-65539.0f, int32Min},
        {1e30f, int32Max},
        {-1e30f, int32Min},
        {infinity, int32Max},
        {-infinity, int32Min},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {-std::numeric_limits<float>::quiet_NaN(), 0},
    };
    RecordingEffect effect;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.level);
        effect.level = row.level;
        EXPECT_EQ(dispatch(effect.getAEffect(), effGetVu), row.answer);
    }
}

TEST_F(DispatchTest, DefaultsAnswerThroughTheRecord)
{
    PlainEffect effect(nullptr, 2);
    AEffect* record = effect.getAEffect();

    EXPECT_EQ(dispatch(record, effGetVu), 0);
    EXPECT_EQ(dispatch(record, effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    EXPECT_EQ(dispatch(record, effSetBlockSize, 0, 256), 0);
    EXPECT_EQ(effect.getBlockSize(), 256);
    EXPECT_EQ(dispatch(record, effSetProgram, 0, 1), 0);
    EXPECT_EQ(dispatch(record, effGetProgram), 1);

    for (std::int32_t opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        SCOPED_TRACE(opcode);
        char buffer[32] = "stale";
        EXPECT_EQ(dispatch(record, opcode, 0, 0, buffer), 0);
        EXPECT_STREQ(buffer, "");
    }
    // The host's name may live in read-only memory: the default must not write to it.
    char name[32] = "Keep";
    EXPECT_EQ(dispatch(record, effSetProgramName, 0, 0, name), 0);
    EXPECT_STREQ(name, "Keep");
    static const char readOnly[] = "Literal";
    EXPECT_EQ(dispatch(record, effSetProgramName, 0, 0, const_cast<char*>(readOnly)), 0);

    for (std::int32_t opcode : {effEditGetRect, effEditOpen, effEditClose, effEditIdle}) {
        SCOPED_TRACE(opcode);
        int hostWindow = 0;
        EXPECT_EQ(dispatch(record, opcode, 0, 0, &hostWindow), 0);
    }
    EXPECT_FALSE(effect.hasEditor());
}

TEST_F(DispatchTest, EditorRequestsReachAnAttachedEditor)
{
    auto* effect = new RecordingEffect;
    auto* editor = new RecordingEditor;
    effect->attachEditor(editor);
    AEffect* record = effect->getAEffect();
    int hostWindow = 0;

    EXPECT_EQ(dispatch(record, effEditGetRect, 0, 0, &hostWindow), RecordingEditor::kRectAnswer);
    EXPECT_EQ(editor->lastPtr, &hostWindow);
    editor->lastPtr = nullptr;
    EXPECT_EQ(dispatch(record, effEditOpen, 0, 0, &hostWindow), RecordingEditor::kOpenAnswer);
    EXPECT_EQ(editor->lastPtr, &hostWindow);
    EXPECT_EQ(dispatch(record, effEditIdle), 0);
    EXPECT_EQ(dispatch(record, effEditClose), 0);
    EXPECT_EQ(dispatch(record, effClose), 1);

    // The derived destructor runs before the base destructor, which destroys the editor.
    const Events expected = {"editor getRect", "editor open",      "editor idle", "editor close",
                             "close",          "~RecordingEffect", "~editor"};
    EXPECT_EQ(callLog.events, expected);
}

TEST_F(DispatchTest, CloseRunsCloseThenDestroysTheEffectAndAnswersOne)
{
    auto* effect = new RecordingEffect;
    AEffect* record = effect->getAEffect();
    char buffer[32] = "Lead";
    EXPECT_EQ(dispatch(record, effClose, 4, 5, buffer, 6.0f), 1);
    const Events expected = {"close", "~RecordingEffect"};
    EXPECT_EQ(callLog.events, expected);
    EXPECT_STREQ(buffer, "Lead");
}

TEST_F(DispatchTest, ProcessingAndParameterEntriesForwardToTheEffect)
{
    RecordingEffect effect;
    AEffect* record = effect.getAEffect();
    float left[4] = {};
    float right[4] = {};
    float* inputs[] = {left, right};
    float* outputs[] = {right, left};

    record->process(record, inputs, outputs, 4);
    EXPECT_EQ(effect.lastInputs, inputs);
    EXPECT_EQ(effect.lastOutputs, outputs);
    effect.lastInputs = effect.lastOutputs = nullptr;
    record->processReplacing(record, inputs, outputs, 3);
    EXPECT_EQ(effect.lastInputs, inputs);
    EXPECT_EQ(effect.lastOutputs, outputs);
    record->setParameter(record, 2, 0.75f);
    EXPECT_EQ(record->getParameter(record, 3), 0.75f);

    const Events expected = {"process 4", "processReplacing 3", "setParameter 2 0.750000", "getParameter 3"};
    EXPECT_EQ(callLog.events, expected);
}

} // namespace
