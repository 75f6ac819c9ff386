// Written by tools/design-hq.py; change the script and run it again rather than editing
// these numbers.
#pragma once

// Each array holds one half of a symmetric filter's distinct taps, outermost first, as the
// stage that uses it sums its pairs.
#include <cstdint>

inline constexpr std::int32_t kHalfbandTaps2x = 155;
// Half-band stage at 2x: 155 taps, centre 1/2; stopband -116.7 dB, passband ripple 1.5e-06.
inline constexpr float kHalfbandPairs2x[39] = {
    0x1.00d47c0000000p-19f, -0x1.f4abca0000000p-19f, 0x1.e706020000000p-18f, -0x1.aff1ac0000000p-17f,
    0x1.6723400000000p-16f, -0x1.1c6c200000000p-15f, 0x1.b1786e0000000p-15f, -0x1.40011a0000000p-14f,
    0x1.cc00500000000p-14f, -0x1.43184a0000000p-13f, 0x1.bcd1600000000p-13f, -0x1.2cc8d00000000p-12f,
    0x1.9057680000000p-12f, -0x1.069f8c0000000p-11f, 0x1.5419440000000p-11f, -0x1.b33b5c0000000p-11f,
    0x1.137be00000000p-10f, -0x1.594bb20000000p-10f, 0x1.ace28c0000000p-10f, -0x1.0827440000000p-9f,
    0x1.42f0bc0000000p-9f, -0x1.88205c0000000p-9f, 0x1.d93e3c0000000p-9f, -0x1.1c0c6a0000000p-8f,
    0x1.536f060000000p-8f, -0x1.9420460000000p-8f, 0x1.dfd81e0000000p-8f, -0x1.1c6c620000000p-7f,
    0x1.5119fc0000000p-7f, -0x1.901e520000000p-7f, 0x1.dca4a20000000p-7f, -0x1.1dc49c0000000p-6f,
    0x1.5a55440000000p-6f, -0x1.aad5120000000p-6f, 0x1.0e165e0000000p-5f, -0x1.650a600000000p-5f,
    0x1.fe5ca20000000p-5f, -0x1.af3b140000000p-4f, 0x1.45aaf20000000p-2f,
};

inline constexpr std::int32_t kHalfbandTaps4x = 23;
// Half-band stage at 4x: 23 taps, centre 1/2; stopband -115.8 dB, passband ripple 1.6e-06.
inline constexpr float kHalfbandPairs4x[6] = {
    -0x1.083c400000000p-12f, 0x1.0d8aec0000000p-9f, -0x1.2853520000000p-7f, 0x1.d87d9c0000000p-6f,
    -0x1.4901900000000p-4f, 0x1.3c21e80000000p-2f,
};

inline constexpr std::int32_t kHalfbandTaps8x = 15;
// Half-band stage at 8x: 15 taps, centre 1/2; stopband -130.2 dB, passband ripple 3.1e-07.
inline constexpr float kHalfbandPairs8x[4] = {
    -0x1.8fda520000000p-10f, 0x1.b6ba840000000p-7f, -0x1.fe27200000000p-5f, 0x1.339ee00000000p-2f,
};

inline constexpr std::int32_t kHalfbandTaps16x = 11;
// Half-band stage at 16x: 11 taps, centre 1/2; stopband -132.4 dB, passband ripple 2.4e-07.
inline constexpr float kHalfbandPairs16x[3] = {
    0x1.8f010e0000000p-8f, -0x1.958bc20000000p-5f, 0x1.2c75780000000p-2f,
};

inline constexpr std::int32_t kDecimatorTaps2x = 166;
// First decimator from 2x: 166 taps; stopband -120.1 dB, passband within 1.0e-06 of 1 / cos(pi f).
inline constexpr float kDecimatorPairs2x[83] = {
    -0x1.3070000000000p-21f, 0x1.2f40e80000000p-20f, 0x1.b693b20000000p-20f, -0x1.1c73920000000p-19f,
    -0x1.ae73040000000p-19f, 0x1.1d52320000000p-18f, 0x1.9198280000000p-18f, -0x1.ffc8e60000000p-18f,
    -0x1.5a31040000000p-17f, 0x1.aeb1940000000p-17f, 0x1.1abdfc0000000p-16f, -0x1.58fac00000000p-16f,
    -0x1.ba933e0000000p-16f, 0x1.09bbb40000000p-15f, 0x1.4e99ae0000000p-15f, -0x1.8c6af40000000p-15f,
    -0x1.eb7c620000000p-15f, 0x1.1fc19a0000000p-14f, 0x1.601f520000000p-14f, -0x1.98165c0000000p-14f,
    -0x1.edc6660000000p-14f, 0x1.1b7e6c0000000p-13f, 0x1.53abea0000000p-13f, -0x1.82c85c0000000p-13f,
    -0x1.cb730a0000000p-13f, 0x1.0396a80000000p-12f, 0x1.3203700000000p-12f, -0x1.575b920000000p-12f,
    -0x1.9205e00000000p-12f, 0x1.c0203e0000000p-12f, 0x1.04c2420000000p-11f, -0x1.20e14e0000000p-11f,
    -0x1.4e5f4a0000000p-11f, 0x1.704b460000000p-11f, 0x1.a83b020000000p-11f, -0x1.d0b8360000000p-11f,
    -0x1.0a7f4e0000000p-10f, 0x1.226b560000000p-10f, 0x1.4bd0e80000000p-10f, -0x1.67d0880000000p-10f,
    -0x1.99ba980000000p-10f, 0x1.ba335e0000000p-10f, 0x1.f617ce0000000p-10f, -0x1.0db63c0000000p-9f,
    -0x1.3180420000000p-9f, 0x1.46c78c0000000p-9f, 0x1.716b8a0000000p-9f, -0x1.897b2a0000000p-9f,
    -0x1.bc2dd60000000p-9f, 0x1.d72c580000000p-9f, 0x1.09b2180000000p-8f, -0x1.18b91e0000000p-8f,
    -0x1.3c7e9e0000000p-8f, 0x1.4d1a360000000p-8f, 0x1.77abb40000000p-8f, -0x1.89e4900000000p-8f,
    -0x1.bcb6f40000000p-8f, 0x1.d0914c0000000p-8f, 0x1.06c7580000000p-7f, -0x1.1184e80000000p-7f,
    -0x1.3663960000000p-7f, 0x1.41ee940000000p-7f, 0x1.6ef80c0000000p-7f, -0x1.7b4aca0000000p-7f,
    -0x1.b3113e0000000p-7f, 0x1.c023500000000p-7f, 0x1.033dee0000000p-6f, -0x1.0a210c0000000p-6f,
    -0x1.3793e00000000p-6f, 0x1.3eca260000000p-6f, 0x1.7b73920000000p-6f, -0x1.82f4d00000000p-6f,
    -0x1.d7989e0000000p-6f, 0x1.df5b760000000p-6f, 0x1.2e8e3a0000000p-5f, -0x1.328b400000000p-5f,
    -0x1.992d580000000p-5f, 0x1.9d40520000000p-5f, 0x1.3055160000000p-4f, -0x1.32668c0000000p-4f,
    -0x1.1636220000000p-3f, 0x1.1741480000000p-3f, 0x1.ffbd020000000p-2f,
};

inline constexpr std::int32_t kDecimatorTaps4x = 26;
// First decimator from 4x: 26 taps; stopband -120.5 dB, passband within 9.8e-07 of 1 / cos(pi f).
inline constexpr float kDecimatorPairs4x[13] = {
    0x1.a7363e0000000p-14f, -0x1.50928a0000000p-13f, -0x1.ec75b40000000p-11f, 0x1.5fd5840000000p-10f,
    0x1.2bb51e0000000p-8f, -0x1.893bcc0000000p-8f, -0x1.002db00000000p-6f, 0x1.3850ee0000000p-6f,
    0x1.64017a0000000p-5f, -0x1.9649b40000000p-5f, -0x1.d8d6240000000p-4f, 0x1.fc00940000000p-4f,
    0x1.fb18380000000p-2f,
};

inline constexpr std::int32_t kDecimatorTaps8x = 16;
// First decimator from 8x: 16 taps; stopband -124.9 dB, passband within 5.7e-07 of 1 / cos(pi f).
inline constexpr float kDecimatorPairs8x[8] = {
    -0x1.2a59680000000p-10f, -0x1.f454c60000000p-10f, 0x1.4420220000000p-7f, 0x1.1464740000000p-6f,
    -0x1.5af3660000000p-5f, -0x1.5090f20000000p-4f, 0x1.0b1e7c0000000p-3f, 0x1.e1aabe0000000p-2f,
};

inline constexpr std::int32_t kDecimatorTaps16x = 12;
// First decimator from 16x: 12 taps; stopband -130.3 dB, passband within 3.0e-07 of 1 / cos(pi f).
inline constexpr float kDecimatorPairs16x[6] = {
    0x1.3211ce0000000p-8f, 0x1.ecd5fc0000000p-8f, -0x1.1be4b00000000p-5f, -0x1.07c1dc0000000p-4f,
    0x1.0c2c0c0000000p-3f, 0x1.d2db720000000p-2f,
};
