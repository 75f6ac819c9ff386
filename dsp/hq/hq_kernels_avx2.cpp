// The HQ kernels with AVX2: eight float lanes for the filters, four double lanes for the curve.
// At 2x a frame is half a vector of the curve's samples: a piece whose curve glides, or its odd
// last frame, goes to the SSE2 kernel. Built with -mavx2, without FMA.
#include "hq_kernels.h"

#include <cstring>
#include <immintrin.h>

namespace {

struct Avx2 {
    static constexpr std::int32_t kFloats = 8;
    static constexpr std::int32_t kDoubles = 4;
    using F = __m256;
    using D = __m256d;

    static F loadu(const float* p) noexcept { return _mm256_loadu_ps(p); }
    static void storeu(float* p, F v) noexcept { _mm256_storeu_ps(p, v); }
    static F set1(float x) noexcept { return _mm256_set1_ps(x); }
    static F add(F a, F b) noexcept { return _mm256_add_ps(a, b); }
    static F mul(F a, F b) noexcept { return _mm256_mul_ps(a, b); }
    // As the SSE2 kernel's, eight lanes at once.
    static F safe(F x) noexcept
    {
        const __m256i exponent = _mm256_set1_epi32(0x7f800000);
        const __m256i bits = _mm256_and_si256(_mm256_castps_si256(x), exponent);
        const __m256i subnormal =
            _mm256_and_si256(_mm256_cmpeq_epi32(bits, _mm256_setzero_si256()), _mm256_set1_epi32(0x7fffffff));
        const __m256i cleared = _mm256_or_si256(_mm256_cmpeq_epi32(bits, exponent), subnormal);
        return _mm256_andnot_ps(_mm256_castsi256_ps(cleared), x);
    }
    static F held(F x) noexcept
    {
        return _mm256_min_ps(_mm256_max_ps(x, _mm256_set1_ps(-kHqLoudest)), _mm256_set1_ps(kHqLoudest));
    }
    static F wetOnly(F dry, F wet) noexcept
    {
        const F zero = _mm256_cmp_ps(wet, _mm256_setzero_ps(), _CMP_EQ_OQ);
        const F signedZero = _mm256_and_ps(_mm256_and_ps(wet, dry), _mm256_set1_ps(-0.0f));
        return _mm256_or_ps(_mm256_and_ps(zero, signedZero), _mm256_andnot_ps(zero, wet));
    }
    static void zip(F a, F b, float* out) noexcept
    {
        const F low = _mm256_unpacklo_ps(a, b);  // a0 b0 a1 b1 | a4 b4 a5 b5
        const F high = _mm256_unpackhi_ps(a, b); // a2 b2 a3 b3 | a6 b6 a7 b7
        _mm256_storeu_ps(out, _mm256_permute2f128_ps(low, high, 0x20));
        _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(low, high, 0x31));
    }

    static void unzip(const float* in, float* firsts, float* seconds) noexcept
    {
        const F low = _mm256_loadu_ps(in);
        const F high = _mm256_loadu_ps(in + 8);
        // Within each 128-bit half: low's then high's pairs; the 64-bit quarters then put in order.
        const __m256d f = _mm256_castps_pd(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m256d s = _mm256_castps_pd(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
        _mm256_storeu_ps(firsts, _mm256_castpd_ps(_mm256_permute4x64_pd(f, _MM_SHUFFLE(3, 1, 2, 0))));
        _mm256_storeu_ps(seconds, _mm256_castpd_ps(_mm256_permute4x64_pd(s, _MM_SHUFFLE(3, 1, 2, 0))));
    }

    static D set1(double x) noexcept { return _mm256_set1_pd(x); }
    static D add(D a, D b) noexcept { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) noexcept { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) noexcept { return _mm256_mul_pd(a, b); }
    static D div(D a, D b) noexcept { return _mm256_div_pd(a, b); }
    static D max(D a, D b) noexcept { return _mm256_max_pd(a, b); }
    // [prev's last lane, cur's lanes but its last]
    static D follow(D prev, D cur) noexcept
    {
        return _mm256_shuffle_pd(_mm256_permute2f128_pd(prev, cur, 0x21), cur, 0x5);
    }
    static D abs(D a) noexcept { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static D flipSign(D y, D s) noexcept { return _mm256_xor_pd(y, _mm256_and_pd(_mm256_set1_pd(-0.0), s)); }
    // A mask is a vector of all-ones and all-zeros lanes.
    using M = D;
    static M none() noexcept { return _mm256_setzero_pd(); }
    static D greater(D a, D b) noexcept { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static D select(D mask, D a, D b) noexcept { return _mm256_blendv_pd(b, a, mask); }
    static D both(D a, D b) noexcept { return _mm256_and_pd(a, b); }
    static D either(D a, D b) noexcept { return _mm256_or_pd(a, b); }
    static D andNot(D a, D b) noexcept { return _mm256_andnot_pd(a, b); }
    static bool any(D mask) noexcept { return _mm256_movemask_pd(mask) != 0; }
    static bool all(D mask) noexcept { return _mm256_movemask_pd(mask) == 15; }
    static double first(D v) noexcept { return _mm256_cvtsd_f64(v); }
    static D loadDoubles(const double* p) noexcept { return _mm256_loadu_pd(p); }
    static void storeDoubles(double* p, D v) noexcept { _mm256_storeu_pd(p, v); }
    static D widen(const float* p) noexcept { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
    static void narrowStore(float* p, D v) noexcept { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
    static D scaleOf(D x) noexcept
    {
        const __m256i biased = _mm256_srli_epi64(_mm256_castpd_si256(x), 52);
        return _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_sub_epi64(_mm256_set1_epi64x(2046), biased), 52));
    }
    static D exponentOf(D x) noexcept
    {
        const __m256i biased = _mm256_srli_epi64(_mm256_castpd_si256(x), 52);
        const __m256i magic = _mm256_set1_epi64x(0x4330000000000000LL);
        return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(magic, biased)),
                             _mm256_set1_pd(0x1.00000000003ffp+52));
    }
};

#include "hq_kernel_body.h"

void interpolate(const float* x, std::int32_t frames, const float* pairs, std::int32_t count, float* y) noexcept
{
    dispatchInterpolate<Avx2>(x, frames, pairs, count, y);
}

void decimateHalfband(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                      float* y, float* scratch) noexcept
{
    dispatchDecimateHalfband<Avx2>(u, frames, pairs, count, lag, y, scratch);
}

void decimateEven(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                  float* y, float* scratch) noexcept
{
    dispatchDecimateEven<Avx2>(u, frames, pairs, count, lag, y, scratch);
}

std::int32_t adaa(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves, const bool* changed,
                  double* state, double* scratch, float* y) noexcept
{
    return adaaInVectors<Avx2>(x, frames, factor, curves, changed, state, scratch, y, hqSse2Kernels());
}

void antiderivatives(const float* x, std::int32_t count, const HqCurve& curve, double* f) noexcept
{
    vectorAntiderivativesOf<Avx2>(x, count, curve, f);
}

void plainCurve(const float* x, std::int32_t frames, const HqCurve* curves, const bool* changed, float* y) noexcept
{
    vectorPlainCurve<Avx2>(x, frames, curves, changed, y);
}

void takeInput(const float* x, float boost, float* dry, float* boosted, std::int32_t frames) noexcept
{
    vectorTakeInput<Avx2>(x, boost, dry, boosted, frames);
}

void wetOnly(const float* dry, const float* wet, float* y, std::int32_t frames) noexcept
{
    vectorWetOnly<Avx2>(dry, wet, y, frames);
}

constexpr HqKernelSet kSet{interpolate,     decimateHalfband, decimateEven, adaa,
                           antiderivatives, plainCurve,       takeInput,    wetOnly};

} // namespace

const HqKernelSet& hqAvx2Kernels() noexcept
{
    return kSet;
}
