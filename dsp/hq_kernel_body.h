// The vector kernels of hq_kernels.h as templates over a lane type V, included by one file per
// instruction set inside its own unnamed namespace, after it defines V, so that each set is
// compiled with its own instructions and nothing compiled here is shared between them. Each
// function mirrors a reference in hq_kernels.cpp operation for operation; the frames that do not
// fill a vector go to that reference.
//
// V provides, for kFloats float lanes and kDoubles double lanes: F and D vector types, float
// loadu/storeu/set1/add/mul and zip (stores a0 b0 a1 b1 ...), double set1/add/sub/mul/div/max,
// abs, flipSign (x with the sign of s flipped in), greater, lessEqual, select(mask, a, b),
// either(a, b), any(mask), all(mask), first(v), loadDoubles/storeDoubles, widen (kDoubles floats to doubles), narrowStore, and
// scaleOf / exponentOf for the logarithm's exact exponent split.

template <class V> void vectorInterpolate(const float* x, std::int32_t frames, const float* pairs, std::int32_t count,
                                          float* y) noexcept
{
    const std::int32_t m = count - 1;
    const std::int32_t span = 2 * m + 1;
    std::int32_t i = 0;
    for (; i + V::kFloats <= frames; i += V::kFloats) {
        const float* p = x + i;
        typename V::F sum = V::mul(V::set1(pairs[0]), V::add(V::loadu(p), V::loadu(p - span)));
        for (std::int32_t j = 1; j <= m; ++j) {
            sum = V::add(sum, V::mul(V::set1(pairs[j]), V::add(V::loadu(p - j), V::loadu(p - span + j))));
        }
        V::zip(sum, V::loadu(p - m), y + 2 * i);
    }
    if (i < frames) {
        hqScalarKernels().interpolate(x + i, frames - i, pairs, count, y + 2 * i);
    }
}

// Splits the input around t = u + 1 - lag into its two phases, a[k] = t[2k] and b[k] = t[2k - 1]
// for k from -reach up to frames, so that the outputs' taps are contiguous in each.
inline void splitPhases(const float* t, std::int32_t reach, std::int32_t frames, float* a, float* b) noexcept
{
    for (std::int32_t k = -reach; k < frames; ++k) {
        a[k + reach] = t[2 * k];
        b[k + reach] = t[2 * k - 1];
    }
}

template <class V>
void vectorDecimateHalfband(const float* u, std::int32_t frames, const float* pairs, std::int32_t count,
                            std::int32_t lag, float* y, float* scratch) noexcept
{
    const std::int32_t m = count - 1;
    const std::int32_t reach = 2 * m + 1;
    const std::int32_t vectorFrames = frames - frames % V::kFloats;
    if (vectorFrames > 0) {
        float* const a = scratch + reach;
        float* const b = scratch + (vectorFrames + reach) + reach;
        splitPhases(u + 1 - lag, reach, vectorFrames, scratch, scratch + (vectorFrames + reach));
        const typename V::F half = V::set1(0.5f);
        for (std::int32_t i = 0; i < vectorFrames; i += V::kFloats) {
            typename V::F sum = V::mul(V::set1(pairs[0]), V::add(V::loadu(a + i), V::loadu(a + i - reach)));
            for (std::int32_t j = 1; j <= m; ++j) {
                sum = V::add(sum, V::mul(V::set1(pairs[j]), V::add(V::loadu(a + i - j), V::loadu(a + i - reach + j))));
            }
            V::storeu(y + i, V::add(sum, V::mul(half, V::loadu(b + i - m))));
        }
    }
    if (vectorFrames < frames) {
        hqScalarKernels().decimateHalfband(u + 2 * vectorFrames, frames - vectorFrames, pairs, count, lag,
                                              y + vectorFrames, scratch);
    }
}

template <class V>
void vectorDecimateEven(const float* u, std::int32_t frames, const float* pairs, std::int32_t count, std::int32_t lag,
                        float* y, float* scratch) noexcept
{
    // With span = 2 count - 1 odd, t[2i - j] is a[i - j/2] for even j and b[i - (j - 1)/2] for odd
    // j; its partner t[2i - span + j] lies in the other phase.
    const std::int32_t span = 2 * count - 1;
    const std::int32_t reach = count - 1;
    const std::int32_t vectorFrames = frames - frames % V::kFloats;
    if (vectorFrames > 0) {
        float* const a = scratch + reach;
        float* const b = scratch + (vectorFrames + reach) + reach;
        splitPhases(u + 1 - lag, reach, vectorFrames, scratch, scratch + (vectorFrames + reach));
        for (std::int32_t i = 0; i < vectorFrames; i += V::kFloats) {
            typename V::F sum = V::mul(V::set1(pairs[0]), V::add(V::loadu(a + i), V::loadu(b + i - (span - 1) / 2)));
            std::int32_t j = 1;
            for (; j + 1 < count; j += 2) {
                const typename V::F oddPair =
                    V::add(V::loadu(b + i - (j - 1) / 2), V::loadu(a + i - (span - j) / 2));
                sum = V::add(sum, V::mul(V::set1(pairs[j]), oddPair));
                const typename V::F evenPair =
                    V::add(V::loadu(a + i - (j + 1) / 2), V::loadu(b + i - (span - j - 2) / 2));
                sum = V::add(sum, V::mul(V::set1(pairs[j + 1]), evenPair));
            }
            if (j < count) {
                const typename V::F oddPair =
                    V::add(V::loadu(b + i - (j - 1) / 2), V::loadu(a + i - (span - j) / 2));
                sum = V::add(sum, V::mul(V::set1(pairs[j]), oddPair));
            }
            V::storeu(y + i, sum);
        }
    }
    if (vectorFrames < frames) {
        hqScalarKernels().decimateEven(u + 2 * vectorFrames, frames - vectorFrames, pairs, count, lag,
                                          y + vectorFrames, scratch);
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
    const D lnM = V::add(V::add(s, s), V::mul(s, V::mul(z2, V::add(low, V::mul(z8, high)))));
    return V::add(V::mul(e, V::set1(kLn2High)), V::add(V::mul(e, V::set1(kLn2Low)), lnM));
}

// hqAntiderivative, lane by lane. The bent part is computed for every lane, from a distance
// of at least 0, but kept only where the input is above the knee.
template <class V> [[gnu::always_inline]] inline typename V::D vectorAntiderivative(typename V::D v, const Lanes<V>& k) noexcept
{
    using D = typename V::D;
    const D m = V::abs(v);
    const D below = V::mul(V::set1(0.5), V::mul(m, m));
    const D above = V::greater(m, k.knee);
    if (!V::any(above)) {
        return below;
    }
    const D d = V::sub(m, k.knee);
    const D bent = k.flat ? V::mul(k.w, d) : V::mul(k.c, vectorLog1p<V>(V::mul(k.g, V::max(d, V::set1(0.0)))));
    return V::select(above, V::add(k.atKnee, V::sub(d, bent)), below);
}

// vectorAntiderivative of two vectors at once, written out side by side so that the compiler
// interleaves the two long chains.
template <class V>
[[gnu::always_inline]] inline void vectorAntiderivatives(typename V::D v0, typename V::D v1, const Lanes<V>& k,
                                                         typename V::D& f0, typename V::D& f1) noexcept
{
    using D = typename V::D;
    const D m0 = V::abs(v0);
    const D m1 = V::abs(v1);
    const D half = V::set1(0.5);
    const D below0 = V::mul(half, V::mul(m0, m0));
    const D below1 = V::mul(half, V::mul(m1, m1));
    const D above0 = V::greater(m0, k.knee);
    const D above1 = V::greater(m1, k.knee);
    if (!V::any(V::either(above0, above1))) {
        f0 = below0;
        f1 = below1;
        return;
    }
    const D d0 = V::sub(m0, k.knee);
    const D d1 = V::sub(m1, k.knee);
    D bent0;
    D bent1;
    if (k.flat) {
        bent0 = V::mul(k.w, d0);
        bent1 = V::mul(k.w, d1);
    } else {
        const D zero = V::set1(0.0);
        bent0 = V::mul(k.c, vectorLog1p<V>(V::mul(k.g, V::max(d0, zero))));
        bent1 = V::mul(k.c, vectorLog1p<V>(V::mul(k.g, V::max(d1, zero))));
    }
    f0 = V::select(above0, V::add(k.atKnee, V::sub(d0, bent0)), below0);
    f1 = V::select(above1, V::add(k.atKnee, V::sub(d1, bent1)), below1);
}

// xs[n] and fs[n] = F(x[n]) for n < count, a multiple of kDoubles, two vectors at a time.
template <class V>
[[gnu::always_inline]] inline void antiderivativeRun(const float* x, std::int32_t count, const Lanes<V>& k, double* xs,
                                                     double* fs) noexcept
{
    using D = typename V::D;
    std::int32_t n = 0;
    for (; n + 2 * V::kDoubles <= count; n += 2 * V::kDoubles) {
        const D v0 = V::widen(x + n);
        const D v1 = V::widen(x + n + V::kDoubles);
        D f0;
        D f1;
        vectorAntiderivatives<V>(v0, v1, k, f0, f1);
        V::storeDoubles(xs + n, v0);
        V::storeDoubles(xs + n + V::kDoubles, v1);
        V::storeDoubles(fs + n, f0);
        V::storeDoubles(fs + n + V::kDoubles, f1);
    }
    for (; n < count; n += V::kDoubles) {
        const D v = V::widen(x + n);
        V::storeDoubles(xs + n, v);
        V::storeDoubles(fs + n, vectorAntiderivative<V>(v, k));
    }
}

template <class V> void vectorAntiderivativesOf(const float* x, std::int32_t count, const HqCurve& curve, double* f) noexcept
{
    double xs[64];
    for (std::int32_t n = 0; n < count; n += 64) {
        const std::int32_t part = count - n < 64 ? count - n : 64;
        antiderivativeRun<V>(x + n, part, Lanes<V>(curve), xs, f + n);
    }
}

// hqCurveValue, lane by lane.
template <class V> [[gnu::always_inline]] inline typename V::D vectorCurve(typename V::D v, const Lanes<V>& k) noexcept
{
    using D = typename V::D;
    const D m = V::abs(v);
    const D d = V::sub(m, k.knee);
    const D y = V::sub(V::set1(1.0), V::div(V::mul(k.w, k.w), V::add(k.w, V::mul(k.shapeA, d))));
    return V::select(V::greater(m, k.knee), V::flipSign(y, v), v);
}

template <class V>
void vectorAdaa(const float* x, std::int32_t frames, std::int32_t factor, const HqCurve* curves, const bool* changed,
                double* state, double* xs, double* fs, float* y) noexcept
{
    using D = typename V::D;
    xs[0] = state[0];
    fs[0] = state[1];
    // First every antiderivative of the piece, which depend on nothing but their input, so that
    // the processor overlaps their long chains; then the quotients.
    for (std::int32_t i = 0; i < frames; ++i) {
        const Lanes<V> k(curves[i]);
        antiderivativeRun<V>(x + i * factor, factor, k, xs + 1 + i * factor, fs + 1 + i * factor);
    }
    const D close = V::set1(kHqCloseInputs);
    const D one = V::set1(1.0);
    for (std::int32_t i = 0; i < frames; ++i) {
        const Lanes<V> k(curves[i]);
        const std::int32_t first = i * factor;
        // Where the curve changed, the previous input's antiderivative is taken again under it.
        if (changed[i]) {
            fs[first] = V::first(vectorAntiderivative<V>(V::set1(xs[first]), k));
        }
        for (std::int32_t n = first; n < first + factor; n += V::kDoubles) {
            const D x0 = V::loadDoubles(xs + n);
            const D x1 = V::loadDoubles(xs + 1 + n);
            const D dx = V::sub(x1, x0);
            const D far = V::greater(V::abs(dx), V::mul(close, V::add(V::add(one, V::abs(x0)), V::abs(x1))));
            D out = V::div(V::sub(V::loadDoubles(fs + 1 + n), V::loadDoubles(fs + n)), dx);
            if (!V::all(far)) {
                out = V::select(far, out, vectorCurve<V>(V::mul(V::set1(0.5), V::add(x0, x1)), k));
            }
            V::narrowStore(y + n, out);
        }
    }
    state[0] = xs[frames * factor];
    state[1] = fs[frames * factor];
}
