// Renders a fixed, seeded signal through a built module over a grid of parameter
// settings (the first three parameters in a grid, any further ones each swept on its own)
// and writes every output sample as raw 32-bit floats, followed by the parameters'
// display texts for a seeded sweep of values:
//
//     module_render MODULE OUTPUT
//
// The module is driven as a host drives it, through `main` and the record only, so
// the outputs of the Linux module and of the two Windows DLLs can be compared byte
// for byte. The input is made from integers and exact power-of-two scaling, so it is
// the same on every target before the module touches it.

#include "descriptor.h"
#include "module_loader.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

using EntryFunction = AEffect*(EFFECT_CALL*)(audioMasterCallback);

constexpr std::int32_t kHostVersion = 2400;
constexpr int kChannels = 2;
constexpr std::int32_t kFrames = 4096;
// Uneven block sizes, so block boundaries fall everywhere in the signal.
constexpr std::array<std::int32_t, 6> kBlockSizes = {1, 7, 64, 333, 512, 1024};

// Normalised parameter values as a host's automation sends them: the ends, the
// defaults, and values that land just beside the knee and the curve's corners.
constexpr std::array<float, 5> kBoostValues = {0.0f, 0.01f, 0.3f, 0.5f, 1.0f};
constexpr std::array<float, 6> kKneeValues = {0.0f, 0.1f, 0.5f, 0.75f, 0.999f, 1.0f};
constexpr std::array<float, 5> kHardnessValues = {0.0f, 0.2f, 0.5f, 0.9f, 1.0f};
// Each parameter past the first three (the HQ module's Output, Mix and Quality) swept on
// its own with the first three at a loud setting: both ends, every Quality step, between them.
constexpr std::array<float, 3> kLoudSetting = {0.5f, 0.3f, 0.5f};
constexpr std::array<float, 6> kFurtherValues = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 0.3f};

std::intptr_t EFFECT_CALL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? kHostVersion : 0;
}

// Mostly uniform samples in [-4, 4), with special values sprinkled in: signed zeros,
// subnormals, infinities, a NaN, and the knee settings themselves.
std::vector<float> makeInput(std::uint32_t seed)
{
    constexpr std::array<std::uint32_t, 12> kSpecialBits = {0x00000000u, 0x80000000u, 0x00000001u, 0x807fffffu,
                                                            0x7f800000u, 0xff800000u, 0x7fc01234u, 0x3f000000u,
                                                            0xbf000000u, 0x3dcccccdu, 0x3f800000u, 0x7f7fffffu};
    std::vector<float> samples(kFrames);
    std::uint32_t state = seed;
    for (std::int32_t i = 0; i < kFrames; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        if (state % 61 == 0) {
            samples[i] = std::bit_cast<float>(kSpecialBits[(state >> 8) % kSpecialBits.size()]);
        } else {
            samples[i] = static_cast<float>(static_cast<std::int32_t>(state)) * 0x1p-29f;
        }
    }
    return samples;
}

// Runs one block operation over the whole signal in uneven blocks.
void render(AEffect* effect, AEffectProcessProc operation, std::array<std::vector<float>, kChannels>& in,
            std::array<std::vector<float>, kChannels>& out)
{
    std::size_t nextSize = 0;
    for (std::int32_t start = 0; start < kFrames;) {
        std::int32_t frames = kBlockSizes[nextSize++ % kBlockSizes.size()];
        if (frames > kFrames - start) {
            frames = kFrames - start;
        }
        std::array<float*, kChannels> inputs = {in[0].data() + start, in[1].data() + start};
        std::array<float*, kChannels> outputs = {out[0].data() + start, out[1].data() + start};
        operation(effect, inputs.data(), outputs.data(), frames);
        start += frames;
    }
}

bool write(std::FILE* file, const std::vector<float>& values)
{
    return std::fwrite(values.data(), sizeof(float), values.size(), file) == values.size();
}

// The display texts come from the module's own number formatting, which links against
// a different C library on each target. Values beyond 0..1 reach the over-range form.
bool writeDisplayTexts(std::FILE* file, AEffect* effect)
{
    constexpr int kValues = 3000;
    constexpr std::array<float, 8> kSpecialValues = {0.0f, 1.0f, 0.01f, 0.5f, -0.0f, 1e10f, -1e10f, 0.999999f};
    std::uint32_t state = 0x2545f491u;
    bool written = true;
    for (int n = 0; n < kValues; ++n) {
        state = state * 1664525u + 1013904223u;
        float value = static_cast<float>(state >> 8) * 0x1p-23f - 0.5f;
        if (n < static_cast<int>(kSpecialValues.size())) {
            value = kSpecialValues[n];
        }
        for (std::int32_t index = 0; index < effect->numParams; ++index) {
            std::array<char, 16> text{};
            effect->setParameter(effect, index, value);
            effect->dispatcher(effect, effGetParamDisplay, index, 0, text.data(), 0.0f);
            written = written && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        }
    }
    return written;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MODULE OUTPUT\n", argv[0]);
        return 2;
    }
    const LoadedModule module(argv[1]);
    if (!module.loaded()) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], LoadedModule::lastError().c_str());
        return 1;
    }
    const auto entry = module.find<EntryFunction>("main");
    if (entry == nullptr) {
        std::fprintf(stderr, "%s has no entry point main\n", argv[1]);
        return 1;
    }
    AEffect* effect = entry(hostCallback);
    if (effect == nullptr || effect->magic != kEffectMagic || effect->numInputs != kChannels ||
        effect->numOutputs != kChannels) {
        std::fprintf(stderr, "main did not answer a stereo effect record\n");
        return 1;
    }
    std::FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }

    std::array<std::vector<float>, kChannels> in = {makeInput(0x9e3779b9u), makeInput(0x85ebca6bu)};
    std::array<std::vector<float>, kChannels> out = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
    bool written = true;
    // Sets the parameters, reads them back, and renders with both block operations.
    const auto renderAt = [&](const std::vector<std::pair<std::int32_t, float>>& setting) {
        std::vector<float> readBack;
        for (const auto& [index, value] : setting) {
            effect->setParameter(effect, index, value);
        }
        for (std::int32_t index = 0; index < effect->numParams; ++index) {
            readBack.push_back(effect->getParameter(effect, index));
        }
        written = written && write(file, readBack);
        render(effect, effect->processReplacing, in, out);
        written = written && write(file, out[0]) && write(file, out[1]);
        // process adds into what the outputs hold: here the replacing result.
        render(effect, effect->process, in, out);
        written = written && write(file, out[0]) && write(file, out[1]);
    };
    for (float boost : kBoostValues) {
        for (float knee : kKneeValues) {
            for (float hardness : kHardnessValues) {
                renderAt({{0, boost}, {1, knee}, {2, hardness}});
            }
        }
    }
    for (std::int32_t index = 3; index < effect->numParams; ++index) {
        for (float value : kFurtherValues) {
            renderAt({{0, kLoudSetting[0]}, {1, kLoudSetting[1]}, {2, kLoudSetting[2]}, {index, value}});
        }
    }
    written = written && writeDisplayTexts(file, effect);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "writing %s failed\n", argv[2]);
        return 1;
    }
    return 0;
}
