// The vector kernels of hq_kernels.h as templates over a lane type V, included by one file per
// instruction set inside its own unnamed namespace, after it defines V, so that each set is
// compiled with its own instructions and nothing compiled here is shared between them. Each
// function mirrors a reference in hq_kernels.cpp operation for operation; the frames that do not
// fill a vector go to that reference.
//
// V provides, for kFloats float lanes and kDoubles double lanes: F and D vector types; float
// loadu, storeu, set1, add, mul, zip (stores a0 b0 a1 b1 ...) and unzip (its inverse, from
// 2 kFloats floats); double set1, add, sub, mul, div, max, abs, flipSign (y with the sign of s
// flipped in), greater, both, either and andNot (a and b, a or b, b and not a, of two masks),
// select(mask, a, b), any(mask), all(mask), first(v), loadDoubles,
// storeDoubles, widen (kDoubles floats to doubles) and narrowStore (kDoubles doubles rounded to
// floats); and scaleOf and exponentOf for the logarithm's exact exponent split. For the curve's
// closed form in float, as for doubles: sub, div, min and max (min(a, b) = a < b ? a : b and
// max(a, b) = a > b ? a : b lane by lane, as the instructions give them, so the second operand
// where either is a NaN), abs, flipSign, greater, both, either, andNot, select and any on float
// masks; lanes(mask), the mask's lanes as bits, lane 0 lowest; and for two positive normal floats
// hi >= lo with e the difference of their exponent fields, octaveScale(hi, lo) = 2^-e and
// octaveCount(hi, lo) = e, both exact.

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

// The settings of one frame's curve in every lane, for the general path in double.
template <class V> struct Lanes {
    typename V::D knee, w, shapeA, g, c, atKnee;
    bool flat;

    explicit Lanes(const HqCurve& curve)
        : knee(V::set1(curve.knee)), w(V::set1(curve.w)), shapeA(V::set1(curve.shapeA)), g(V::set1(curve.g)),
          c(V::set1(curve.c)), atKnee(V::set1(curve.atKnee)), flat(curve.flat)
    {
    }
};

// hqLog1p of hq_antiderivative.h, lane by lane.
template <class V> [[gnu::always_inline]] inline typename V::D vectorLog1p(typename V::D z) noexcept
{
    using namespace hq_log;
    using D = typename V::D;
    const D one = V::set1(1.0);
    const D r = V::add(one, z);
    const D rootTwo = V::mul(r, V::set1(kSqrt2));
    const D scale = V::scaleOf(rootTwo);
    const D e = V::exponentOf(rootTwo);
    const D t = V::add(V::mul(z, scale), V::sub(scale, one));
    const D s = V::div(t, V::add(V::set1(2.0), t));
    const D z2 = V::mul(s, s);
    const D z4 = V::mul(z2, z2);
    const D z8 = V::mul(z4, z4);
    const D low = V::add(V::add(V::set1(kP0), V::mul(V::set1(kP1), z2)),
                         V::mul(z4, V::add(V::set1(kP2), V::mul(V::set1(kP3), z2))));
    const D high = V::add(V::add(V::set1(kP4), V::mul(V::set1(kP5), z2)), V::mul(z4, V::set1(kP6)));
    const D lnM = V::mul(s, V::add(V::set1(2.0), V::mul(z2, V::add(low, V::mul(z8, high)))));
    return V::add(V::mul(e, V::set1(kLn2)), lnM);
}

// hqAntiderivative, lane by lane. The bent part is computed for every lane, from a distance of
// at least 0, and kept where the input is above the knee.
template <class V>
[[gnu::always_inline]] inline typename V::D vectorAntiderivative(typename V::D v, const Lanes<V>& k) noexcept
{
    using D = typename V::D;
    const D m = V::abs(v);
    const D above = V::greater(m, k.knee);
    const D below = V::mul(V::set1(0.5), V::mul(m, m));
    if (!V::any(above)) {
        return below;
    }
    const D d = V::sub(m, k.knee);
    const D bent = k.flat ? V::mul(k.w, d) : V::mul(k.c, vectorLog1p<V>(V::mul(k.g, V::max(d, V::set1(0.0)))));
    return V::select(above, V::add(k.atKnee, V::sub(d, bent)), below);
}

template <class V>
void vectorAntiderivativesOf(const float* x, std::int32_t count, const HqCurve& curve, double* f) noexcept
{
    const Lanes<V> k(curve);
    for (std::int32_t n = 0; n < count; n += V::kDoubles) {
        V::storeDoubles(f + n, vectorAntiderivative<V>(V::widen(x + n), k));
    }
}

// hqCurveValue, lane by lane; lanes at or below the knee divide by 1 instead, so that no lane
// divides by zero.
template <class V> [[gnu::always_inline]] inline typename V::D vectorCurve(typename V::D v, const Lanes<V>& k) noexcept
{
    using D = typename V::D;
    const D m = V::abs(v);
    const D d = V::sub(m, k.knee);
    const D above = V::greater(m, k.knee);
    const D denominator = V::select(above, V::add(k.w, V::mul(k.shapeA, d)), V::set1(1.0));
    const D y = V::sub(V::set1(1.0), V::div(V::mul(k.w, k.w), denominator));
    return V::select(above, V::flipSign(y, v), v);
}

// hqGeneralMean, lane by lane: the quotient divides by 1 where the inputs are too close for it,
// and those lanes take the curve at their midpoint instead, if there are any.
template <class V>
[[gnu::always_inline]] inline typename V::D vectorGeneralMean(typename V::D x0, typename V::D x1,
                                                              const Lanes<V>& k) noexcept
{
    using D = typename V::D;
    const D f0 = vectorAntiderivative<V>(x0, k);
    const D f1 = vectorAntiderivative<V>(x1, k);
    const D dx = V::sub(x1, x0);
    const D scale = V::add(V::add(V::set1(1.0), V::abs(x0)), V::abs(x1));
    const D far = V::greater(V::abs(dx), V::mul(V::set1(kHqCloseInputs), scale));
    const D out = V::div(V::sub(f1, f0), V::select(far, dx, V::set1(1.0)));
    if (V::all(far)) {
        return out;
    }
    return V::select(far, out, vectorCurve<V>(V::mul(V::set1(0.5), V::add(x0, x1)), k));
}

// The closed form's settings of one frame's curve in every float lane.
template <class V> struct FloatLanes {
    typename V::F kneeDown, below, kneeRest, w, a, wKnee, wSquared, c;
    bool floatForm;

    explicit FloatLanes(const HqCurve& curve)
        : kneeDown(V::set1(curve.kneeDown)), below(V::set1(-curve.kneeDown)), kneeRest(V::set1(curve.kneeRest)),
          w(V::set1(curve.wF)), a(V::set1(curve.aF)), wKnee(V::set1(curve.wKnee)), wSquared(V::set1(curve.wSquared)),
          c(V::set1(curve.cF)), floatForm(curve.floatForm)
    {
    }
};

// The outputs of up to this many samples are worked out together: first every one in float,
// as the mean of two inputs at or below the knee or by the closed form, noting the others;
// then those in double, packed into vectors of their own.
inline constexpr std::int32_t kStretch = 64;

// What the closed form's first half leaves for its second, for a stretch of samples.
struct ClosedHalves {
    float s[kStretch], e[kStretch], u[kStretch], span[kStretch], base[kStretch], gap[kStretch], line[kStretch];
    float rise[kStretch]; // the short form's; its s holds q = 1 / (2u + r) where z <= 2
    float wide[kStretch], crossed[kStretch], closed[kStretch], to[kStretch]; // masks, and the sign's source
};

// hqClosedMean, lane by lane, for every lane whatever its kind, crossed where the mask says so;
// above0 is |x0| > kneeDown. Its operands are held where they are safe (magnitudes within
// kHqFloatLimit, distances at least 0, every divisor positive), so that a lane whose result is
// dropped raises nothing. In two halves, each ending in a division, which a stretch of samples
// takes one after the other, so that the processor always finds independent work beside the
// chains: closedStart up to the logarithm's argument s, closedFinish the rest.
template <class V, bool kShort>
[[gnu::always_inline]] inline void closedStart(typename V::F x0, typename V::F x1, typename V::F above0,
                                               typename V::F crossed, typename V::F jumped, const FloatLanes<V>& k,
                                               ClosedHalves& c, std::int32_t n) noexcept
{
    using F = typename V::F;
    const F limit = V::set1(kHqFloatLimit);
    const F xa = V::select(above0, x0, x1);
    const F from = V::select(crossed, k.kneeDown, x0);
    const F to = V::select(crossed, xa, x1);
    const F m0 = V::min(V::abs(from), limit);
    const F m1 = V::min(V::abs(to), limit);
    const F lo = V::min(m0, m1);
    const F hi = V::max(m1, m0);
    const F d = V::max(V::sub(V::sub(lo, k.kneeDown), k.kneeRest), V::set1(0.0f));
    const F span = V::sub(hi, lo);
    const F u = V::add(k.w, V::mul(k.a, d));
    const F rise = V::mul(k.a, span);
    const F twoU = V::add(u, u);
    const F wide = V::greater(rise, twoU);
    const F uHi = V::add(u, rise);
    const F v = V::mul(uHi, V::octaveScale(uHi, u));
    // A crossing's line part, from b, its input at or below the knee mirrored with xa, and its
    // whole distance; a jump's distance is the sum of the magnitudes, its line part 0.
    const F b = V::select(crossed, V::flipSign(V::select(above0, x1, x0), xa), V::set1(0.0f));
    const F line = V::mul(V::mul(V::sub(k.kneeDown, b), V::add(k.kneeDown, b)), V::set1(0.5f));
    V::storeu(c.line + n, V::select(crossed, line, V::set1(0.0f)));
    V::storeu(c.gap + n, V::select(crossed, V::sub(hi, b), V::add(hi, lo)));
    V::storeu(c.span + n, span);
    if constexpr (kShort) {
        const F one = V::set1(1.0f);
        V::storeu(c.s + n, V::div(V::select(wide, V::sub(v, u), one), V::select(wide, V::add(v, u), V::add(twoU, rise))));
        V::storeu(c.e + n, V::select(wide, V::octaveCount(uHi, u), V::set1(0.0f)));
        V::storeu(c.rise + n, rise);
    } else {
        V::storeu(c.s + n,
                  V::div(V::select(wide, V::sub(v, u), rise), V::select(wide, V::add(v, u), V::add(twoU, rise))));
        V::storeu(c.e + n, V::octaveCount(uHi, u));
        V::storeu(c.u + n, u);
        V::storeu(c.base + n, V::add(k.wKnee, V::mul(k.a, d)));
    }
    V::storeu(c.wide + n, wide);
    V::storeu(c.to + n, V::select(V::andNot(V::greater(m1, m0), jumped), from, to));
}

// hqShortMean's second half, from what closedStart<V, true> left.
template <class V>
[[gnu::always_inline]] inline typename V::F shortFinish(const ClosedHalves& c, const FloatLanes<V>& k,
                                                        std::int32_t n) noexcept
{
    using namespace hq_log;
    using F = typename V::F;
    const F q = V::loadu(c.s + n);
    const F e = V::loadu(c.e + n);
    const F span = V::loadu(c.span + n);
    const F wide = V::loadu(c.wide + n);
    const F crossed = V::loadu(c.crossed + n);
    const F s = V::select(wide, q, V::mul(V::loadu(c.rise + n), q));
    const F z = V::mul(s, s);
    const F z2 = V::mul(z, z);
    const F p = V::add(V::add(V::add(V::set1(kQ0), V::mul(V::set1(kQ1), z)),
                              V::mul(z2, V::add(V::set1(kQ2), V::mul(V::set1(kQ3), z)))),
                       V::mul(V::mul(z2, z2), V::add(V::set1(kQ4), V::mul(V::set1(kQ5), z))));
    const F series = V::add(V::set1(2.0f), V::mul(z, p));
    const F bentLn = V::mul(
        k.c, V::add(V::mul(e, V::set1(kLn2High)), V::add(V::mul(e, V::set1(kLn2Low)), V::mul(s, series))));
    const F term = V::mul(k.wSquared, V::mul(series, q));
    const F crossNum = V::sub(V::add(V::loadu(c.line + n), span), V::select(wide, bentLn, V::mul(term, span)));
    const F ratio = V::div(V::select(crossed, crossNum, bentLn),
                           V::select(crossed, V::loadu(c.gap + n), V::select(wide, span, V::set1(1.0f))));
    const F y = V::select(crossed, ratio, V::sub(V::set1(1.0f), V::select(wide, ratio, term)));
    return V::flipSign(y, V::loadu(c.to + n));
}

template <class V>
[[gnu::always_inline]] inline typename V::F closedFinish(const ClosedHalves& c, const FloatLanes<V>& k,
                                                         std::int32_t n) noexcept
{
    using namespace hq_log;
    using F = typename V::F;
    const F one = V::set1(1.0f);
    const F s = V::loadu(c.s + n);
    const F e = V::loadu(c.e + n);
    const F u = V::loadu(c.u + n);
    const F span = V::loadu(c.span + n);
    const F line = V::loadu(c.line + n);
    const F gap = V::loadu(c.gap + n);
    const F wide = V::loadu(c.wide + n);
    const F crossed = V::loadu(c.crossed + n);
    const F z = V::mul(s, s);
    const F z2 = V::mul(z, z);
    const F p = V::add(V::add(V::add(V::set1(kQ0), V::mul(V::set1(kQ1), z)),
                              V::mul(z2, V::add(V::set1(kQ2), V::mul(V::set1(kQ3), z)))),
                       V::mul(V::mul(z2, z2), V::add(V::set1(kQ4), V::mul(V::set1(kQ5), z))));
    const F bentLn = V::mul(k.c, V::add(V::mul(e, V::set1(kLn2High)),
                                        V::add(V::mul(e, V::set1(kLn2Low)),
                                               V::mul(s, V::add(V::set1(2.0f), V::mul(z, p))))));
    const F h = V::mul(s, V::sub(one, V::mul(V::set1(0.5f), V::mul(V::mul(s, V::sub(one, s)), p))));
    const F narrow = V::add(V::loadu(c.base + n), V::mul(k.wSquared, h));
    const F crossNum = V::select(wide, V::sub(V::add(line, span), bentLn), V::add(V::mul(line, u), V::mul(narrow, span)));
    const F crossDen = V::select(wide, gap, V::mul(u, gap));
    const F q = V::div(V::select(crossed, crossNum, V::select(wide, bentLn, narrow)),
                       V::select(crossed, crossDen, V::select(wide, span, u)));
    return V::flipSign(V::select(V::andNot(crossed, wide), V::sub(one, q), q), V::loadu(c.to + n));
}

// y[n] for n < count (at most kStretch) from the inputs x[n - 1] and x[n] under one curve, with
// x[-1] = previous, as hqAdaa gives them; the samples that do not fill a vector go to it. Returns
// how many samples took more than the mean (in whole vectors).
template <class V, bool kShort>
std::int32_t curveStretchOf(const float* x, float previous, std::int32_t count, const HqCurve& curve,
                            const FloatLanes<V>& k, float* y) noexcept
{
    using F = typename V::F;
    constexpr std::int32_t W = V::kFloats;
    const F half = V::set1(0.5f);
    const F limit = V::set1(kHqFloatLimit);
    const std::int32_t vectorCount = count - count % W;
    std::int32_t general = 0;
    std::int32_t others[kStretch];
    std::int32_t otherCount = 0;
    float first[W] = {previous}; // the first vector's x[n - 1]
    for (std::int32_t j = 1; j < W && vectorCount > 0; ++j) {
        first[j] = x[j - 1];
    }
    // A stretch that never rises above the knee takes the means alone. Otherwise every vector
    // takes the same steps, with no branch between them, so that the processor overlaps their
    // long chains; the lanes that need the general path are noted as bits and listed after.
    F loudest = V::abs(V::loadu(first));
    for (std::int32_t n = 0; n < vectorCount; n += W) {
        loudest = V::max(loudest, V::abs(V::loadu(x + n)));
    }
    const bool quiet = !V::any(V::greater(loudest, k.kneeDown));
    std::uint32_t generalLanes[kStretch / W];
    ClosedHalves halves;
    for (std::int32_t n = 0; n < vectorCount; n += W) {
        const F x0 = V::loadu(n == 0 ? first : x + n - 1);
        const F x1 = V::loadu(x + n);
        V::storeu(y + n, V::mul(half, V::add(x0, x1)));
        if (quiet) {
            continue;
        }
        const F larger = V::max(V::abs(x0), V::abs(x1));
        const F above0 = V::greater(V::abs(x0), k.kneeDown);
        const F above1 = V::greater(V::abs(x1), k.kneeDown);
        const F loud = V::either(above0, above1);
        const F crossed = V::andNot(V::both(above0, above1), loud);
        const F high = V::both(V::greater(x0, k.kneeDown), V::greater(x1, k.kneeDown));
        const F low = V::both(V::greater(k.below, x0), V::greater(k.below, x1));
        const F jumped = V::andNot(V::either(high, low), V::both(above0, above1));
        const F closed = k.floatForm ? V::andNot(V::greater(larger, limit), loud) : V::set1(0.0f);
        closedStart<V, kShort>(x0, x1, above0, crossed, jumped, k, halves, n);
        V::storeu(halves.crossed + n, V::either(crossed, jumped));
        V::storeu(halves.closed + n, closed);
        generalLanes[n / W] = V::lanes(V::andNot(closed, loud));
    }
    for (std::int32_t n = 0; n < vectorCount && !quiet; n += W) {
        const F out = kShort ? shortFinish<V>(halves, k, n) : closedFinish<V>(halves, k, n);
        V::storeu(y + n, V::select(V::loadu(halves.closed + n), out, V::loadu(y + n)));
    }
    if (!quiet) {
        general += vectorCount;
        for (std::int32_t n = 0; n < vectorCount; n += W) {
            for (std::uint32_t lanes = generalLanes[n / W]; lanes != 0; lanes &= lanes - 1) {
                others[otherCount++] = n + std::countr_zero(lanes);
            }
        }
    }
    if (otherCount > 0) {
        constexpr std::int32_t L = V::kDoubles;
        const Lanes<V> kd(curve);
        for (std::int32_t g = 0; g < otherCount; g += L) {
            double from[L];
            double to[L];
            for (std::int32_t j = 0; j < L; ++j) {
                const std::int32_t n = others[g + j < otherCount ? g + j : otherCount - 1];
                from[j] = n == 0 ? previous : x[n - 1];
                to[j] = x[n];
            }
            float out[L];
            V::narrowStore(out, vectorGeneralMean<V>(V::loadDoubles(from), V::loadDoubles(to), kd));
            for (std::int32_t j = 0; j < L && g + j < otherCount; ++j) {
                y[others[g + j]] = out[j];
            }
        }
    }
    for (std::int32_t n = vectorCount; n < count; ++n) {
        const float x0 = n == 0 ? previous : x[n - 1];
        y[n] = hqAdaa(x0, x[n], curve);
        general += hqBelowKnee(x0, x[n], curve) ? 0 : 1;
    }
    return general;
}

template <class V>
std::int32_t curveStretch(const float* x, float previous, std::int32_t count, const HqCurve& curve,
                          const FloatLanes<V>& k, float* y) noexcept
{
    return curve.shortForm ? curveStretchOf<V, true>(x, previous, count, curve, k, y)
                           : curveStretchOf<V, false>(x, previous, count, curve, k, y);
}

template <class V>
std::int32_t vectorAdaa(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves,
                        const bool* changed, double* state, double*, float* y) noexcept
{
    float previous = static_cast<float>(state[0]);
    bool oneCurve = true;
    for (std::int32_t i = 1; i < frames; ++i) {
        oneCurve = oneCurve && !changed[i];
    }
    // A piece with one curve throughout runs in stretches of kStretch samples; one whose curve
    // glides, frame by frame, each frame's samples in vectors as far as they fill them.
    std::int32_t general = 0;
    if (oneCurve) {
        const FloatLanes<V> k(curves[0]);
        const std::int32_t count = frames * factor;
        for (std::int32_t n = 0; n < count; n += kStretch) {
            const std::int32_t part = count - n < kStretch ? count - n : kStretch;
            general += curveStretch<V>(x + n, previous, part, curves[0], k, y + n);
            previous = x[n + part - 1];
        }
    } else {
        for (std::int32_t i = 0; i < frames; ++i) {
            const float* const frame = x + i * factor;
            general += curveStretch<V>(frame, previous, factor, curves[i], FloatLanes<V>(curves[i]), y + i * factor);
            previous = frame[factor - 1];
        }
    }
    state[0] = previous;
    return general;
}
