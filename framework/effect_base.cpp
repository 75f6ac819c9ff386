#include "effect_base.h"

#include <cstring>

static_assert(std::atomic<float>::is_always_lock_free && std::atomic<std::int32_t>::is_always_lock_free,
              "the sample rate and the block size must each be one plain 32-bit access");

EffectBase::EffectBase(audioMasterCallback audioMaster, std::int32_t numPrograms, std::int32_t numParams)
    : sampleRate(44100.0f), editor(nullptr), audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams),
      currentProgram(0), blockSize(1024)
{
    // Padding and the reserved tail reach the host too, so every byte starts at zero.
    std::memset(&descriptor, 0, sizeof descriptor);
    descriptor.magic = kEffectMagic;
    descriptor.dispatcher = dispatcherEntry;
    descriptor.process = processEntry;
    descriptor.setParameter = setParameterEntry;
    descriptor.getParameter = getParameterEntry;
    descriptor.numPrograms = numPrograms;
    descriptor.numParams = numParams;
    descriptor.numInputs = 1;
    descriptor.numOutputs = 2;
    descriptor.ioRatio = 1.0f;
    descriptor.object = this;
    descriptor.uniqueID = kBaseUniqueID;
    descriptor.version = 1;
    descriptor.processReplacing = processReplacingEntry;
}

EffectBase::~EffectBase()
{
    delete editor;
}

void EffectBase::setParameter(std::int32_t, float)
{
}

float EffectBase::getParameter(std::int32_t)
{
    return 0.0f;
}

void EffectBase::automateParameter(std::int32_t index, float value)
{
    setParameter(index, value);
    if (audioMaster) {
        audioMaster(&descriptor, audioMasterAutomate, index, 0, nullptr, value);
    }
}

void EffectBase::processReplacing(float**, float**, std::int32_t)
{
}

void EffectBase::open()
{
}

void EffectBase::close()
{
}

std::int32_t EffectBase::getProgram()
{
    return currentProgram;
}

void EffectBase::setProgram(std::int32_t program)
{
    currentProgram = program;
}

void EffectBase::setProgramName(char*)
{
}

void EffectBase::getProgramName(char* name)
{
    name[0] = '\0';
}

void EffectBase::getParamLabel(std::int32_t, char* label)
{
    label[0] = '\0';
}

void EffectBase::getParamDisplay(std::int32_t, char* text)
{
    text[0] = '\0';
}

void EffectBase::getParamName(std::int32_t, char* text)
{
    text[0] = '\0';
}

float EffectBase::getVu()
{
    return 0.0f;
}

void EffectBase::setSampleRate(float sampleRate)
{
    this->sampleRate.store(sampleRate, std::memory_order_relaxed);
}

void EffectBase::setBlockSize(std::int32_t blockSize)
{
    this->blockSize.store(blockSize, std::memory_order_relaxed);
}

void EffectBase::suspend()
{
}

void EffectBase::resume()
{
}

void EffectBase::setUniqueID(std::int32_t id)
{
    descriptor.uniqueID = id;
}

void EffectBase::setNumInputs(std::int32_t count)
{
    descriptor.numInputs = count;
}

void EffectBase::setNumOutputs(std::int32_t count)
{
    descriptor.numOutputs = count;
}

void EffectBase::setHasVu(std::int16_t state)
{
    setFlag(effFlagsHasVu, state);
}

void EffectBase::setHasClip(std::int16_t state)
{
    setFlag(effFlagsHasClip, state);
}

void EffectBase::setCanMono(std::int16_t state)
{
    setFlag(effFlagsCanMono, state);
}

void EffectBase::setCanReplacing(std::int16_t state)
{
    setFlag(effFlagsCanReplacing, state);
}

void EffectBase::setRealQualities(std::int32_t qualities)
{
    descriptor.realQualities = qualities;
}

void EffectBase::setOffQualities(std::int32_t qualities)
{
    descriptor.offQualities = qualities;
}

void EffectBase::setInitialDelay(std::int32_t delay)
{
    descriptor.initialDelay = delay;
}

float EffectBase::getSampleRate()
{
    return sampleRate.load(std::memory_order_relaxed);
}

std::int32_t EffectBase::getBlockSize()
{
    return blockSize.load(std::memory_order_relaxed);
}

// The callback answers in pointer width; these queries answer the host's int32, so the
// answer is cut to its low 32 bits, which on 32-bit hosts is the whole answer.
std::int32_t EffectBase::hostVersion()
{
    if (!audioMaster) {
        return 1;
    }
    const auto version = static_cast<std::int32_t>(audioMaster(&descriptor, audioMasterVersion, 0, 0, nullptr, 0.0f));
    return version == 0 ? 1 : version;
}

std::int32_t EffectBase::hostCurrentId()
{
    if (!audioMaster) {
        return 0;
    }
    return static_cast<std::int32_t>(audioMaster(&descriptor, audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

std::int32_t EffectBase::hostIdle()
{
    if (!audioMaster) {
        return 0;
    }
    return static_cast<std::int32_t>(audioMaster(&descriptor, audioMasterIdle, 0, 0, nullptr, 0.0f));
}

// The host answers 0 for a connected pin; the whole answer is compared, so no high bits are lost.
std::int16_t EffectBase::isInputConnected(std::int32_t input)
{
    if (!audioMaster) {
        return 1;
    }
    return audioMaster(&descriptor, audioMasterPinConnected, input, 0, nullptr, 0.0f) == 0 ? 1 : 0;
}

std::int16_t EffectBase::isOutputConnected(std::int32_t output)
{
    if (!audioMaster) {
        return 1;
    }
    return audioMaster(&descriptor, audioMasterPinConnected, output, 1, nullptr, 0.0f) == 0 ? 1 : 0;
}

std::int16_t EffectBase::writeHostText(char* buffer, std::size_t bufferBytes, std::string_view text)
{
    if (bufferBytes == 0) {
        return 0;
    }
    const std::size_t length = text.size() < bufferBytes ? text.size() : bufferBytes - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return 1;
}

std::int32_t EffectBase::getPlugCategory()
{
    return kCategoryUnknown;
}

std::int16_t EffectBase::getEffectName(char*)
{
    return 0;
}

std::int16_t EffectBase::getVendorString(char*)
{
    return 0;
}

std::int16_t EffectBase::getProductString(char*)
{
    return 0;
}

std::int32_t EffectBase::getVendorVersion()
{
    return 0;
}

std::int16_t EffectBase::getProgramNameIndexed(std::int32_t, char*)
{
    return 0;
}

std::int32_t EffectBase::setBypass(bool)
{
    return 0;
}

std::int32_t EffectBase::canDo(const char*)
{
    return 0;
}

void EffectBase::setFlag(std::int32_t bit, std::int16_t state)
{
    if (state != 0) {
        descriptor.flags |= bit;
    } else {
        descriptor.flags &= ~bit;
    }
}
