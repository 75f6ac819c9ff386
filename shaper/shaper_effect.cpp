#include "shaper_effect.h"

#include "boost_law.h"
#include "soft_knee.h"
#include "soft_knee_kernels.h"

#include <cstring>

namespace {

// The parameters are single 32-bit values that another thread may write during a
// block; relaxed order is enough, since each is read whole and no other data hangs on it.
constexpr std::memory_order kRelaxed = std::memory_order_relaxed;
static_assert(std::atomic<float>::is_always_lock_free, "a parameter must be one plain 32-bit access");

bool isParameter(std::int32_t index)
{
    return index >= 0 && index < kShaperNumParams;
}

void copyText(const char* from, char* to)
{
    std::memcpy(to, from, std::strlen(from) + 1);
}

// The texts are constants, so that each fits its host buffer uncut is checked when building.
static_assert(kShaperEffectName.size() < kEffectNameBytes);
static_assert(kShaperVendor.size() < kVendorStringBytes);
static_assert(kShaperProduct.size() < kProductStringBytes);

} // namespace

ShaperEffect::ShaperEffect(audioMasterCallback audioMaster)
    : EffectBase(audioMaster, kShaperNumPrograms, kShaperNumParams), boost(1.0f), knee(0.5f),
      hardness(0.0f), programName{}
{
    setNumInputs(kShaperNumChannels);
    setNumOutputs(kShaperNumChannels);
    setUniqueID(kShaperUniqueID);
    setCanReplacing(1);
    setCanMono(1);
    static_assert(sizeof(kShaperProgramName) <= sizeof(programName));
    copyText(kShaperProgramName, programName);
}

ShaperEffect::~ShaperEffect() = default;

void ShaperEffect::setParameter(std::int32_t index, float value)
{
    switch (index) {
    case kBoostParam:
        // The host's 0..1 becomes a gain of 1..11.
        boost.store(boostFromNormalised(value), kRelaxed);
        break;
    case kKneeParam:
        knee.store(value, kRelaxed);
        break;
    case kHardnessParam:
        hardness.store(value, kRelaxed);
        break;
    default:
        break;
    }
}

float ShaperEffect::getParameter(std::int32_t index)
{
    switch (index) {
    case kBoostParam:
        return normalisedFromBoost(boost.load(kRelaxed));
    case kKneeParam:
        return knee.load(kRelaxed);
    case kHardnessParam:
        return hardness.load(kRelaxed);
    default:
        return 0.0f;
    }
}

// The block takes all three parameters once, so a change from another thread lands
// whole at a block boundary and the knee test always agrees with the curve's headroom.

void ShaperEffect::process(float** inputs, float** outputs, std::int32_t sampleFrames)
{
    if (sampleFrames <= 0) {
        return;
    }
    const SoftKnee curve = makeSoftKnee(boost.load(kRelaxed), knee.load(kRelaxed), hardness.load(kRelaxed));
    softKneeAccumulatingWith(softKneeKernelInUse(), curve, inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}

void ShaperEffect::processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames)
{
    if (sampleFrames <= 0) {
        return;
    }
    const SoftKnee curve = makeSoftKnee(boost.load(kRelaxed), knee.load(kRelaxed), hardness.load(kRelaxed));
    softKneeReplacingWith(softKneeKernelInUse(), curve, inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}

void ShaperEffect::setProgram(std::int32_t program)
{
    currentProgram = program;
}

void ShaperEffect::setProgramName(char* name)
{
    if (name == nullptr) {
        return;
    }
    // Never reads more of the host's string than can be kept.
    std::size_t length = 0;
    while (length < sizeof(programName) - 1 && name[length] != '\0') {
        ++length;
    }
    std::memcpy(programName, name, length);
    programName[length] = '\0';
}

void ShaperEffect::getProgramName(char* name)
{
    if (name != nullptr) {
        copyText(programName, name);
    }
}

void ShaperEffect::getParamLabel(std::int32_t index, char* label)
{
    if (isParameter(index) && label != nullptr) {
        copyText(kShaperParamLabels[index], label);
    }
}

void ShaperEffect::getParamDisplay(std::int32_t index, char* text)
{
    if (text == nullptr) {
        return;
    }
    switch (index) {
    case kBoostParam:
        // The gain factor itself, not the host's 0..1 value.
        floatToString(boost.load(kRelaxed), text);
        break;
    case kKneeParam:
        floatToString(knee.load(kRelaxed), text);
        break;
    case kHardnessParam:
        floatToString(hardness.load(kRelaxed), text);
        break;
    default:
        break;
    }
}

void ShaperEffect::getParamName(std::int32_t index, char* text)
{
    if (isParameter(index) && text != nullptr) {
        copyText(kShaperParamNames[index], text);
    }
}

void ShaperEffect::suspend()
{
}

std::int32_t ShaperEffect::getPlugCategory()
{
    return kCategoryEffect;
}

std::int16_t ShaperEffect::getEffectName(char* name)
{
    return writeHostText(name, kEffectNameBytes, kShaperEffectName);
}

std::int16_t ShaperEffect::getVendorString(char* text)
{
    return writeHostText(text, kVendorStringBytes, kShaperVendor);
}

std::int16_t ShaperEffect::getProductString(char* text)
{
    return writeHostText(text, kProductStringBytes, kShaperProduct);
}

std::int32_t ShaperEffect::getVendorVersion()
{
    return kShaperVendorVersion;
}
