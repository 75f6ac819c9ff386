// Where a tone's harmonics land once sampled. A harmonic below Nyquist is itself; one
// above it folds back to |f - k * rate| for the nearest whole k, an alias: an
// inharmonic tone that no filter after the plug-in can remove.
#pragma once

#include <vector>

namespace plughost {

// The band that counts as audible: 20 Hz to 20 kHz, or to Nyquist where that is lower.
inline constexpr double kAudibleLowest = 20.0;
inline constexpr double kAudibleHighest = 20000.0;

// The orders above Nyquist that are named as aliases: this many, from the first.
inline constexpr int kAliasOrders = 256;

// The frequency at which a component of `frequency` Hz appears at the rate: from 0 to Nyquist.
double foldedFrequency(double frequency, double sampleRate);

struct AliasOrder {
    int order = 0;                  // 5 for the fifth harmonic
    double harmonicFrequency = 0.0; // order * tone, above Nyquist
    double folded = 0.0;            // where it appears
};

// The kAliasOrders harmonics above Nyquist, lowest order first.
std::vector<AliasOrder> aliasOrders(double tone, double sampleRate);

// The whole-hertz tone nearest `wanted` (within 2 %, and at most `highest`) whose first 64
// harmonics, folded, lie at least `apart` Hz from each other and from DC, so that each is
// measured on its own; the one that keeps them farthest apart when none does.
double separatedTone(double wanted, double highest, double sampleRate, double apart);

} // namespace plughost
