#include "hq_shaper_effect.h"

#include "boost_law.h"
#include "hq_float_environment.h"
#if defined(__linux__) || defined(_WIN32)
#include "hq_editor.h"
#endif

#include <cstring>

namespace {

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;
static_assert(std::atomic<float>::is_always_lock_free, "a parameter must be one plain 32-bit access");

bool isParameter(std::int32_t index)
{
    return index >= 0 && index < kHqNumParams;
}

void copyText(const char* from, char* to)
{
    std::memcpy(to, from, std::strlen(from) + 1);
}

// Copies at most capacity - 1 characters of name and a terminating zero, reading no further.
void copyName(const char* name, char* to, std::size_t capacity)
{
    std::size_t length = 0;
    while (length < capacity - 1 && name[length] != '\0') {
        ++length;
    }
    std::memcpy(to, name, length);
    to[length] = '\0';
}

static_assert(kHqEffectName.size() < kEffectNameBytes);
static_assert(kHqVendor.size() < kVendorStringBytes);
static_assert(kHqProduct.size() < kProductStringBytes);
static_assert(kHqNumPrograms > 0);

} // namespace

HqShaperEffect::HqShaperEffect(audioMasterCallback audioMaster)
    : EffectBase(audioMaster, kHqNumPrograms, kHqNumParams),
      core(new SoftKneeHq(getSampleRate())), values{}, programNames{}
{
    setNumInputs(kHqNumChannels);
    setNumOutputs(kHqNumChannels);
    setUniqueID(kHqUniqueID);
    setCanReplacing(1);
    setCanMono(1);
    setInitialDelay(hqLatencyFrames(getSampleRate()));
    for (std::int32_t program = 0; program < kHqNumPrograms; ++program) {
        copyName(kHqPresets[program].name, programNames[program], sizeof programNames[program]);
    }
    setProgram(0);
    // The first block starts at program 0's values, not gliding from the core's initial ones.
    core->reset();
#if defined(__linux__) || defined(_WIN32)
    setEditor(new HqEditor(*this));
#endif
}

HqShaperEffect::~HqShaperEffect() = default;

void HqShaperEffect::apply(std::int32_t index, float value)
{
    values[index].store(value, kRelaxed);
    setHqControl(*core, index, value);
}

// Each entry that computes does so in the core's floating-point environment, so that a host's
// mode changes no value and the host's flags are as it left them (hq_float_environment.h).
void HqShaperEffect::setParameter(std::int32_t index, float value)
{
    const HqFloatEnvironment environment;
    if (isParameter(index)) {
        apply(index, hqValueFromNormalised(index, value));
    }
}

float HqShaperEffect::getParameter(std::int32_t index)
{
    const HqFloatEnvironment environment;
    return isParameter(index) ? hqNormalisedFromValue(index, values[index].load(kRelaxed)) : 0.0f;
}

float HqShaperEffect::controlValue(std::int32_t index) const
{
    return isParameter(index) ? values[index].load(kRelaxed) : 0.0f;
}

void HqShaperEffect::meter(PeakMeter& meter, const float* left, const float* right, std::int32_t frames)
{
    const float l = PeakMeter::peakOf(left, frames);
    const float r = PeakMeter::peakOf(right, frames);
    meter.raise(l > r ? l : r);
}

void HqShaperEffect::processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames)
{
    // The inputs are measured before the core may write over them.
    meter(inputMeter_, inputs[0], inputs[1], sampleFrames);
    core->process(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
    meter(outputMeter_, outputs[0], outputs[1], sampleFrames);
}

void HqShaperEffect::process(float** inputs, float** outputs, std::int32_t sampleFrames)
{
    const HqFloatEnvironment environment;
    // The core writes a piece at a time into these, and the piece is added into the outputs;
    // the core reads a piece's inputs before it writes, so the outputs may be the inputs.
    float left[kHqPieceFrames];
    float right[kHqPieceFrames];
    for (std::int32_t start = 0; start < sampleFrames; start += kHqPieceFrames) {
        const std::int32_t n = sampleFrames - start < kHqPieceFrames ? sampleFrames - start : kHqPieceFrames;
        meter(inputMeter_, inputs[0] + start, inputs[1] + start, n);
        core->process(inputs[0] + start, inputs[1] + start, left, right, n);
        meter(outputMeter_, left, right, n);
        float* outLeft = outputs[0] + start;
        float* outRight = outputs[1] + start;
        for (std::int32_t i = 0; i < n; ++i) {
            outLeft[i] += left[i];
            outRight[i] += right[i];
        }
    }
}

void HqShaperEffect::setProgram(std::int32_t program)
{
    const HqFloatEnvironment environment;
    if (program < 0 || program >= kHqNumPrograms) {
        return;
    }
    currentProgram = program;
    for (std::int32_t index = 0; index < kHqNumParams; ++index) {
        float value = kHqPresets[program].values[index];
        // A gain that no host value forms would not survive the host reading the parameter
        // and sending it back; its neighbour that one forms does.
        if (index == kHqControlBoost) {
            value = boostAsFormed(value);
        }
        apply(index, value);
    }
}

void HqShaperEffect::setProgramName(char* name)
{
    if (name != nullptr) {
        copyName(name, programNames[currentProgram], sizeof programNames[currentProgram]);
    }
}

void HqShaperEffect::getProgramName(char* name)
{
    if (name != nullptr) {
        copyText(programNames[currentProgram], name);
    }
}

std::int16_t HqShaperEffect::getProgramNameIndexed(std::int32_t program, char* name)
{
    if (program < 0 || program >= kHqNumPrograms) {
        return 0;
    }
    return writeHostText(name, kProgramMenuNameBytes, programNames[program]);
}

void HqShaperEffect::getParamLabel(std::int32_t index, char* label)
{
    if (isParameter(index) && label != nullptr) {
        copyText(kHqControls[index].unit, label);
    }
}

void HqShaperEffect::getParamDisplay(std::int32_t index, char* text)
{
    const HqFloatEnvironment environment;
    if (isParameter(index) && text != nullptr) {
        hqDisplayText(index, values[index].load(kRelaxed), text);
    }
}

void HqShaperEffect::getParamName(std::int32_t index, char* text)
{
    if (isParameter(index) && text != nullptr) {
        copyText(kHqControls[index].name, text);
    }
}

void HqShaperEffect::setSampleRate(float sampleRate)
{
    EffectBase::setSampleRate(sampleRate);
    core->prepare(sampleRate);
    setInitialDelay(hqLatencyFrames(sampleRate));
}

void HqShaperEffect::suspend()
{
}

void HqShaperEffect::resume()
{
    core->reset();
}

std::int32_t HqShaperEffect::getPlugCategory()
{
    return kCategoryEffect;
}

std::int16_t HqShaperEffect::getEffectName(char* name)
{
    return writeHostText(name, kEffectNameBytes, kHqEffectName);
}

std::int16_t HqShaperEffect::getVendorString(char* text)
{
    return writeHostText(text, kVendorStringBytes, kHqVendor);
}

std::int16_t HqShaperEffect::getProductString(char* text)
{
    return writeHostText(text, kProductStringBytes, kHqProduct);
}

std::int32_t HqShaperEffect::getVendorVersion()
{
    return kHqVendorVersion;
}

std::int32_t HqShaperEffect::setBypass(bool bypassed)
{
    core->setBypass(bypassed);
    return 1;
}

std::int32_t HqShaperEffect::canDo(const char* capability)
{
    return std::strcmp(capability, "bypass") == 0 ? 1 : 0;
}
