// How the boost, a gain of 1 to 11, is formed from a normalised value of 0 to 1, the form
// in which a VST host sends it. Every format forms the gain through these functions, so
// that each setting of one format has a setting of the other with the same output.
#pragma once

// The gain for a normalised value: value * 10 + 1 in double, rounded to float once.
inline float boostFromNormalised(float value) noexcept
{
    return static_cast<float>(static_cast<double>(value) * 10.0 + 1.0);
}

// The normalised value shown for a gain: (boost - 1) / 10 in double, rounded to float once.
inline float normalisedFromBoost(float boost) noexcept
{
    return static_cast<float>((static_cast<double>(boost) - 1.0) / 10.0);
}

// A gain given in the effect's own units (the LV2 control) as a normalised value forms it:
// the gain of the value shown for it. Not every float from 1 to 11 is a gain that some value
// forms: from 3.5 up, ten times a step of the values is wider than a step of the gains in
// places, and 4.4 % of the floats from 1 to 11 fall between. A gain that some value forms
// comes back unchanged (every float from 1 to 11 was checked); any other becomes the gain
// of the value next to it, which is a neighbour of the gain given.
inline float boostAsFormed(float boost) noexcept
{
    return boostFromNormalised(normalisedFromBoost(boost));
}
