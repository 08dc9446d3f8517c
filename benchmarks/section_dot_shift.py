"""The inner products and the six shifts of corvane.arith against NumPy.

Rows: dot_q15, dot_q8 (two n-sample inputs, one Python int out) and each
shift by 3 (n samples in, n out), at each size n. Baselines: the emulation a
NumPy user writes to get the same numbers (widen, operate, clip or narrow),
and a floor set by memory bandwidth: for the inner products np.copyto moving
the same input bytes, for the shifts a.copy(), which allocates and fills an
output of the same size as ours does.
"""
import numpy as np

from corvane import arith

TITLE = "inner products and shifts"
BASELINES = {
    "emulation": "the same numbers in NumPy: widen, dot or shift, clip or narrow",
    "copyto": "floor: np.copyto of both inputs into preallocated arrays, the bytes a dot reads",
    "copy": "floor: a.copy(), allocating and filling an output of the shift's size",
}
SHIFT = 3


def _dot_emulation(a, b):
    return int(np.dot(a.astype(np.int64), b.astype(np.int64)))


def _shl_sat(wide):
    def emulate(a, s):
        info = np.iinfo(a.dtype)
        return np.clip(a.astype(wide) << s, info.min, info.max).astype(a.dtype)
    return emulate


def _shr_round(wide):
    def emulate(a, s):
        return ((a.astype(wide) + (1 << (s - 1))) >> s).astype(a.dtype)
    return emulate


def _shl_i64(a, s):
    return a << s


def _shr_i64(a, s):
    return (a + (1 << (s - 1))) >> s


SHIFTS = (
    ("shl_q15", np.int16, _shl_sat(np.int32)),
    ("shr_q15", np.int16, _shr_round(np.int32)),
    ("shl_q8", np.int8, _shl_sat(np.int16)),
    ("shr_q8", np.int8, _shr_round(np.int16)),
    ("shl_i64", np.int64, _shl_i64),
    ("shr_i64", np.int64, _shr_i64),
)


def _samples(rng, dtype, size):
    info = np.iinfo(dtype)
    if dtype == np.int64:
        # Q30 sums, as shr_i64 normally sees them.
        return rng.integers(-(1 << 40), 1 << 40, size, dtype=dtype)
    return rng.integers(info.min, info.max, size, dtype=dtype, endpoint=True)


def rows(size):
    rng = np.random.default_rng(size)
    for name, dtype in (("dot_q15", np.int16), ("dot_q8", np.int8)):
        a, b = _samples(rng, dtype, size), _samples(rng, dtype, size)
        a_copy, b_copy = np.empty_like(a), np.empty_like(b)
        ours = getattr(arith, name)
        yield (
            name,
            lambda ours=ours, a=a, b=b: ours(a, b),
            {
                "emulation": lambda a=a, b=b: _dot_emulation(a, b),
                "copyto": lambda a=a, b=b, x=a_copy, y=b_copy: (np.copyto(x, a), np.copyto(y, b)),
            },
        )
    for name, dtype, emulate in SHIFTS:
        a = _samples(rng, dtype, size)
        ours = getattr(arith, name)
        yield (
            name,
            lambda ours=ours, a=a: ours(a, SHIFT),
            {"emulation": lambda f=emulate, a=a: f(a, SHIFT), "copy": a.copy},
        )
