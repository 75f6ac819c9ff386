// Renders a fixed signal through the HQ core with every kernel this processor runs, over a grid
// of settings with gliding controls and Quality switches, and writes every output sample as raw
// 32-bit floats:
//
//     hq_render OUTPUT
//
// The input is made from integers and power-of-two scaling only, so it is the same on every
// target; the native output and that of each Windows build under Wine must then be the same
// bytes (compare-render.sh). The scalar kernel's block is written first, so a kernel the Windows
// machine lacks only shortens the file.
#include "hq_kernels.h"
#include "soft_knee_hq.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr std::int32_t kFrames = 6000;
constexpr std::int32_t kBlocks[] = {1, 37, 64, 500};

// Noise whose level steps through quiet, near the knee, loud and subnormal, with exact zeros,
// infinities and a NaN sprinkled in.
std::vector<float> makeInput(std::uint32_t seed)
{
    std::vector<float> x(kFrames);
    std::uint32_t state = seed;
    for (std::int32_t i = 0; i < kFrames; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const float unit = static_cast<float>(static_cast<std::int32_t>(state >> 8) - (1 << 23)) * 0x1p-23f;
        const float level = i < 1500 ? 0x1p-6f : (i < 3000 ? 0x1p-2f : (i < 4500 ? 2.0f : 0x1p-130f));
        x[static_cast<std::size_t>(i)] = unit * level;
        if (state % 997 == 0) {
            const float specials[] = {0.0f, -0.0f, 1.0f / 0.0f, -1.0f / 0.0f, 0.0f / 0.0f};
            x[static_cast<std::size_t>(i)] = specials[state % 5];
        }
    }
    return x;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: hq_render OUTPUT\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "hq_render: cannot write %s\n", argv[1]);
        return 1;
    }
    const std::vector<float> left = makeInput(2463534242u);
    const std::vector<float> right = makeInput(88675123u);
    std::vector<float> outLeft(kFrames);
    std::vector<float> outRight(kFrames);
    for (const HqKernel kernel : {HqKernel::scalar, HqKernel::sse2, HqKernel::avx2, HqKernel::avx512}) {
        if (!hqKernelSupported(kernel)) {
            continue;
        }
        for (std::int32_t q = 0; q < kHqQualityCount; ++q) {
            for (const double rate : {44100.0, 96000.0}) {
                hqPinKernel(kernel);
                auto hq = std::make_unique<SoftKneeHq>(rate);
                hqUnpinKernel();
                hq->setQuality(static_cast<float>(q));
                hq->reset();
                for (std::int32_t start = 0, block = 0; start < kFrames; ++block) {
                    const std::int32_t n = std::min(kBlocks[block % 4], kFrames - start);
                    hq->setBoost(block % 3 == 0 ? 11.0f : 1.5f + static_cast<float>(block % 7));
                    hq->setKnee(static_cast<float>(block % 5) * 0.25f);
                    hq->setHardness(block % 4 == 3 ? 1.0f : static_cast<float>(block % 3) * 0.375f);
                    hq->setOutputDb(static_cast<float>(block % 9) * 6.0f - 24.0f);
                    hq->setMixPercent(block % 6 == 5 ? 37.5f : 100.0f);
                    if (block % 40 == 39) {
                        hq->setQuality(static_cast<float>((q + block / 40) % kHqQualityCount));
                    }
                    hq->process(left.data() + start, right.data() + start, outLeft.data() + start,
                                outRight.data() + start, n);
                    start += n;
                }
                std::fwrite(outLeft.data(), sizeof(float), outLeft.size(), out);
                std::fwrite(outRight.data(), sizeof(float), outRight.size(), out);
            }
        }
    }
    if (std::fclose(out) != 0) {
        std::fprintf(stderr, "hq_render: writing %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
