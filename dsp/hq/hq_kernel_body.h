// The vector kernels of hq_kernels.h as templates over a lane type V, included by one file per
// instruction set inside its own unnamed namespace, after it defines V, so that each set is
// compiled with its own instructions and nothing compiled here is shared between them. Each
// function mirrors a reference in hq_kernels.cpp operation for operation; the frames that do not
// fill a vector go to that reference.
//
// V provides, for kFloats float lanes and kDoubles double lanes: F and D vector types; float
// loadu, storeu, set1, add, mul, zip (stores a0 b0 a1 b1 ...) and unzip (its inverse, from
// 2 kFloats floats); double set1, add, sub, mul, div, max, abs, flipSign (y with the sign of s
// flipped in); a mask type M (a vector of all-ones and all-zeros lanes, or a mask register), and
// none (no lane), greater, both, either and andNot (a and b, a or b, b and not a, of two masks),
// select(mask, a, b), any(mask), all(mask); first(v), loadDoubles,
// storeDoubles, widen (kDoubles floats to doubles) and narrowStore; follow(prev, cur) (prev's
// last lane, then cur's lanes but its last); scaleOf and exponentOf for the logarithm's exact
// exponent split; and on float vectors safe (hqSafeSample lane by lane), held (within
// +-kHqLoudest) and wetOnly (that kernel's operation on a vector of dry and one of wet samples).

// sum[b] = sum_j pairs[j] (near[b W - j] + far[b W + j]) over j < count in ascending order, for
// kBlock vectors of outputs side by side, so that each tap is broadcast once for all of them.
template <class V, std::int32_t kBlock>
[[gnu::always_inline]] inline void pairSum(const float* near, const float* far, float tap, std::int32_t j,
                                           typename V::F* sum) noexcept
{
    constexpr std::int32_t W = V::kFloats;
    const typename V::F g = V::set1(tap);
#pragma GCC unroll 4
    for (std::int32_t b = 0; b < kBlock; ++b) {
        sum[b] = V::add(sum[b], V::mul(g, V::add(V::loadu(near + b * W - j), V::loadu(far + b * W + j))));
    }
}

// kCount, where not 0, is count known when compiling, for the short filters: their loop over the
// taps then unrolls completely.
template <class V, std::int32_t kBlock, std::int32_t kCount>
[[gnu::always_inline]] inline void pairSums(const float* near, const float* far, const float* pairs, std::int32_t count,
                                            typename V::F* sum) noexcept
{
    constexpr std::int32_t W = V::kFloats;
    const typename V::F g = V::set1(pairs[0]);
#pragma GCC unroll 4
    for (std::int32_t b = 0; b < kBlock; ++b) {
        sum[b] = V::mul(g, V::add(V::loadu(near + b * W), V::loadu(far + b * W)));
    }
    if constexpr (kCount > 0) {
#pragma GCC unroll 16
        for (std::int32_t j = 1; j < kCount; ++j) {
            pairSum<V, kBlock>(near, far, pairs[j], j, sum);
        }
    } else {
        for (std::int32_t j = 1; j < count; ++j) {
            pairSum<V, kBlock>(near, far, pairs[j], j, sum);
        }
    }
}

template <class V, std::int32_t kCount>
void vectorInterpolate(const float* x, std::int32_t frames, const float* pairs, std::int32_t count, float* y) noexcept
{
    constexpr std::int32_t W = V::kFloats;
    const std::int32_t m = count - 1;
    const std::int32_t span = 2 * m + 1;
    std::int32_t i = 0;
    for (; i + 4 * W <= frames; i += 4 * W) {
        typename V::F sum[4];
        pairSums<V, 4, kCount>(x + i, x + i - span, pairs, count, sum);
#pragma GCC unroll 4
        for (std::int32_t b = 0; b < 4; ++b) {
            V::zip(sum[b], V::loadu(x + i + b * W - m), y + 2 * (i + b * W));
        }
    }
    for (; i + W <= frames; i += W) {
        typename V::F sum[1];
        pairSums<V, 1, kCount>(x + i, x + i - span, pairs, count, sum);
        V::zip(sum[0], V::loadu(x + i - m), y + 2 * i);
    }
    if (i < frames) {
        hqScalarKernels().interpolate(x + i, frames - i, pairs, count, y + 2 * i);
    }
}

// Splits the input around t = u + 1 - lag into its two phases, a[k] = t[2k] and b[k] = t[2k - 1]
// for k from -reach up to frames (a multiple of kFloats), so that the outputs' taps are
// contiguous in each.
template <class V>
[[gnu::always_inline]] inline void splitPhases(const float* t, std::int32_t reach, std::int32_t frames, float* a,
                                               float* b) noexcept
{
    std::int32_t k = -reach;
    for (; k < -reach + reach % V::kFloats; ++k) {
        a[k + reach] = t[2 * k];
        b[k + reach] = t[2 * k - 1];
    }
    for (; k < frames; k += V::kFloats) {
        V::unzip(t + 2 * k - 1, b + k + reach, a + k + reach);
    }
}

template <class V, std::int32_t kCount>
void vectorDecimateHalfband(const float* u, std::int32_t frames, const float* pairs, std::int32_t count,
                            std::int32_t lag, float* y, float* scratch) noexcept
{
    const std::int32_t m = count - 1;
    const std::int32_t reach = 2 * m + 1;
    const std::int32_t vectorFrames = frames - frames % V::kFloats;
    if (vectorFrames > 0) {
        float* const a = scratch + reach;
        float* const b = scratch + (vectorFrames + reach) + reach;
        splitPhases<V>(u + 1 - lag, reach, vectorFrames, scratch, scratch + (vectorFrames + reach));
        const typename V::F half = V::set1(0.5f);
        std::int32_t i = 0;
        for (; i + 4 * V::kFloats <= vectorFrames; i += 4 * V::kFloats) {
            typename V::F sum[4];
            pairSums<V, 4, kCount>(a + i, a + i - reach, pairs, count, sum);
#pragma GCC unroll 4
            for (std::int32_t k = 0; k < 4; ++k) {
                V::storeu(y + i + k * V::kFloats, V::add(sum[k], V::mul(half, V::loadu(b + i + k * V::kFloats - m))));
            }
        }
        for (; i < vectorFrames; i += V::kFloats) {
            typename V::F sum[1];
            pairSums<V, 1, kCount>(a + i, a + i - reach, pairs, count, sum);
            V::storeu(y + i, V::add(sum[0], V::mul(half, V::loadu(b + i - m))));
        }
    }
    if (vectorFrames < frames) {
        hqScalarKernels().decimateHalfband(u + 2 * vectorFrames, frames - vectorFrames, pairs, count, lag,
                                           y + vectorFrames, scratch);
    }
}

// The even-length decimator's sums over the phases a and b, kBlock vectors side by side: tap 0
// pairs a[i] with b[i - (count - 1)], tap 2p + 1 pairs b[i - p] with a[i - (count - 1) + p] and
// tap 2p + 2 pairs a[i - p - 1] with b[i - (count - 2) + p].
template <class V, std::int32_t kBlock>
[[gnu::always_inline]] inline void evenPairSum(const float* a, const float* b, const float* pairs, std::int32_t count,
                                               std::int32_t j, typename V::F* sum) noexcept
{
    constexpr std::int32_t W = V::kFloats;
    const std::int32_t p = (j - 1) / 2;
    const float* const near = (j & 1) ? b - p : a - p - 1;
    const float* const far = (j & 1) ? a - (count - 1) + p : b - (count - 2) + p;
    const typename V::F g = V::set1(pairs[j]);
#pragma GCC unroll 4
    for (std::int32_t k = 0; k < kBlock; ++k) {
        sum[k] = V::add(sum[k], V::mul(g, V::add(V::loadu(near + k * W), V::loadu(far + k * W))));
    }
}

template <class V, std::int32_t kBlock, std::int32_t kCount>
[[gnu::always_inline]] inline void evenPairSums(const float* a, const float* b, const float* pairs, std::int32_t count,
                                                typename V::F* sum) noexcept
{
    constexpr std::int32_t W = V::kFloats;
    const typename V::F g = V::set1(pairs[0]);
#pragma GCC unroll 4
    for (std::int32_t k = 0; k < kBlock; ++k) {
        sum[k] = V::mul(g, V::add(V::loadu(a + k * W), V::loadu(b + k * W - (count - 1))));
    }
    if constexpr (kCount > 0) {
#pragma GCC unroll 16
        for (std::int32_t j = 1; j < kCount; ++j) {
            evenPairSum<V, kBlock>(a, b, pairs, kCount, j, sum);
        }
    } else {
        for (std::int32_t j = 1; j < count; ++j) {
            evenPairSum<V, kBlock>(a, b, pairs, count, j, sum);
        }
    }
}

template <class V, std::int32_t kCount>
void vectorDecimateEven(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                        float* y, float* scratch) noexcept
{
    // With span = 2 count - 1 odd, t[2i - j] is a[i - j/2] for even j and b[i - (j - 1)/2] for odd
    // j; its partner t[2i - span + j] lies in the other phase.
    const std::int32_t reach = count - 1;
    const std::int32_t vectorFrames = frames - frames % V::kFloats;
    if (vectorFrames > 0) {
        float* const a = scratch + reach;
        float* const b = scratch + (vectorFrames + reach) + reach;
        splitPhases<V>(u + 1 - lag, reach, vectorFrames, scratch, scratch + (vectorFrames + reach));
        std::int32_t i = 0;
        for (; i + 4 * V::kFloats <= vectorFrames; i += 4 * V::kFloats) {
            typename V::F sum[4];
            evenPairSums<V, 4, kCount>(a + i, b + i, pairs, count, sum);
#pragma GCC unroll 4
            for (std::int32_t k = 0; k < 4; ++k) {
                V::storeu(y + i + k * V::kFloats, sum[k]);
            }
        }
        for (; i < vectorFrames; i += V::kFloats) {
            typename V::F sum[1];
            evenPairSums<V, 1, kCount>(a + i, b + i, pairs, count, sum);
            V::storeu(y + i, sum[0]);
        }
    }
    if (vectorFrames < frames) {
        hqScalarKernels().decimateEven(u + 2 * vectorFrames, frames - vectorFrames, pairs, count, lag, y + vectorFrames,
                                       scratch);
    }
}

// The filters with the tap counts of hq_filter_coefficients.h compiled for their counts; any
// other count runs the general loop.
template <class V>
void dispatchInterpolate(const float* x, std::int32_t frames, const float* pairs, std::int32_t count, float* y) noexcept
{
    switch (count) {
    case 3:
        return vectorInterpolate<V, 3>(x, frames, pairs, count, y);
    case 4:
        return vectorInterpolate<V, 4>(x, frames, pairs, count, y);
    case 6:
        return vectorInterpolate<V, 6>(x, frames, pairs, count, y);
    default:
        return vectorInterpolate<V, 0>(x, frames, pairs, count, y);
    }
}

template <class V>
void dispatchDecimateHalfband(const float* u, std::int32_t frames, const float* pairs, std::int32_t count,
                              std::int32_t lag, float* y, float* scratch) noexcept
{
    switch (count) {
    case 4:
        return vectorDecimateHalfband<V, 4>(u, frames, pairs, count, lag, y, scratch);
    case 6:
        return vectorDecimateHalfband<V, 6>(u, frames, pairs, count, lag, y, scratch);
    default:
        return vectorDecimateHalfband<V, 0>(u, frames, pairs, count, lag, y, scratch);
    }
}

template <class V>
void dispatchDecimateEven(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                          float* y, float* scratch) noexcept
{
    switch (count) {
    case 6:
        return vectorDecimateEven<V, 6>(u, frames, pairs, count, lag, y, scratch);
    case 8:
        return vectorDecimateEven<V, 8>(u, frames, pairs, count, lag, y, scratch);
    case 13:
        return vectorDecimateEven<V, 13>(u, frames, pairs, count, lag, y, scratch);
    default:
        return vectorDecimateEven<V, 0>(u, frames, pairs, count, lag, y, scratch);
    }
}

// The settings of one frame's curve in every lane.
template <class V> struct Lanes {
    typename V::D knee, w, shapeA, g, c, atKnee;
    bool flat;

    explicit Lanes(const HqCurve& curve)
        : knee(V::set1(curve.knee)), w(V::set1(curve.w)), shapeA(V::set1(curve.shapeA)), g(V::set1(curve.g)),
          c(V::set1(curve.c)), atKnee(V::set1(curve.atKnee)), flat(curve.flat)
    {
    }
};

// hqLog1p of hq_antiderivative.h, lane by lane, in two halves: logSplit forms the exponent e and
// the series' argument s, whose division ends a long chain, and logSeries the rest. A run of
// samples goes through the first half before any goes through the second, so that the processor
// always finds independent work beside the chains.
template <class V>
[[gnu::always_inline]] inline void logSplit(typename V::D z, typename V::D& s, typename V::D& e) noexcept
{
    using namespace hq_log;
    using D = typename V::D;
    const D one = V::set1(1.0);
    const D r = V::add(one, z);
    const D rootTwo = V::mul(r, V::set1(kSqrt2));
    const D scale = V::scaleOf(rootTwo);
    e = V::exponentOf(rootTwo);
    const D t = V::add(V::mul(z, scale), V::sub(scale, one));
    s = V::div(t, V::add(V::set1(2.0), t));
}

template <class V> [[gnu::always_inline]] inline typename V::D logSeries(typename V::D s, typename V::D e) noexcept
{
    using namespace hq_log;
    using D = typename V::D;
    const D z2 = V::mul(s, s);
    const D z4 = V::mul(z2, z2);
    const D z8 = V::mul(z4, z4);
    const D low = V::add(V::add(V::set1(kP0), V::mul(V::set1(kP1), z2)),
                         V::mul(z4, V::add(V::set1(kP2), V::mul(V::set1(kP3), z2))));
    const D high = V::add(V::add(V::set1(kP4), V::mul(V::set1(kP5), z2)), V::mul(z4, V::set1(kP6)));
    const D lnM = V::mul(s, V::add(V::set1(2.0), V::mul(z2, V::add(low, V::mul(z8, high)))));
    return V::add(V::mul(e, V::set1(kLn2)), lnM);
}

template <class V> [[gnu::always_inline]] inline typename V::D vectorLog1p(typename V::D z) noexcept
{
    typename V::D s;
    typename V::D e;
    logSplit<V>(z, s, e);
    return logSeries<V>(s, e);
}

// hqAntiderivative, lane by lane. The bent part is computed for every lane, from a distance of
// at least 0, and kept where the input is above the knee: on a loud signal lanes cross the knee
// unpredictably, and a branch on them would cost more than the work it saves.
template <class V>
[[gnu::always_inline]] inline typename V::D vectorAntiderivative(typename V::D v, const Lanes<V>& k) noexcept
{
    using D = typename V::D;
    const D m = V::abs(v);
    const typename V::M above = V::greater(m, k.knee);
    const D below = V::mul(V::set1(0.5), V::mul(m, m));
    if (!V::any(above)) {
        return below;
    }
    const D d = V::sub(m, k.knee);
    const D bent = k.flat ? V::mul(k.w, d) : V::mul(k.c, vectorLog1p<V>(V::mul(k.g, V::max(d, V::set1(0.0)))));
    return V::select(above, V::add(k.atKnee, V::sub(d, bent)), below);
}

// xs[n] and fs[n] = F(x[n]) for n < count, a multiple of kDoubles, with es as scratch. A run
// that never rises above the knee takes the square alone, and 0 is returned; otherwise every
// sample goes through both halves of the logarithm (logSplit), from a distance of at least 0,
// whether above the knee or not, and count is returned.
template <class V>
[[gnu::always_inline]] inline std::int32_t antiderivativeRun(const float* x, std::int32_t count, const Lanes<V>& k,
                                                             double* xs, double* fs, double* es) noexcept
{
    using D = typename V::D;
    const D half = V::set1(0.5);
    const D zero = V::set1(0.0);
    D loudest = zero;
    for (std::int32_t n = 0; n < count; n += V::kDoubles) {
        const D v = V::widen(x + n);
        V::storeDoubles(xs + n, v);
        loudest = V::max(loudest, V::abs(v));
    }
    if (!V::any(V::greater(loudest, k.knee))) {
        for (std::int32_t n = 0; n < count; n += V::kDoubles) {
            const D m = V::abs(V::loadDoubles(xs + n));
            V::storeDoubles(fs + n, V::mul(half, V::mul(m, m)));
        }
        return 0;
    }
    if (k.flat) {
        for (std::int32_t n = 0; n < count; n += V::kDoubles) {
            V::storeDoubles(fs + n, vectorAntiderivative<V>(V::loadDoubles(xs + n), k));
        }
        return count;
    }
    for (std::int32_t n = 0; n < count; n += V::kDoubles) {
        D s;
        D e;
        logSplit<V>(V::mul(k.g, V::max(V::sub(V::abs(V::loadDoubles(xs + n)), k.knee), zero)), s, e);
        V::storeDoubles(fs + n, s);
        V::storeDoubles(es + n, e);
    }
    for (std::int32_t n = 0; n < count; n += V::kDoubles) {
        const D m = V::abs(V::loadDoubles(xs + n));
        const D d = V::sub(m, k.knee);
        const D bent = V::mul(k.c, logSeries<V>(V::loadDoubles(fs + n), V::loadDoubles(es + n)));
        V::storeDoubles(
            fs + n, V::select(V::greater(m, k.knee), V::add(k.atKnee, V::sub(d, bent)), V::mul(half, V::mul(m, m))));
    }
    return count;
}

template <class V>
void vectorAntiderivativesOf(const float* x, std::int32_t count, const HqCurve& curve, double* f) noexcept
{
    alignas(64) double xs[64];
    alignas(64) double es[64];
    for (std::int32_t n = 0; n < count; n += 64) {
        const std::int32_t part = count - n < 64 ? count - n : 64;
        antiderivativeRun<V>(x + n, part, Lanes<V>(curve), xs, f + n, es);
    }
}

// hqCurveValue, lane by lane; lanes at or below the knee divide by 1 instead, so that no lane
// divides by zero.
template <class V> [[gnu::always_inline]] inline typename V::D vectorCurve(typename V::D v, const Lanes<V>& k) noexcept
{
    using D = typename V::D;
    const D m = V::abs(v);
    const D d = V::sub(m, k.knee);
    const typename V::M above = V::greater(m, k.knee);
    const D denominator = V::select(above, V::add(k.w, V::mul(k.shapeA, d)), V::set1(1.0));
    const D y = V::sub(V::set1(1.0), V::div(V::mul(k.w, k.w), denominator));
    return V::select(above, V::flipSign(y, v), v);
}

// The outputs of samples first..last - 1 under one curve, from xs and fs as vectorAdaa leaves
// them, as hqAdaa gives them. Where both inputs of every output are at or below the knee the
// run is the mean of each pair, nothing divides, and 0 is returned; otherwise the run's length.
// There a lane whose pair is below the knee keeps its mean, the others take the quotient, which
// divides by 1 where the inputs are too close for it; those are rare, so they are written again
// after the run with the curve at their midpoint, if there are any.
// loud says that an input of the run is known to be above the knee, which spares the look for one.
template <class V>
[[gnu::always_inline]] inline std::int32_t quotients(const double* xs, const double* fs, std::int32_t first,
                                                     std::int32_t last, const Lanes<V>& k, float* y,
                                                     bool loud = false) noexcept
{
    using D = typename V::D;
    const D close = V::set1(kHqCloseInputs);
    const D one = V::set1(1.0);
    const D half = V::set1(0.5);
    if (!loud) {
        D loudest = V::set1(0.0);
        for (std::int32_t n = first; n < last; n += V::kDoubles) {
            const D x0 = V::loadDoubles(xs + n);
            const D x1 = V::loadDoubles(xs + 1 + n);
            loudest = V::max(loudest, V::max(V::abs(x0), V::abs(x1)));
            V::narrowStore(y + n, V::mul(half, V::add(x0, x1)));
        }
        if (!V::any(V::greater(loudest, k.knee))) {
            return 0;
        }
    }
    typename V::M anyClose = V::none(); // lanes above the knee with inputs too close for the quotient
    // Each vector's earlier inputs are the later ones of the vector before, moved up a lane.
    D x1 = V::loadDoubles(xs + first);
    D f1 = V::loadDoubles(fs + first);
    for (std::int32_t n = first; n < last; n += V::kDoubles) {
        const D before = x1;
        const D fBefore = f1;
        x1 = V::loadDoubles(xs + 1 + n);
        f1 = V::loadDoubles(fs + 1 + n);
        const D x0 = n == first ? before : V::follow(before, x1);
        const D f0 = n == first ? fBefore : V::follow(fBefore, f1);
        const D dx = V::sub(x1, x0);
        const typename V::M far = V::greater(V::abs(dx), V::mul(close, V::add(V::add(one, V::abs(x0)), V::abs(x1))));
        const typename V::M loud = V::greater(V::max(V::abs(x0), V::abs(x1)), k.knee);
        anyClose = V::either(anyClose, V::andNot(far, loud));
        const D out = V::div(V::sub(f1, f0), V::select(far, dx, one));
        V::narrowStore(y + n, V::select(loud, out, V::mul(half, V::add(x0, x1))));
    }
    if (!V::any(anyClose)) {
        return last - first;
    }
    for (std::int32_t n = first; n < last; n += V::kDoubles) {
        const D x0 = V::loadDoubles(xs + n);
        const D x1 = V::loadDoubles(xs + 1 + n);
        const D dx = V::sub(x1, x0);
        const typename V::M far = V::greater(V::abs(dx), V::mul(close, V::add(V::add(one, V::abs(x0)), V::abs(x1))));
        const typename V::M loud = V::greater(V::max(V::abs(x0), V::abs(x1)), k.knee);
        if (V::any(V::andNot(far, loud))) {
            const D out = V::div(V::sub(V::loadDoubles(fs + 1 + n), V::loadDoubles(fs + n)), V::select(far, dx, one));
            V::narrowStore(y + n, V::select(V::both(far, loud), out, vectorCurve<V>(V::mul(half, V::add(x0, x1)), k)));
        }
    }
    return last - first;
}

// Below the knee the decision to skip the logarithm and the quotient is made for each stretch of
// this many samples, short enough that a signal crossing the knee now and then leaves most of
// them quiet.
inline constexpr std::int32_t kQuietStretch = 64;
// The stretches of a piece at 16x, whose loudness is kept from the antiderivatives to the quotients.
inline constexpr std::int32_t kMostStretches = 16;

// Whether any of changed[from..to) is set, eight flags a step: a flag a frame, tested byte by
// byte, cost the 1x curve as much as its arithmetic.
inline bool anyChanged(const bool* changed, std::int32_t from, std::int32_t to) noexcept
{
    std::uint64_t any = 0;
    std::int32_t i = from;
    for (; i + 8 <= to; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, changed + i, sizeof(eight));
        any |= eight;
    }
    for (; i < to; ++i) {
        any |= changed[i] ? 1u : 0u;
    }
    return any != 0;
}

// The first 64-byte boundary at or after p.
inline double* alignedRow(double* p) noexcept
{
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(p);
    return p + ((64 - at % 64) % 64) / sizeof(double);
}

template <class V>
std::int32_t vectorAdaa(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves,
                        const bool* changed, double* state, double* scratch, float* y) noexcept
{
    // Each row's samples, xs[1..] and fs[1..] and es, start on a 64-byte boundary: the antiderivatives'
    // runs then load and store whole lines, and only the quotients' earlier inputs straddle two.
    const std::int32_t row = frames * factor + 1;
    double* const xs = alignedRow(scratch + 1) - 1;
    double* const fs = alignedRow(xs + 1 + row) - 1;
    double* const es = alignedRow(fs + 1 + row);
    xs[0] = state[0];
    fs[0] = state[1];
    const bool oneCurve = !anyChanged(changed, 1, frames);
    // First every antiderivative, which depend on nothing but their input, so that the processor
    // overlaps their long chains; then the quotients. Where the curve changed, the previous input's
    // antiderivative is taken again under the new one first. A piece with one curve throughout
    // runs in stretches of kQuietStretch samples.
    std::int32_t general = 0;
    if (oneCurve) {
        const Lanes<V> k(curves[0]);
        const std::int32_t count = frames * factor;
        bool loud[kMostStretches];
        for (std::int32_t n = 0; n < count; n += kQuietStretch) {
            const std::int32_t part = count - n < kQuietStretch ? count - n : kQuietStretch;
            const std::int32_t taken = antiderivativeRun<V>(x + n, part, k, xs + 1 + n, fs + 1 + n, es);
            loud[n / kQuietStretch % kMostStretches] = taken > 0;
            general += taken;
        }
        if (changed[0]) {
            fs[0] = V::first(vectorAntiderivative<V>(V::set1(xs[0]), k));
        }
        for (std::int32_t n = 0; n < count; n += kQuietStretch) {
            const bool known = count <= kMostStretches * kQuietStretch && loud[n / kQuietStretch % kMostStretches];
            general += quotients<V>(xs, fs, n, count - n < kQuietStretch ? count : n + kQuietStretch, k, y, known);
        }
    } else {
        for (std::int32_t i = 0; i < frames; ++i) {
            general += antiderivativeRun<V>(x + i * factor, factor, Lanes<V>(curves[i]), xs + 1 + i * factor,
                                            fs + 1 + i * factor, es);
        }
        for (std::int32_t i = 0; i < frames; ++i) {
            const Lanes<V> k(curves[i]);
            const std::int32_t first = i * factor;
            if (changed[i]) {
                fs[first] = V::first(vectorAntiderivative<V>(V::set1(xs[first]), k));
            }
            general += quotients<V>(xs, fs, first, first + factor, k, y);
        }
    }
    state[0] = xs[frames * factor];
    state[1] = fs[frames * factor];
    return general;
}

// vectorAdaa over a piece of any length: the frames whose samples would fill only part of a
// vector go to narrower, a kernel of narrower lanes, which gives the same bits. Those are the
// last frames of a piece whose length is not a whole number of vectors, and a whole piece whose
// curve changes after its first frame where a frame holds fewer samples than a vector (2x on
// four lanes, 2x and 4x on eight), since each frame's run then fills part of one.
template <class V>
std::int32_t adaaInVectors(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves,
                           const bool* changed, double* state, double* scratch, float* y,
                           const HqKernelSet& narrower) noexcept
{
    const std::int32_t framesPerVector = factor < V::kDoubles ? V::kDoubles / factor : 1;
    const bool oneCurve = framesPerVector == 1 || !anyChanged(changed, 1, frames);
    const std::int32_t vectorFrames = oneCurve ? frames - frames % framesPerVector : 0;
    std::int32_t general = 0;
    if (vectorFrames > 0) {
        general = vectorAdaa<V>(x, vectorFrames, factor, curves, changed, state, scratch, y);
    }
    if (vectorFrames < frames) {
        const std::int32_t done = vectorFrames * factor;
        general += narrower.adaa(x + done, frames - vectorFrames, factor, curves + vectorFrames,
                                 changed + vectorFrames, state, scratch, y + done);
    }
    return general;
}

// The plain curve of 1x, kDoubles frames at a time, as the reference gives it. Where the curve
// changes within the piece each lane takes its own frame's settings; the frames that do not fill
// a vector go to the reference.
template <class V>
void vectorPlainCurve(const float* x, std::int32_t frames, const HqCurve* curves, const bool* changed,
                      float* y) noexcept
{
    constexpr std::int32_t W = V::kDoubles;
    const std::int32_t vectorFrames = frames - frames % W;
    const bool oneCurve = !anyChanged(changed, 1, vectorFrames);
    Lanes<V> k(curves[0]);
    for (std::int32_t i = 0; i < vectorFrames; i += W) {
        if (!oneCurve) {
            double knee[W];
            double w[W];
            double shapeA[W];
            for (std::int32_t lane = 0; lane < W; ++lane) {
                knee[lane] = curves[i + lane].knee;
                w[lane] = curves[i + lane].w;
                shapeA[lane] = curves[i + lane].shapeA;
            }
            k.knee = V::loadDoubles(knee);
            k.w = V::loadDoubles(w);
            k.shapeA = V::loadDoubles(shapeA);
        }
        V::narrowStore(y + i, vectorCurve<V>(V::widen(x + i), k));
    }
    if (vectorFrames < frames) {
        hqScalarKernels().plainCurve(x + vectorFrames, frames - vectorFrames, curves + vectorFrames,
                                     changed + vectorFrames, y + vectorFrames);
    }
}

template <class V>
void vectorTakeInput(const float* x, float boost, float* dry, float* boosted, std::int32_t frames) noexcept
{
    constexpr std::int32_t W = V::kFloats;
    const typename V::F times = V::set1(boost);
    std::int32_t i = 0;
    for (; i + W <= frames; i += W) {
        const typename V::F safe = V::safe(V::loadu(x + i));
        V::storeu(dry + i, safe);
        V::storeu(boosted + i, V::mul(V::held(safe), times));
    }
    if (i < frames) {
        hqScalarKernels().takeInput(x + i, boost, dry + i, boosted + i, frames - i);
    }
}

template <class V> void vectorWetOnly(const float* dry, const float* wet, float* y, std::int32_t frames) noexcept
{
    constexpr std::int32_t W = V::kFloats;
    std::int32_t i = 0;
    for (; i + W <= frames; i += W) {
        V::storeu(y + i, V::wetOnly(V::loadu(dry + i), V::loadu(wet + i)));
    }
    if (i < frames) {
        hqScalarKernels().wetOnly(dry + i, wet + i, y + i, frames - i);
    }
}
