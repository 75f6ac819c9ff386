// The two yardsticks every figure is read against, so that a time on a noisy machine
// means something as a ratio: the cheapest processing there is, and the throughput of
// the processor's double divider. Both use AVX2 where the processor has it, else SSE2.
#pragma once

#include <cstdint>

// out = in * boost on both channels.
void boostOnly(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::int32_t frames,
               float boost) noexcept;

// One packed double division per sample, all independent (1 / in), with only the loads,
// conversions and stores that feed them; frames is a multiple of 8.
void divisionsOnly(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                   std::int32_t frames) noexcept;

// "avx2" or "sse2", whichever the two use here.
const char* boundsInstructionSet() noexcept;

// The processor's brand string as it reports it, or "unknown processor".
const char* processorModel() noexcept;
