// Checks of an effect's life and of what it answers before and without processing.
#include "validate_checks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace plughost {

namespace {

// The text lengths, terminating zero included, that a host's buffers are
// guaranteed to have; a module must end its text within them.
constexpr int kParameterTextLimit = 9;
constexpr int kProgramNameLimit = 32;

void checkRecord(const AEffect& record)
{
    if (!record.dispatcher || !record.setParameter || !record.getParameter)
        throw CheckFailure("the record lacks a dispatcher, setParameter or getParameter function");
    if ((record.flags & effFlagsCanReplacing) ? !record.processReplacing : !record.process)
        throw CheckFailure("the record has no processing function for what its flags announce");
    if (record.numInputs < 0 || record.numInputs > 64 || record.numOutputs < 1 || record.numOutputs > 64)
        throw CheckFailure("implausible channel counts: " + std::to_string(record.numInputs) + " in, " +
                           std::to_string(record.numOutputs) + " out");
    if (record.numParams < 0 || record.numPrograms < 0)
        throw CheckFailure("negative parameter or program count");
}

void openAndCloseCold(CheckContext& context)
{
    Effect effect = context.module.makeEffect();
    checkRecord(effect.record());
    effect.close();
}

void openAndCloseWarm(CheckContext& context)
{
    for (int round = 0; round < 5; ++round) {
        Effect effect = context.module.makeEffect();
        checkRecord(effect.record());
    }
}

void twoInstances(CheckContext& context)
{
    Effect first = context.module.makeEffect();
    Effect second = context.module.makeEffect();
    if (&first.record() == &second.record())
        throw CheckFailure("the entry point answered the same record twice");
    for (int p = 0; p < first.numParams(); ++p) {
        const float before = second.parameter(p);
        first.setParameter(p, before < 0.5f ? 0.9f : 0.1f);
        if (std::bit_cast<std::uint32_t>(second.parameter(p)) != std::bit_cast<std::uint32_t>(before))
            throw CheckFailure("setting parameter " + std::to_string(p) + " on one instance changed the other's");
    }
    for (const Effect* effect : {&first, &second}) {
        effect->setSampleRate(44100.0);
        effect->setBlockSize(256);
        effect->switchOn();
    }
    BlockRunner runFirst(first, 256), runSecond(second, 256);
    for (int block = 0; block < 8; ++block) {
        runFirst.fillNoise(context, 256, 0.5f);
        runFirst.runChecked(256, "first instance");
        runSecond.fillNoise(context, 256, 0.5f);
        runSecond.runChecked(256, "second instance");
    }
    first.switchOff();
    first.close();
    for (int block = 0; block < 4; ++block) {
        runSecond.fillNoise(context, 256, 0.5f);
        runSecond.runChecked(256, "second instance after the first was closed");
        runSecond.requireFiniteOutput(256, "second instance after the first was closed");
    }
    second.switchOff();
}

void closeWithoutProcessing(CheckContext& context)
{
    context.module.makeEffect().close();
    Effect configured = context.module.makeEffect();
    configured.setSampleRate(48000.0);
    configured.setBlockSize(512);
    configured.close();
    Effect switched = context.module.makeEffect();
    switched.setSampleRate(48000.0);
    switched.setBlockSize(512);
    switched.switchOn();
    switched.switchOff();
    switched.close();
}

void parametersBeforeSampleRate(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    for (int p = 0; p < effect.numParams(); ++p) {
        const float value = effect.parameter(p);
        if (!(value >= 0.0f && value <= 1.0f))
            throw CheckFailure("parameter " + std::to_string(p) + " reads " + describe(value) + ", outside 0 to 1");
        if (effect.parameterName(p).empty())
            throw CheckFailure("parameter " + std::to_string(p) + " has an empty name");
        effect.parameterLabel(p);
        if (effect.parameterDisplay(p).empty())
            throw CheckFailure("parameter " + std::to_string(p) + " has an empty display text");
    }
    effect.programName();
}

// Reads one text into a canary-filled buffer much larger than the host's and
// checks where the module stopped writing.
void guardedRead(const Effect& effect, std::int32_t opcode, int index, int limit, const std::string& what)
{
    constexpr unsigned char kCanary = 0xA5;
    std::array<unsigned char, 1024> buffer;
    buffer.fill(kCanary);
    effect.dispatch(opcode, index, 0, buffer.data());
    const auto end = std::find(buffer.begin(), buffer.begin() + limit, '\0');
    if (end == buffer.begin() + limit) {
        const auto zero = std::find(buffer.begin(), buffer.end(), '\0');
        throw CheckFailure(
            what + " is not terminated within " + std::to_string(limit) + " bytes" +
            (zero == buffer.end() ? "" : " (it takes " + std::to_string(zero - buffer.begin() + 1) + ")"));
    }
    const auto past = std::find_if(buffer.begin() + limit, buffer.end(), [](unsigned char b) { return b != kCanary; });
    if (past != buffer.end())
        throw CheckFailure(what + " wrote byte " + std::to_string(past - buffer.begin()) + ", past the " +
                           std::to_string(limit) + " bytes hosts allow");
}

void stringGuards(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    for (int p = 0; p < effect.numParams(); ++p) {
        const std::string which = "parameter " + std::to_string(p);
        guardedRead(effect, effGetParamName, p, kParameterTextLimit, which + " name");
        guardedRead(effect, effGetParamLabel, p, kParameterTextLimit, which + " label");
        guardedRead(effect, effGetParamDisplay, p, kParameterTextLimit, which + " display");
        effect.setParameter(p, context.uniform(0.0f, 1.0f));
        guardedRead(effect, effGetParamDisplay, p, kParameterTextLimit, which + " display at a random value");
    }
    guardedRead(effect, effGetProgramName, 0, kProgramNameLimit, "program name");
}

void parameterRoundTrip(CheckContext& context)
{
    const Effect effect = context.module.makeEffect();
    for (int p = 0; p < effect.numParams(); ++p)
        for (const float sent : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, context.uniform(0.0f, 1.0f)}) {
            effect.setParameter(p, sent);
            const float answered = effect.parameter(p);
            if (!(answered >= 0.0f && answered <= 1.0f))
                throw CheckFailure("parameter " + std::to_string(p) + " set to " + describe(sent) + " reads " +
                                   describe(answered));
            const std::string display = effect.parameterDisplay(p);
            // Stepped parameters may round what they are sent, but what they
            // answer must survive being sent back, as a host restoring a session does.
            effect.setParameter(p, answered);
            const float again = effect.parameter(p);
            if (std::fabs(again - answered) > 1e-6f)
                throw CheckFailure("parameter " + std::to_string(p) + " reads " + describe(answered) +
                                   ", and after setting that value back it reads " + describe(again));
            if (effect.parameterDisplay(p) != display)
                throw CheckFailure("parameter " + std::to_string(p) + " display changed from '" + display + "' to '" +
                                   effect.parameterDisplay(p) + "' when its own value was set back");
        }
}

} // namespace

std::vector<Check> lifecycleChecks()
{
    return {
        {"open and close, cold", openAndCloseCold},
        {"open and close, warm", openAndCloseWarm},
        {"two instances at once", twoInstances},
        {"close without processing", closeWithoutProcessing},
        {"parameters before any sample rate", parametersBeforeSampleRate},
        {"string guards", stringGuards},
        {"parameter round trip", parameterRoundTrip},
    };
}

} // namespace plughost
