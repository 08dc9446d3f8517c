"""The six elementwise functions of corvane.arith against NumPy.

Rows: add/sub/mul for Q15 and Q8, two n-sample inputs, at each size n. Two
baselines per function: the emulation a NumPy user writes to get the same
bits (widen, operate, clip or cap, narrow), and NumPy's plain wrapping op on
the same dtype, which is the floor any saturating version can hope for.
"""
import numpy as np

from corvane import arith

TITLE = "elementwise: add/sub/mul, Q15 and Q8"
BASELINES = {
    "emulation": "the same bits in NumPy: widen, operate, clip or cap, narrow",
    "plain": "floor: NumPy's wrapping op on the same dtype (np.add, np.subtract, np.multiply);"
             " 1.00x = saturation for free",
}


def _emulate_add(dtype, wide):
    info = np.iinfo(dtype)
    return lambda a, b: np.clip(a.astype(wide) + b, info.min, info.max).astype(dtype)


def _emulate_sub(dtype, wide):
    info = np.iinfo(dtype)
    return lambda a, b: np.clip(a.astype(wide) - b, info.min, info.max).astype(dtype)


def _emulate_mul(dtype, wide, frac):
    # The rounded product can only overflow upwards (-min * -min).
    cap = np.iinfo(dtype).max
    half = 1 << (frac - 1)
    return lambda a, b: np.minimum((a.astype(wide) * b + half) >> frac, cap).astype(dtype)


CASES = (
    ("add_q15", np.int16, _emulate_add(np.int16, np.int32), np.add),
    ("sub_q15", np.int16, _emulate_sub(np.int16, np.int32), np.subtract),
    ("mul_q15", np.int16, _emulate_mul(np.int16, np.int32, 15), np.multiply),
    ("add_q8", np.int8, _emulate_add(np.int8, np.int16), np.add),
    ("sub_q8", np.int8, _emulate_sub(np.int8, np.int16), np.subtract),
    ("mul_q8", np.int8, _emulate_mul(np.int8, np.int16, 7), np.multiply),
)


def rows(size):
    rng = np.random.default_rng(size)
    for name, dtype, emulate, plain in CASES:
        info = np.iinfo(dtype)
        a = rng.integers(info.min, info.max, size, dtype=dtype, endpoint=True)
        b = rng.integers(info.min, info.max, size, dtype=dtype, endpoint=True)
        ours = getattr(arith, name)
        yield (
            name,
            lambda ours=ours, a=a, b=b: ours(a, b),
            {
                "emulation": lambda f=emulate, a=a, b=b: f(a, b),
                "plain": lambda f=plain, a=a, b=b: f(a, b),
            },
        )
