// The HQ kernels with SSE2, the instruction set every target has: four float lanes for the
// filters, two double lanes for the curve. Built with -msse2 only.
#include "hq_kernels.h"

#include <cstring>
#include <emmintrin.h>

namespace {

struct Sse2 {
    static constexpr std::int32_t kFloats = 4;
    static constexpr std::int32_t kDoubles = 2;
    using F = __m128;
    using D = __m128d;

    static F loadu(const float* p) noexcept { return _mm_loadu_ps(p); }
    static void storeu(float* p, F v) noexcept { _mm_storeu_ps(p, v); }
    static F set1(float x) noexcept { return _mm_set1_ps(x); }
    static F add(F a, F b) noexcept { return _mm_add_ps(a, b); }
    static F mul(F a, F b) noexcept { return _mm_mul_ps(a, b); }
    // hqSafeSample of each lane: the exponent's bits say non-finite (all set) or subnormal (none).
    static F safe(F x) noexcept
    {
        const __m128i exponent = _mm_set1_epi32(0x7f800000);
        const __m128i bits = _mm_and_si128(_mm_castps_si128(x), exponent);
        const __m128i subnormal = _mm_and_si128(_mm_cmpeq_epi32(bits, _mm_setzero_si128()), _mm_set1_epi32(0x7fffffff));
        const __m128i cleared = _mm_or_si128(_mm_cmpeq_epi32(bits, exponent), subnormal);
        return _mm_andnot_ps(_mm_castsi128_ps(cleared), x);
    }
    static F held(F x) noexcept { return _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-kHqLoudest)), _mm_set1_ps(kHqLoudest)); }
    // A zero wet sample takes the sign both share; the wet signal is never subnormal, so a zero
    // compares as one with or without denormals-are-zero.
    static F wetOnly(F dry, F wet) noexcept
    {
        const F zero = _mm_cmpeq_ps(wet, _mm_setzero_ps());
        const F signedZero = _mm_and_ps(_mm_and_ps(wet, dry), _mm_set1_ps(-0.0f));
        return _mm_or_ps(_mm_and_ps(zero, signedZero), _mm_andnot_ps(zero, wet));
    }
    static void zip(F a, F b, float* out) noexcept
    {
        _mm_storeu_ps(out, _mm_unpacklo_ps(a, b));
        _mm_storeu_ps(out + 4, _mm_unpackhi_ps(a, b));
    }

    static void unzip(const float* in, float* firsts, float* seconds) noexcept
    {
        const F low = _mm_loadu_ps(in);
        const F high = _mm_loadu_ps(in + 4);
        _mm_storeu_ps(firsts, _mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(seconds, _mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
    }

    static D set1(double x) noexcept { return _mm_set1_pd(x); }
    static D add(D a, D b) noexcept { return _mm_add_pd(a, b); }
    static D sub(D a, D b) noexcept { return _mm_sub_pd(a, b); }
    static D mul(D a, D b) noexcept { return _mm_mul_pd(a, b); }
    static D div(D a, D b) noexcept { return _mm_div_pd(a, b); }
    static D max(D a, D b) noexcept { return _mm_max_pd(a, b); }
    // [prev's last lane, cur's first]
    static D follow(D prev, D cur) noexcept { return _mm_shuffle_pd(prev, cur, 1); }
    static D abs(D a) noexcept { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    static D flipSign(D y, D s) noexcept { return _mm_xor_pd(y, _mm_and_pd(_mm_set1_pd(-0.0), s)); }
    // A mask is a vector of all-ones and all-zeros lanes.
    using M = D;
    static M none() noexcept { return _mm_setzero_pd(); }
    static D greater(D a, D b) noexcept { return _mm_cmpgt_pd(a, b); }
    static D select(D mask, D a, D b) noexcept { return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b)); }
    static D both(D a, D b) noexcept { return _mm_and_pd(a, b); }
    static D either(D a, D b) noexcept { return _mm_or_pd(a, b); }
    static D andNot(D a, D b) noexcept { return _mm_andnot_pd(a, b); }
    static bool any(D mask) noexcept { return _mm_movemask_pd(mask) != 0; }
    static bool all(D mask) noexcept { return _mm_movemask_pd(mask) == 3; }
    static double first(D v) noexcept { return _mm_cvtsd_f64(v); }
    static D loadDoubles(const double* p) noexcept { return _mm_loadu_pd(p); }
    static void storeDoubles(double* p, D v) noexcept { _mm_storeu_pd(p, v); }
    // Two floats as one 64-bit integer move, which needs no alignment and reads them as floats.
    static D widen(const float* p) noexcept
    {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void narrowStore(float* p, D v) noexcept
    {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v)));
    }
    // 2^-e and e for x = 2^e * (1..2), from the exponent field alone, as in hqLog1p.
    static D scaleOf(D x) noexcept
    {
        const __m128i biased = _mm_srli_epi64(_mm_castpd_si128(x), 52);
        return _mm_castsi128_pd(_mm_slli_epi64(_mm_sub_epi64(_mm_set1_epi64x(2046), biased), 52));
    }
    static D exponentOf(D x) noexcept
    {
        const __m128i biased = _mm_srli_epi64(_mm_castpd_si128(x), 52);
        const __m128i magic = _mm_set1_epi64x(0x4330000000000000LL);
        return _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(magic, biased)), _mm_set1_pd(0x1.00000000003ffp+52));
    }
};

#include "hq_kernel_body.h"

void interpolate(const float* x, std::int32_t frames, const float* pairs, std::int32_t count, float* y) noexcept
{
    dispatchInterpolate<Sse2>(x, frames, pairs, count, y);
}

void decimateHalfband(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                      float* y, float* scratch) noexcept
{
    dispatchDecimateHalfband<Sse2>(u, frames, pairs, count, lag, y, scratch);
}

void decimateEven(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                  float* y, float* scratch) noexcept
{
    dispatchDecimateEven<Sse2>(u, frames, pairs, count, lag, y, scratch);
}

std::int32_t adaa(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves, const bool* changed,
                  double* state, double* scratch, float* y) noexcept
{
    return adaaInVectors<Sse2>(x, frames, factor, curves, changed, state, scratch, y, hqScalarKernels());
}

void antiderivatives(const float* x, std::int32_t count, const HqCurve& curve, double* f) noexcept
{
    vectorAntiderivativesOf<Sse2>(x, count, curve, f);
}

void plainCurve(const float* x, std::int32_t frames, const HqCurve* curves, const bool* changed, float* y) noexcept
{
    vectorPlainCurve<Sse2>(x, frames, curves, changed, y);
}

void takeInput(const float* x, float boost, float* dry, float* boosted, std::int32_t frames) noexcept
{
    vectorTakeInput<Sse2>(x, boost, dry, boosted, frames);
}

void wetOnly(const float* dry, const float* wet, float* y, std::int32_t frames) noexcept
{
    vectorWetOnly<Sse2>(dry, wet, y, frames);
}

constexpr HqKernelSet kSet{interpolate,     decimateHalfband, decimateEven, adaa,
                           antiderivatives, plainCurve,       takeInput,    wetOnly};

} // namespace

const HqKernelSet& hqSse2Kernels() noexcept
{
    return kSet;
}
