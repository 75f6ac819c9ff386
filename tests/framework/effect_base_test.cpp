// The base class: the record a host reads, the descriptor and flag setters, automation
// and the host queries made through the callback.
#include "recording_effect.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <new>

namespace {

class EffectBaseTest : public ::testing::Test {
protected:
    void SetUp() override { callLog.reset(); }
};

TEST_F(EffectBaseTest, FreshRecordReadsAsTheHostExpects)
{
    PlainEffect effect(nullptr, 5, 7);
    const AEffect* record = effect.getAEffect();

    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_EQ(record->dispatcher, &dispatcherEntry);
    EXPECT_EQ(record->process, &processEntry);
    EXPECT_EQ(record->setParameter, &setParameterEntry);
    EXPECT_EQ(record->getParameter, &getParameterEntry);
    EXPECT_EQ(record->numPrograms, 5);
    EXPECT_EQ(record->numParams, 7);
    EXPECT_EQ(record->numInputs, 1);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->flags, 0);
    EXPECT_EQ(record->resvd1, 0);
    EXPECT_EQ(record->resvd2, 0);
    EXPECT_EQ(record->initialDelay, 0);
    EXPECT_EQ(record->realQualities, 0);
    EXPECT_EQ(record->offQualities, 0);
    EXPECT_EQ(record->ioRatio, 1.0f);
    EXPECT_EQ(record->object, static_cast<EffectBase*>(&effect));
    EXPECT_EQ(record->user, nullptr);
    EXPECT_EQ(record->uniqueID, 0x4F725178);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->processReplacing, &processReplacingEntry);

    // On a little-endian host the magic reads "PtsV" byte by byte.
    unsigned char magicBytes[4];
    std::memcpy(magicBytes, record, 4);
    EXPECT_EQ(std::memcmp(magicBytes, "PtsV", 4), 0);
}

TEST_F(EffectBaseTest, EveryByteTheBaseDoesNotSetIsZero)
{
    // Built over dirty memory, so padding and the reserved tail are zero only if the constructor zeroes them.
    alignas(PlainEffect) unsigned char storage[sizeof(PlainEffect)];
    std::memset(storage, 0xA5, sizeof storage);
    auto* effect = new (storage) PlainEffect(nullptr, 1, 3);
    const auto* bytes = reinterpret_cast<const unsigned char*>(effect->getAEffect());

    const std::size_t afterFlags = offsetof(AEffect, flags) + sizeof(std::int32_t);
    for (std::size_t at = afterFlags; at < offsetof(AEffect, resvd1); ++at) {
        EXPECT_EQ(bytes[at], 0) << "padding byte " << at;
    }
    for (std::size_t at = offsetof(AEffect, future); at < sizeof(AEffect); ++at) {
        EXPECT_EQ(bytes[at], 0) << "reserved byte " << at;
    }
    effect->~PlainEffect();
}

TEST_F(EffectBaseTest, FreshEffectHasTheBaseState)
{
    PlainEffect effect;
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_FALSE(effect.hasEditor());
}

TEST_F(EffectBaseTest, DescriptorSettersChangeTheRecordInPlace)
{
    PlainEffect effect;
    const AEffect* record = effect.getAEffect();
    effect.setUniqueID(fourCharCode("OQbR"));
    effect.setNumInputs(2);
    effect.setNumOutputs(6);
    effect.setRealQualities(3);
    effect.setOffQualities(4);
    effect.setInitialDelay(128);

    EXPECT_EQ(record->uniqueID, 0x4F516252);
    EXPECT_EQ(record->numInputs, 2);
    EXPECT_EQ(record->numOutputs, 6);
    EXPECT_EQ(record->realQualities, 3);
    EXPECT_EQ(record->offQualities, 4);
    EXPECT_EQ(record->initialDelay, 128);
    EXPECT_EQ(record->flags, 0);
    EXPECT_TRUE(callLog.hostCalls.empty());
}

TEST_F(EffectBaseTest, EachFlagSetterOwnsOneBit)
{
    using Setter = void (EffectBase::*)(std::int16_t);
    const struct {
        const char* name;
        Setter setter;
        std::int32_t bit;
    } rows[] = {
        {"hasClip", &EffectBase::setHasClip, 2},
        {"hasVu", &EffectBase::setHasVu, 4},
        {"canMono", &EffectBase::setCanMono, 8},
        {"canReplacing", &EffectBase::setCanReplacing, 16},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PlainEffect effect;
        std::int32_t& flags = effect.getAEffect()->flags;
        const std::int32_t others = 2 | 4 | 8 | 16 | 0x400;
        flags = others & ~row.bit;

        (effect.*row.setter)(1);
        EXPECT_EQ(flags, others);
        (effect.*row.setter)(1);
        EXPECT_EQ(flags, others);
        (effect.*row.setter)(0);
        EXPECT_EQ(flags, others & ~row.bit);
        // Any non-zero 16-bit value is true, including ones with no low bits.
        for (std::int16_t truth : {std::int16_t{-1}, std::int16_t{0x100}, std::int16_t{-32768}}) {
            (effect.*row.setter)(0);
            (effect.*row.setter)(truth);
            EXPECT_EQ(flags, others) << truth;
        }
    }
}

TEST_F(EffectBaseTest, AutomateSetsTheParameterThenTellsTheHost)
{
    RecordingEffect effect(&recordingHost);
    callLog.hostAnswer = 99;
    effect.automateParameter(3, 0.625f);

    const std::vector<std::string> expected = {"setParameter 3 0.625000", "host 0"};
    EXPECT_EQ(callLog.events, expected);
    ASSERT_EQ(callLog.hostCalls.size(), 1u);
    const HostCall& call = callLog.hostCalls[0];
    EXPECT_EQ(call.effect, effect.getAEffect());
    EXPECT_EQ(call.opcode, audioMasterAutomate);
    EXPECT_EQ(call.index, 3);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, 0.625f);
}

TEST_F(EffectBaseTest, AutomateWithoutCallbackOnlySetsTheParameter)
{
    RecordingEffect effect;
    effect.automateParameter(1, 0.5f);
    EXPECT_EQ(callLog.events, std::vector<std::string>{"setParameter 1 0.500000"});
}

enum class Query { version, currentId, idle, input, output };

std::int32_t ask(EffectBase& effect, Query query, std::int32_t channel)
{
    switch (query) {
    case Query::version:
        return effect.hostVersion();
    case Query::currentId:
        return effect.hostCurrentId();
    case Query::idle:
        return effect.hostIdle();
    case Query::input:
        return effect.isInputConnected(channel);
    case Query::output:
        return effect.isOutputConnected(channel);
    }
    return -12345;
}

TEST_F(EffectBaseTest, HostQueriesSendTheirRequestAndReadTheAnswer)
{
    const struct {
        const char* what;
        Query query;
        std::int32_t channel;
        std::intptr_t hostAnswer;
        std::int32_t opcode;
        std::intptr_t value;
        std::int32_t answer;
    } rows[] = {
        {"version", Query::version, 0, 2400, audioMasterVersion, 0, 2400},
        {"version 0 reads as 1", Query::version, 0, 0, audioMasterVersion, 0, 1},
        {"version -1", Query::version, 0, -1, audioMasterVersion, 0, -1},
        {"current id", Query::currentId, 0, fourCharCode("abcd"), audioMasterCurrentId, 0, fourCharCode("abcd")},
        {"current id 0", Query::currentId, 0, 0, audioMasterCurrentId, 0, 0},
        {"idle", Query::idle, 0, 1, audioMasterIdle, 0, 1},
        {"input 0 connected", Query::input, 0, 0, audioMasterPinConnected, 0, 1},
        {"input 0 not connected", Query::input, 0, 1, audioMasterPinConnected, 0, 0},
        {"input 5, any non-zero", Query::input, 5, -7, audioMasterPinConnected, 0, 0},
        {"output 1 connected", Query::output, 1, 0, audioMasterPinConnected, 1, 1},
        {"output 3 not connected", Query::output, 3, 1, audioMasterPinConnected, 1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        callLog.reset();
        callLog.hostAnswer = row.hostAnswer;
        PlainEffect effect(&recordingHost);
        EXPECT_EQ(ask(effect, row.query, row.channel), row.answer);
        ASSERT_EQ(callLog.hostCalls.size(), 1u);
        const HostCall& call = callLog.hostCalls[0];
        EXPECT_EQ(call.effect, effect.getAEffect());
        EXPECT_EQ(call.opcode, row.opcode);
        EXPECT_EQ(call.index, row.channel);
        EXPECT_EQ(call.value, row.value);
        EXPECT_EQ(call.ptr, nullptr);
        EXPECT_EQ(call.opt, 0.0f);
    }
    if constexpr (sizeof(std::intptr_t) == 8) {
        // A 64-bit answer: int32 queries keep its low half, pin queries test all of it.
        const auto high = static_cast<std::intptr_t>(std::int64_t{1} << 32);
        const struct {
            Query query;
            std::intptr_t hostAnswer;
            std::int32_t answer;
        } wide[] = {
            {Query::version, high, 1}, {Query::version, high | 5, 5}, {Query::currentId, high | 9, 9},
            {Query::input, high, 0},   {Query::output, high, 0},
        };
        for (const auto& row : wide) {
            callLog.hostAnswer = row.hostAnswer;
            PlainEffect effect(&recordingHost);
            EXPECT_EQ(ask(effect, row.query, 0), row.answer) << static_cast<int>(row.query);
        }
    }
}

TEST_F(EffectBaseTest, HostQueriesWithoutCallbackAnswerFixedDefaults)
{
    PlainEffect effect(nullptr);
    EXPECT_EQ(effect.hostVersion(), 1);
    EXPECT_EQ(effect.hostCurrentId(), 0);
    EXPECT_EQ(effect.hostIdle(), 0);
    EXPECT_EQ(effect.isInputConnected(0), 1);
    EXPECT_EQ(effect.isOutputConnected(1), 1);
}

} // namespace
