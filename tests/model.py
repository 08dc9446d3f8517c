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


def count32(s):
    """A shift or narrowing count of any width as the int32 the rules take."""
    return min(max(s, -(1 << 31)), (1 << 31) - 1)


def narrow(x, s, bits):
    """narrow_to rounding half up and saturating, for any count: past 80 every
    int64 rounds to 0 or -1 alike, so the divisor stays small."""
    return narrow_to(x, min(s, 80), bits)


def fir(x, taps, s, bits, acc_bits, history=()):
    """The FIR filter's definition: each output the exact sum of taps[j] *
    x[i - j], earlier samples from history (its last ones) or zero, wrapped
    to acc_bits and narrowed by s."""
    past = len(taps) - 1
    seen = list(history)[len(history) - past:] if past else []
    full = [0] * (past - len(seen)) + seen + list(x)
    return [narrow_to(wrap(sum(t * full[i + past - j] for j, t in enumerate(taps)), acc_bits), s, bits)
            for i in range(len(x))]
