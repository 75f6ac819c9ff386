#include "validate_checks.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace plughost {

namespace {

// A quiet NaN with a payload no arithmetic produces, so a sample still holding
// it was never written by the effect.
constexpr std::uint32_t kMarkerBits = 0x7FC0DEADu;
const float kMarker = std::bit_cast<float>(kMarkerBits);

bool isMarker(float sample)
{
    return std::bit_cast<std::uint32_t>(sample) == kMarkerBits;
}

} // namespace

std::string describe(float value)
{
    if (std::isnan(value))
        return "NaN";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

void processWatched(const Effect& effect, float** inputs, float** outputs, int frames, bool accumulate)
{
    const AudioPathWatch watch;
    if (accumulate)
        effect.processAccumulating(inputs, outputs, frames);
    else
        effect.processReplacing(inputs, outputs, frames);
}

BlockRunner::BlockRunner(const Effect& effect, int maxFrames)
    : effect(effect), capacity(maxFrames), inputs(std::max(effect.numInputs(), 1), maxFrames, kGuardFrames),
      outputs(std::max(effect.numOutputs(), 1), maxFrames, kGuardFrames)
{
    inputs.fill(0.0f);
}

void BlockRunner::fillNoise(CheckContext& context, int frames, float amplitude)
{
    inputs.fill(kMarker);
    for (int c = 0; c < inputs.channels(); ++c)
        for (int i = 0; i < frames; ++i)
            inputs.channel(c)[i] = context.uniform(-amplitude, amplitude);
}

void BlockRunner::fillWith(int frames, float (*sample)(int index, int channel))
{
    inputs.fill(kMarker);
    for (int c = 0; c < inputs.channels(); ++c)
        for (int i = 0; i < frames; ++i)
            inputs.channel(c)[i] = sample(i, c);
}

void BlockRunner::fillConstant(int frames, float value)
{
    inputs.fill(kMarker);
    for (int c = 0; c < inputs.channels(); ++c)
        std::fill_n(inputs.channel(c), frames, value);
}

void BlockRunner::markOutputs()
{
    outputs.fill(kMarker);
}

void BlockRunner::run(int frames)
{
    outputs.fill(0.0f);
    processWatched(effect, inputs.pointers(), outputs.pointers(), frames, !effect.canReplace());
}

void BlockRunner::runChecked(int frames, const std::string& where)
{
    if (frames > capacity)
        throw std::logic_error("block larger than the runner's buffers");
    inputCopy.clear();
    for (int c = 0; c < inputs.channels(); ++c)
        inputCopy.push_back(inputs.samples(c));
    const bool replacing = effect.canReplace();
    if (replacing) {
        markOutputs();
    } else {
        outputs.fill(0.0f);
        for (int c = 0; c < outputs.channels(); ++c)
            std::fill(outputs.samples(c).begin() + frames, outputs.samples(c).end(), kMarker);
    }
    processWatched(effect, inputs.pointers(), outputs.pointers(), frames, !replacing);

    for (int c = 0; c < effect.numOutputs(); ++c) {
        const float* out = outputs.channel(c);
        for (int i = 0; i < frames; ++i)
            if (isMarker(out[i]))
                throw CheckFailure(where + ": output " + std::to_string(c) + " sample " + std::to_string(i) + " of " +
                                   std::to_string(frames) + " was never written");
        for (int i = frames; i < frames + kGuardFrames; ++i)
            if (!isMarker(out[i]))
                throw CheckFailure(where + ": output " + std::to_string(c) + " written at sample " + std::to_string(i) +
                                   ", past sampleFrames " + std::to_string(frames));
    }
    for (int c = 0; c < inputs.channels(); ++c)
        for (std::size_t i = 0; i < inputCopy[static_cast<std::size_t>(c)].size(); ++i)
            if (std::bit_cast<std::uint32_t>(inputs.samples(c)[i]) !=
                std::bit_cast<std::uint32_t>(inputCopy[static_cast<std::size_t>(c)][i]))
                throw CheckFailure(where + ": input " + std::to_string(c) + " sample " + std::to_string(i) +
                                   " was changed by processing out of place");
}

void BlockRunner::runInPlace(int frames, const std::string& where)
{
    // Each output buffer is also its channel's input; inputs without a
    // matching output keep buffers of their own.
    ChannelBuffers inPlace(outputs.channels(), frames, kGuardFrames);
    ChannelBuffers inPlaceInputs(inputs.channels(), 0);
    for (int c = 0; c < outputs.channels(); ++c) {
        std::copy_n(inputs.channel(std::min(c, inputs.channels() - 1)), frames, inPlace.channel(c));
        std::fill(inPlace.samples(c).begin() + frames, inPlace.samples(c).end(), kMarker);
    }
    for (int c = 0; c < inputs.channels(); ++c)
        inPlaceInputs.point(c, c < outputs.channels() ? inPlace.channel(c) : inputs.channel(c));
    processWatched(effect, inPlaceInputs.pointers(), inPlace.pointers(), frames, !effect.canReplace());
    for (int c = 0; c < outputs.channels(); ++c)
        for (int i = frames; i < frames + kGuardFrames; ++i)
            if (!isMarker(inPlace.channel(c)[i]))
                throw CheckFailure(where + ": in place, channel " + std::to_string(c) + " written at sample " +
                                   std::to_string(i) + ", past sampleFrames " + std::to_string(frames));
}

void BlockRunner::runAccumulating(int frames, const std::string& where)
{
    outputs.fill(0.0f);
    for (int c = 0; c < outputs.channels(); ++c)
        std::fill(outputs.samples(c).begin() + frames, outputs.samples(c).end(), kMarker);
    processWatched(effect, inputs.pointers(), outputs.pointers(), frames, true);
    for (int c = 0; c < effect.numOutputs(); ++c)
        for (int i = frames; i < frames + kGuardFrames; ++i)
            if (!isMarker(outputs.channel(c)[i]))
                throw CheckFailure(where + ": process (accumulating) wrote output " + std::to_string(c) +
                                   " at sample " + std::to_string(i) + ", past sampleFrames " + std::to_string(frames));
}

void BlockRunner::requireFiniteOutput(int frames, const std::string& where, bool rejectSubnormal)
{
    for (int c = 0; c < effect.numOutputs(); ++c)
        for (int i = 0; i < frames; ++i) {
            const float sample = outputs.channel(c)[i];
            if (!std::isfinite(sample))
                throw CheckFailure(where + ": output " + std::to_string(c) + " sample " + std::to_string(i) + " is " +
                                   describe(sample));
            if (rejectSubnormal && std::fpclassify(sample) == FP_SUBNORMAL)
                throw CheckFailure(where + ": output " + std::to_string(c) + " sample " + std::to_string(i) +
                                   " is subnormal (" + describe(sample) + ")");
        }
}

} // namespace plughost
