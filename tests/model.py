"""Pure-Python reference model of the fixed-point element rules.

Written from the arithmetic definitions with Python's exact integers, sharing
nothing with the native code, so the tests can compare against it.
"""

Q15 = 16
Q8 = 8


def wrap(x, bits):
    """Two's-complement value of the low `bits` bits of x."""
    x &= (1 << bits) - 1
    return x - (1 << bits) if x >> (bits - 1) else x


def sat(x, bits):
    lo = -(1 << (bits - 1))
    hi = (1 << (bits - 1)) - 1
    return lo if x < lo else hi if x > hi else x


def add(a, b, bits):
    return sat(a + b, bits)


def sub(a, b, bits):
    return sat(a - b, bits)


def mul(a, b, bits):
    """Round-half-up product of two Q(bits-1) samples, saturated."""
    frac = bits - 1
    return sat((a * b + (1 << (frac - 1))) >> frac, bits)


def dot(a, b, acc_bits):
    """Raw sum of products over the shorter input, wrapped to acc_bits."""
    return wrap(sum(x * y for x, y in zip(a, b)), acc_bits)


def shl_sat(x, s, bits):
    """Saturating left shift of a sample of width bits (Q15: 16, Q8: 8)."""
    if s <= 0:
        return x
    if s >= bits:  # x * 2**s is past the range whatever x's magnitude
        return sat(x * (1 << bits), bits)
    return sat(x << s, bits)


def shr_round(x, s, bits):
    """Round-half-up right shift; from s == bits on, no rounding: 0 or -1."""
    if s <= 0:
        return x
    if s >= bits:
        return -1 if x < 0 else 0
    return (x + (1 << (s - 1))) >> s


def shl_i64(x, s):
    if s <= 0:
        return x
    if s >= 63:
        return 0
    return wrap(x << s, 64)


def shr_i64(x, s):
    if s <= 0:
        return x
    if s >= 63:
        return -1 if x < 0 else 0
    return wrap(x + (1 << (s - 1)), 64) >> s


ROUNDINGS = ("nearest", "floor", "ceiling", "zero", "round", "convergent")
OVERFLOWS = ("saturate", "wrap")


def round_div(num, den, rounding):
    """num / den (den > 0) rounded to an integer by the named rule, exactly."""
    q, r = divmod(num, den)  # floor quotient, 0 <= r < den
    twice = 2 * r
    if rounding == "floor" or r == 0:
        return q
    if rounding == "ceiling":
        return q + 1
    if rounding == "zero":
        return q + (num < 0)
    if twice != den:
        return q + (twice > den)
    # An exact tie between q and q + 1.
    return q + {"nearest": 1, "round": int(num >= 0), "convergent": q & 1}[rounding]


def narrow_to(x, s, bits, rounding="nearest", overflow="saturate"):
    """A wide integer x shifted right by s (s <= 0: as it is) into a sample."""
    v = round_div(x, 1 << s, rounding) if s >= 1 else x
    return sat(v, bits) if overflow == "saturate" else wrap(v, bits)


def sosfilt(sos, x, zi=None, rounding="nearest", overflow="saturate", accumulator="exact"):
    """Direct-form I biquad cascade over a list of ints; sos rows are
    [b0, b1, b2, 2**f, a1, a2]. Returns (y, zf), zi/zf as [x1, x2, y1, y2] rows."""
    state = [list(s) for s in (zi if zi is not None else [[0, 0, 0, 0]] * len(sos))]
    y = []
    for v in x:
        for (b0, b1, b2, a0, a1, a2), st in zip(sos, state):
            x1, x2, y1, y2 = st
            acc = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
            if accumulator == "int32":
                acc = wrap(acc, 32)
            out = narrow_to(acc, a0.bit_length() - 1, Q15, rounding, overflow)
            st[:] = [v, x1, out, y1]
            v = out
        y.append(v)
    return y, state


def count32(s):
    """A shift or narrowing count of any width as the int32 the rules take."""
    return min(max(s, -(1 << 31)), (1 << 31) - 1)


def narrow(x, s, bits):
    """narrow_to rounding half up and saturating, for any count: past 80 every
    int64 rounds to 0 or -1 alike, so the divisor stays small."""
    return narrow_to(x, min(s, 80), bits)


def upfirdn(h, x, up, down, shift, bits, rounding="nearest", overflow="saturate", acc_bits=64):
    """The stream x with up - 1 zeros after every sample, convolved with h
    exactly (wrapped to acc_bits), every down-th sum narrowed: ceil(len(x) *
    up / down) outputs."""
    u = [0] * (len(x) * up)
    u[::up] = list(x)
    out = []
    for k in range(0, len(u), down):
        v = sum(h[j] * u[k - j] for j in range(min(len(h), k + 1)))
        out.append(narrow_to(wrap(v, acc_bits), shift, bits, rounding, overflow))
    return out


def quantize_to(x, frac_bits, bits, rounding="nearest", overflow="saturate"):
    """A float x (any finite or not) as a sample: the exact x * 2**frac_bits
    rounded, then overflowed; NaN gives 0, and so do +-inf under wrap."""
    from fractions import Fraction
    import math
    if math.isnan(x) or (math.isinf(x) and overflow == "wrap"):
        return 0
    if math.isinf(x):
        return sat(int(math.copysign(1 << bits, x)), bits)
    v = Fraction(x) * (1 << frac_bits)
    v = round_div(v.numerator, v.denominator, rounding)
    return sat(v, bits) if overflow == "saturate" else wrap(v, bits)


def narrow_array(x, s, bits, rounding="nearest", overflow="saturate"):
    """narrow_to over an int64 array with one count 0 <= s <= 62 (|x| < 2**62
    when s >= 1), in NumPy's floor division and remainder."""
    import numpy as np
    x = np.asarray(x, np.int64)
    if s >= 1:
        den = np.int64(1) << np.int64(s)
        q, r = np.divmod(x, den)
        twice = 2 * r
        up = {
            "nearest": twice >= den,
            "floor": np.zeros(x.shape, bool),
            "ceiling": r != 0,
            "zero": (x < 0) & (r != 0),
            "round": (twice > den) | ((twice == den) & (x >= 0)),
            "convergent": (twice > den) | ((twice == den) & (q % 2 == 1)),
        }[rounding]
        x = q + up
    lo, hi = -(1 << (bits - 1)), (1 << (bits - 1)) - 1
    if overflow == "saturate":
        return np.clip(x, lo, hi)
    return (x - lo) % (1 << bits) + lo


def quantize_array(x, frac_bits, bits, rounding="nearest", overflow="saturate"):
    """quantize_to over a float array whose scaled values are below 2**62 or
    infinite, in NumPy's exact floor and ceiling of float64."""
    import numpy as np
    y = np.asarray(x, np.float64) * (1 << frac_bits)
    finite = np.isfinite(y)
    y = np.where(finite, y, 0.0)
    f = np.floor(y)
    d = y - f  # exact: the fraction of a float64
    up = {
        "nearest": d >= 0.5,
        "floor": np.zeros(y.shape, bool),
        "ceiling": d > 0,
        "zero": (y < 0) & (d > 0),
        "round": None,  # on |y| below: 1 + y may round to 0.5 for y just above -0.5
        "convergent": (d > 0.5) | ((d == 0.5) & (f % 2 == 1)),
    }[rounding]
    if rounding == "round":
        a = np.abs(y)
        v = np.sign(y).astype(np.int64) * (np.floor(a).astype(np.int64) + (a - np.floor(a) >= 0.5))
    else:
        v = f.astype(np.int64) + up
    lo, hi = -(1 << (bits - 1)), (1 << (bits - 1)) - 1
    if overflow == "saturate":
        v = np.clip(v, lo, hi)
        v = np.where(finite, v, np.where(np.isnan(x), 0, np.where(np.asarray(x) > 0, hi, lo)))
    else:
        v = np.where(finite, (v - lo) % (1 << bits) + lo, 0)
    return v


def fir(x, taps, s, bits, acc_bits, history=()):
    """The FIR filter's definition: each output the exact sum of taps[j] *
    x[i - j], earlier samples from history (its last ones) or zero, wrapped
    to acc_bits and narrowed by s."""
    past = len(taps) - 1
    seen = list(history)[len(history) - past:] if past else []
    full = [0] * (past - len(seen)) + seen + list(x)
    return [narrow_to(wrap(sum(t * full[i + past - j] for j, t in enumerate(taps)), acc_bits), s, bits)
            for i in range(len(x))]
