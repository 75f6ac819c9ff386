// The block through the record with arbitrary parameter bits (NaN, infinities, out of
// range), arbitrary sample bits and arbitrary block sizes, in every buffer arrangement a
// host may use. Each channel buffer holds exactly sampleFrames samples on the heap, so the
// address sanitizer stops any access past them. A sample that is not NaN never yields NaN
// or an infinity; the block equals the same samples sent one frame at a time (whatever
// kernel the block runs); process equals what it held plus processReplacing's output.

#include "fuzz_input.h"
#include "shaper_effect.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::int32_t kMostFrames = 1024;

enum Arrangement : std::uint8_t {
    kSeparate,    // four buffers
    kInPlace,     // each output is its channel's input
    kMono,        // one input buffer on both inputs
    kMonoInPlace, // one input buffer on both inputs, and it is the left output too
    kArrangements
};

// A buffer of exactly `frames` samples (none at all for an empty block).
std::unique_ptr<float[]> channel(std::int32_t frames)
{
    return std::unique_ptr<float[]>(new float[frames > 0 ? static_cast<std::size_t>(frames) : 0]);
}

bool sameSample(float a, float b)
{
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    std::uint32_t aBits;
    std::uint32_t bBits;
    std::memcpy(&aBits, &a, sizeof a);
    std::memcpy(&bBits, &b, sizeof b);
    return aBits == bBits;
}

// The shaped samples, one frame per block call, into separate buffers.
void shapeFrameByFrame(AEffect* record, const std::vector<float>& left, const std::vector<float>& right,
                       std::vector<float>& outLeft, std::vector<float>& outRight)
{
    for (std::size_t i = 0; i < left.size(); ++i) {
        float in[2] = {left[i], right[i]};
        float* inputs[2] = {&in[0], &in[1]};
        float* outputs[2] = {&outLeft[i], &outRight[i]};
        record->processReplacing(record, inputs, outputs, 1);
    }
}

} // namespace

// Layout: the three parameter values' bits, an arrangement and mode byte, a 16-bit signed
// frame count, then sample bits, repeated cyclically to fill the block (zero when none).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const float boost = input.take<float>();
    const float knee = input.take<float>();
    const float hardness = input.take<float>();
    const auto form = input.take<std::uint8_t>();
    const auto arrangement = static_cast<Arrangement>(form % kArrangements);
    const bool accumulating = (form & 0x80) != 0;
    auto frames = static_cast<std::int32_t>(input.take<std::int16_t>());
    if (frames > kMostFrames) {
        frames %= kMostFrames + 1;
    }

    std::vector<float> pool;
    while (input.remaining() > 0) {
        pool.push_back(input.take<float>());
    }
    const std::size_t count = frames > 0 ? static_cast<std::size_t>(frames) : 0;
    auto poolSample = [&](std::size_t n) { return pool.empty() ? 0.0f : pool[n % pool.size()]; };
    std::vector<float> left(count);
    std::vector<float> right(count);
    std::vector<float> held(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        left[i] = poolSample(2 * i);
        right[i] = arrangement == kMono || arrangement == kMonoInPlace ? left[i] : poolSample(2 * i + 1);
        held[2 * i] = poolSample(2 * i + 7);
        held[2 * i + 1] = poolSample(2 * i + 11);
    }

    AEffect* record = (new ShaperEffect(nullptr))->getAEffect();
    record->setParameter(record, kBoostParam, boost);
    record->setParameter(record, kKneeParam, knee);
    record->setParameter(record, kHardnessParam, hardness);

    const std::unique_ptr<float[]> inLeft = channel(frames);
    const std::unique_ptr<float[]> inRight = channel(frames);
    const std::unique_ptr<float[]> outLeft = channel(frames);
    const std::unique_ptr<float[]> outRight = channel(frames);
    for (std::size_t i = 0; i < count; ++i) {
        inLeft[i] = left[i];
        inRight[i] = right[i];
        outLeft[i] = held[2 * i];
        outRight[i] = held[2 * i + 1];
    }
    // The host's two pointer arrays, also exactly as large as they must be.
    const std::unique_ptr<float*[]> inputs(new float*[2]);
    const std::unique_ptr<float*[]> outputs(new float*[2]);
    inputs[0] = inLeft.get();
    inputs[1] = inRight.get();
    outputs[0] = outLeft.get();
    outputs[1] = outRight.get();
    switch (arrangement) {
    case kInPlace:
        // What the output held is the input itself here.
        for (std::size_t i = 0; i < count; ++i) {
            held[2 * i] = left[i];
            held[2 * i + 1] = right[i];
        }
        outputs[0] = inLeft.get();
        outputs[1] = inRight.get();
        break;
    case kMono:
        inputs[1] = inLeft.get();
        break;
    case kMonoInPlace:
        for (std::size_t i = 0; i < count; ++i) {
            held[2 * i] = left[i];
        }
        inputs[1] = inLeft.get();
        outputs[0] = inLeft.get();
        break;
    default:
        break;
    }

    if (accumulating) {
        record->process(record, inputs.get(), outputs.get(), frames);
    } else {
        record->processReplacing(record, inputs.get(), outputs.get(), frames);
    }

    std::vector<float> shapedLeft(count);
    std::vector<float> shapedRight(count);
    shapeFrameByFrame(record, left, right, shapedLeft, shapedRight);
    for (std::size_t i = 0; i < count; ++i) {
        const float shaped[2] = {shapedLeft[i], shapedRight[i]};
        const float in[2] = {left[i], right[i]};
        const float out[2] = {outputs[0][i], outputs[1][i]};
        for (int c = 0; c < 2; ++c) {
            if (!std::isnan(in[c])) {
                FUZZ_REQUIRE(std::isfinite(shaped[c]), "NaN or infinity from a sample that is not NaN");
                // The knee is at most 1 and the curve approaches full scale without passing it.
                FUZZ_REQUIRE(std::fabs(shaped[c]) <= 1.0f, "shaped sample beyond full scale");
            } else {
                FUZZ_REQUIRE(std::isnan(shaped[c]), "a NaN sample does not pass through");
            }
            const float heldSample = held[2 * i + static_cast<std::size_t>(c)];
            const float expected = accumulating ? heldSample + shaped[c] : shaped[c];
            FUZZ_REQUIRE(sameSample(out[c], expected), "block differs from the same samples one frame at a time");
        }
    }

    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
