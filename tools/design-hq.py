#!/usr/bin/python3
# Designs the HQ shaper's oversampling filters and the series of its logarithm, and writes
# them as C++ constants into dsp/hq/hq_filter_coefficients.h and dsp/hq/hq_log_coefficients.h:
#
#     /usr/bin/python3 tools/design-hq.py dsp/hq
#
# Needs numpy and scipy (Debian's python3-scipy). The build never runs this script: the
# written headers are committed, and they are what every target compiles.
#
# Every filter is linear-phase and normalised to the oversampled rate it runs at. Frequencies
# are designed for a 44.1 kHz base rate, where the audible band ends at 20 kHz; at higher base
# rates every edge moves up with the rate.
#
# - Half-band stages, one per doubling, used on the way up (interpolation) and, all but the
#   first down stage of a path, on the way down. Their passband reaches 20 kHz; their stopband
#   starts where the image of 20 kHz falls, so that everything that could fold into 0..20 kHz
#   is removed and whatever folds beside it lands between 20 kHz and the base Nyquist rate.
# - One even-length decimator per oversampling factor, the first stage down from the rate
#   the curve runs at. Its half-sample delay cancels the half sample that first-order
#   antiderivative anti-aliasing adds, and its passband rises as 1 / cos(pi f / R) to undo
#   that method's droop (on a straight line it is the filter (x[n] + x[n-1]) / 2).
import os
import sys
import tempfile
from decimal import Decimal, getcontext

import numpy as np
from scipy import signal

AUDIBLE = 20000.0 / 44100.0  # passband edge as a fraction of the base rate

# Half-band stage k runs at 2^k times the base rate; lengths are 4m + 3.
HALFBAND_TAPS = {1: 155, 2: 23, 3: 15, 4: 11}
# The even-length first decimator of each oversampling factor.
DECIMATOR_TAPS = {2: 166, 4: 26, 8: 16, 16: 12}


def halfband(taps, passband):
    """Equiripple half-band filter with the given passband edge (fraction of its rate).

    Designed as an even-length filter g with passband up to twice the edge, whose taps
    become every other tap of the half-band filter around its centre tap of 1/2.
    """
    g = signal.remez((taps + 1) // 2, [0.0, 2.0 * passband], [1.0], fs=1.0, maxiter=200)
    h = np.zeros(taps)
    h[0::2] = 0.5 * g
    h[(taps - 1) // 2] = 0.5
    return h


def droop_compensating_decimator(taps, passband, stopband, iterations=300):
    """Even-length symmetric lowpass whose passband follows 1 / cos(pi f), minimax by
    Lawson's iteratively reweighted least squares on a dense grid."""
    half = taps // 2
    f_pass = np.linspace(0.0, passband, 400)
    f_stop = np.linspace(stopband, 0.5, 1500)
    f = np.concatenate([f_pass, f_stop])
    desired = np.concatenate([1.0 / np.cos(np.pi * f_pass), np.zeros_like(f_stop)])
    basis = 2.0 * np.cos(2.0 * np.pi * np.outer(f, np.arange(half) + 0.5))
    weight = np.full(f.shape, 1.0 / f.size)
    for _ in range(iterations):
        root = np.sqrt(weight)
        b, *_ = np.linalg.lstsq(basis * root[:, None], desired * root, rcond=None)
        error = np.abs(basis @ b - desired)
        weight = weight * error / error.max() + 1e-30
        weight /= weight.sum()
    return np.concatenate([b[::-1], b])


def response_db(h, f):
    n = np.arange(len(h))
    return 20.0 * np.log10(np.abs(np.exp(-2j * np.pi * np.outer(f, n)) @ h).max())


def passband_error(h, f, desired):
    n = np.arange(len(h))
    return np.abs(np.abs(np.exp(-2j * np.pi * np.outer(f, n)) @ h) - desired).max()


def float_literal(x):
    return float(np.float32(x)).hex() + "f"


def emit_array(out, name, values, comment):
    out.append(f"// {comment}")
    out.append(f"inline constexpr float {name}[{len(values)}] = {{")
    for i in range(0, len(values), 4):
        out.append("    " + ", ".join(float_literal(v) for v in values[i : i + 4]) + ",")
    out.append("};")


# ln((1 + s) / (1 - s)) = 2s + s z P(z), z = s^2, for |s| <= 3 - 2 sqrt 2 (the mantissa's range
# after the exponent split): P is fitted by least squares on Chebyshev nodes to its exact series
# sum 2 z^k / (2k + 3), seven terms, within 1e-17 of the logarithm. The fit is made entirely in
# 60-digit decimal arithmetic, nodes and solution included, so that its coefficients are the same
# bits on every machine: a float fit's answer depends on the BLAS and libm at hand, because the
# problem is ill-conditioned and many coefficient sets are equally good.
LOG_TERMS = 7
DIGITS = 60
PI = Decimal("3.14159265358979323846264338327950288419716939937510582097494459")


def log_series_sum(z):
    total, power, k = Decimal(0), Decimal(1), 0
    while True:
        term = 2 * power / (2 * k + 3)
        if term < Decimal(10) ** -45:
            return total
        total += term
        power *= z
        k += 1


def decimal_cos(x):
    total, term, k = Decimal(0), Decimal(1), 0
    while abs(term) > Decimal(10) ** -(DIGITS + 5):
        total += term
        k += 2
        term = -term * x * x / (k * (k - 1))
    return total


def solve(a, b):
    """Solves a x = b by Gaussian elimination with partial pivoting, in the current context."""
    n = len(b)
    m = [row[:] + [b[i]] for i, row in enumerate(a)]
    for col in range(n):
        pivot = max(range(col, n), key=lambda r: abs(m[r][col]))
        m[col], m[pivot] = m[pivot], m[col]
        for r in range(col + 1, n):
            f = m[r][col] / m[col][col]
            for c in range(col, n + 1):
                m[r][c] -= f * m[col][c]
    x = [Decimal(0)] * n
    for r in reversed(range(n)):
        x[r] = (m[r][n] - sum(m[r][c] * x[c] for c in range(r + 1, n))) / m[r][r]
    return x


def log_series():
    getcontext().prec = DIGITS
    s_max = 3 - 2 * Decimal(2).sqrt()
    z_max = s_max * s_max
    nodes = [z_max / 2 * (1 - decimal_cos(PI * (2 * i + 1) / 400)) for i in range(200)]
    # The normal equations of the fit in z / z_max, where the powers are of one scale.
    basis = [[(z / z_max) ** k for k in range(LOG_TERMS)] for z in nodes]
    target = [log_series_sum(z) for z in nodes]
    normal = [[sum(row[j] * row[k] for row in basis) for k in range(LOG_TERMS)] for j in range(LOG_TERMS)]
    right = [sum(row[j] * t for row, t in zip(basis, target)) for j in range(LOG_TERMS)]
    c = [float(x / z_max**k) for k, x in enumerate(solve(normal, right))]
    worst = Decimal(0)
    for i in range(1, 2001):
        s = s_max * i / 2000
        z = s * s
        p = sum(Decimal(c[k]) * z**k for k in range(1, LOG_TERMS)) + Decimal(c[0])
        exact = 2 * s + s * z * log_series_sum(z)
        worst = max(worst, abs(2 * s + s * z * p - exact) / exact)
    return c, float(worst)


def write(path, lines):
    """Writes the file through a temporary one beside it, so a failed run leaves the old one."""
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".design-hq.")
    try:
        with os.fdopen(handle, "w") as out:
            out.write("\n".join(lines) + "\n")
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


HEADER = [
    "// Written by tools/design-hq.py; change the script and run it again rather than editing",
    "// these numbers.",
    "#pragma once",
    "",
]


def main():
    if len(sys.argv) != 2 or not os.path.isdir(sys.argv[1]):
        print("usage: design-hq.py DSP-FOLDER", file=sys.stderr)
        sys.exit(2)
    out = HEADER + [
        "// Each array holds one half of a symmetric filter's distinct taps, outermost first, as the",
        "// stage that uses it sums its pairs.",
        "#include <cstdint>",
        "",
    ]
    for stage, taps in HALFBAND_TAPS.items():
        rate = 2**stage
        edge = AUDIBLE / rate
        h = halfband(taps, edge)
        hf = h.astype(np.float32).astype(np.float64)
        stop = response_db(hf, np.linspace(0.5 - edge, 0.5, 4000))
        ripple = passband_error(hf, np.linspace(0.0, edge, 2000), 1.0)
        pairs = h[0::2][: (taps + 1) // 4]
        out.append(f"inline constexpr std::int32_t kHalfbandTaps{rate}x = {taps};")
        emit_array(
            out,
            f"kHalfbandPairs{rate}x",
            pairs,
            f"Half-band stage at {rate}x: {taps} taps, centre 1/2; stopband {stop:.1f} dB, passband ripple {ripple:.1e}.",
        )
        out.append("")
    for factor, taps in DECIMATOR_TAPS.items():
        edge = AUDIBLE / factor
        h = droop_compensating_decimator(taps, edge, 0.5 - edge)
        hf = h.astype(np.float32).astype(np.float64)
        stop = response_db(hf, np.linspace(0.5 - edge, 0.5, 4000))
        f_pass = np.linspace(0.0, edge, 2000)
        error = passband_error(hf, f_pass, 1.0 / np.cos(np.pi * f_pass))
        out.append(f"inline constexpr std::int32_t kDecimatorTaps{factor}x = {taps};")
        emit_array(
            out,
            f"kDecimatorPairs{factor}x",
            h[: taps // 2],
            f"First decimator from {factor}x: {taps} taps; stopband {stop:.1f} dB, "
            f"passband within {error:.1e} of 1 / cos(pi f).",
        )
        out.append("")
    write(os.path.join(sys.argv[1], "hq_filter_coefficients.h"), out[:-1])

    c, worst = log_series()
    log = HEADER + [
        f"// P(z) of ln((1 + s) / (1 - s)) = 2s + s z P(z), z = s^2, |s| <= 3 - 2 sqrt 2, lowest power first;",
        f"// the logarithm so formed is within {worst:.1e} of the exact one before rounding.",
        f"inline constexpr double kHqLogSeries[{LOG_TERMS}] = {{",
    ]
    log += [f"    {float(x).hex()}," for x in c]
    log.append("};")
    write(os.path.join(sys.argv[1], "hq_log_coefficients.h"), log)


if __name__ == "__main__":
    main()
