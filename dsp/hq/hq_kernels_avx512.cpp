// The HQ kernels with AVX-512 (F and DQ): sixteen float lanes for the filters, eight double
// lanes for the curve. A comparison gives a mask register, which the shared templates combine
// and blend with as it is: widened to a vector of lanes and back, it cost two instructions a
// comparison in the curve's loops. Every lane does the reference's operations in its
// order; the comparisons are quiet ones, as AVX2's are, and a dead lane computes from the safe
// operands the shared templates choose for it, so no lane raises a flag.
//
// At 2x and 4x a frame is a quarter or half of a vector of the curve's samples: a piece whose
// curve glides, or its last frames that fill part of a vector, goes to the AVX2 kernel.
//
// This file alone is built with AVX-512 and runs only where the processor and the operating
// system have it; it calls no inline function of another file, whose one copy kept by the
// linker could then be this file's.
#include "hq_kernels.h"

#include <cstring>
#include <immintrin.h>

namespace {

struct Avx512 {
    static constexpr std::int32_t kFloats = 16;
    static constexpr std::int32_t kDoubles = 8;
    using F = __m512;
    using D = __m512d;

    static F loadu(const float* p) noexcept { return _mm512_loadu_ps(p); }
    static void storeu(float* p, F v) noexcept { _mm512_storeu_ps(p, v); }
    static F set1(float x) noexcept { return _mm512_set1_ps(x); }
    static F add(F a, F b) noexcept { return _mm512_add_ps(a, b); }
    static F mul(F a, F b) noexcept { return _mm512_mul_ps(a, b); }
    // As the SSE2 kernel's, sixteen lanes at once, the lanes to change in mask registers.
    static F safe(F x) noexcept
    {
        const __m512i exponent = _mm512_set1_epi32(0x7f800000);
        const __m512i bits = _mm512_and_si512(_mm512_castps_si512(x), exponent);
        const __mmask16 nonFinite = _mm512_cmpeq_epi32_mask(bits, exponent);
        const __mmask16 subnormal = _mm512_cmpeq_epi32_mask(bits, _mm512_setzero_si512());
        const __m512i kept = _mm512_mask_and_epi32(_mm512_castps_si512(x), subnormal, _mm512_castps_si512(x),
                                                   _mm512_set1_epi32(static_cast<int>(0x80000000u)));
        return _mm512_castsi512_ps(_mm512_maskz_mov_epi32(static_cast<__mmask16>(~nonFinite), kept));
    }
    static F held(F x) noexcept
    {
        return _mm512_min_ps(_mm512_max_ps(x, _mm512_set1_ps(-kHqLoudest)), _mm512_set1_ps(kHqLoudest));
    }
    static F wetOnly(F dry, F wet) noexcept
    {
        const __mmask16 zero = _mm512_cmp_ps_mask(wet, _mm512_setzero_ps(), _CMP_EQ_OQ);
        const __m512i signedZero =
            _mm512_and_si512(_mm512_and_si512(_mm512_castps_si512(wet), _mm512_castps_si512(dry)),
                             _mm512_set1_epi32(static_cast<int>(0x80000000u)));
        return _mm512_mask_mov_ps(wet, zero, _mm512_castsi512_ps(signedZero));
    }
    // Lane i of the index picks a's lane i, lane 16 + i b's.
    static void zip(F a, F b, float* out) noexcept
    {
        const __m512i low = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const __m512i high = _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
        _mm512_storeu_ps(out, _mm512_permutex2var_ps(a, low, b));
        _mm512_storeu_ps(out + 16, _mm512_permutex2var_ps(a, high, b));
    }

    static void unzip(const float* in, float* firsts, float* seconds) noexcept
    {
        const F low = _mm512_loadu_ps(in);
        const F high = _mm512_loadu_ps(in + 16);
        const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        _mm512_storeu_ps(firsts, _mm512_permutex2var_ps(low, even, high));
        _mm512_storeu_ps(seconds, _mm512_permutex2var_ps(low, odd, high));
    }

    static D set1(double x) noexcept { return _mm512_set1_pd(x); }
    static D add(D a, D b) noexcept { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) noexcept { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) noexcept { return _mm512_mul_pd(a, b); }
    static D div(D a, D b) noexcept { return _mm512_div_pd(a, b); }
    static D max(D a, D b) noexcept { return _mm512_max_pd(a, b); }
    // [prev's last lane, cur's lanes but its last]
    static D follow(D prev, D cur) noexcept
    {
        return _mm512_castsi512_pd(_mm512_alignr_epi64(_mm512_castpd_si512(cur), _mm512_castpd_si512(prev), 7));
    }
    static D abs(D a) noexcept { return _mm512_andnot_pd(_mm512_set1_pd(-0.0), a); }
    static D flipSign(D y, D s) noexcept { return _mm512_xor_pd(y, _mm512_and_pd(_mm512_set1_pd(-0.0), s)); }
    // A mask is a mask register: a comparison and a blend take it as it is.
    using M = __mmask8;
    static M none() noexcept { return 0; }
    static M greater(D a, D b) noexcept { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
    static D select(M mask, D a, D b) noexcept { return _mm512_mask_blend_pd(mask, b, a); }
    static M both(M a, M b) noexcept { return _kand_mask8(a, b); }
    static M either(M a, M b) noexcept { return _kor_mask8(a, b); }
    static M andNot(M a, M b) noexcept { return _kandn_mask8(a, b); }
    static bool any(M mask) noexcept { return mask != 0; }
    static bool all(M mask) noexcept { return mask == 0xff; }
    static double first(D v) noexcept { return _mm_cvtsd_f64(_mm512_castpd512_pd128(v)); }
    static D loadDoubles(const double* p) noexcept { return _mm512_loadu_pd(p); }
    static void storeDoubles(double* p, D v) noexcept { _mm512_storeu_pd(p, v); }
    static D widen(const float* p) noexcept { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
    static void narrowStore(float* p, D v) noexcept { _mm256_storeu_ps(p, _mm512_cvtpd_ps(v)); }
    // The exponent as AVX-512 reads it, exactly the integer the other sets form from the bits
    // (x is at least 1 and finite), in one instruction instead of three.
    static D scaleOf(D x) noexcept
    {
        return _mm512_scalef_pd(_mm512_set1_pd(1.0), flipSign(exponentOf(x), _mm512_set1_pd(-1.0)));
    }
    static D exponentOf(D x) noexcept { return _mm512_getexp_pd(x); }
};

#include "hq_kernel_body.h"

void interpolate(const float* x, std::int32_t frames, const float* pairs, std::int32_t count, float* y) noexcept
{
    dispatchInterpolate<Avx512>(x, frames, pairs, count, y);
}

void decimateHalfband(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                      float* y, float* scratch) noexcept
{
    dispatchDecimateHalfband<Avx512>(u, frames, pairs, count, lag, y, scratch);
}

void decimateEven(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                  float* y, float* scratch) noexcept
{
    dispatchDecimateEven<Avx512>(u, frames, pairs, count, lag, y, scratch);
}

std::int32_t adaa(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves, const bool* changed,
                  double* state, double* scratch, float* y) noexcept
{
    return adaaInVectors<Avx512>(x, frames, factor, curves, changed, state, scratch, y, hqAvx2Kernels());
}

// count is a multiple of four: the last four, where they fill half a vector, go to AVX2.
void antiderivatives(const float* x, std::int32_t count, const HqCurve& curve, double* f) noexcept
{
    const std::int32_t whole = count - count % Avx512::kDoubles;
    vectorAntiderivativesOf<Avx512>(x, whole, curve, f);
    if (whole < count) {
        hqAvx2Kernels().antiderivatives(x + whole, count - whole, curve, f + whole);
    }
}

void plainCurve(const float* x, std::int32_t frames, const HqCurve* curves, const bool* changed, float* y) noexcept
{
    vectorPlainCurve<Avx512>(x, frames, curves, changed, y);
}

void takeInput(const float* x, float boost, float* dry, float* boosted, std::int32_t frames) noexcept
{
    vectorTakeInput<Avx512>(x, boost, dry, boosted, frames);
}

void wetOnly(const float* dry, const float* wet, float* y, std::int32_t frames) noexcept
{
    vectorWetOnly<Avx512>(dry, wet, y, frames);
}

constexpr HqKernelSet kSet{interpolate,     decimateHalfband, decimateEven, adaa,
                           antiderivatives, plainCurve,       takeInput,    wetOnly};

} // namespace

const HqKernelSet& hqAvx512Kernels() noexcept
{
    return kSet;
}
