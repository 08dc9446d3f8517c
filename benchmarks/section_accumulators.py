"""Block step and multiply-accumulate of AccQ15/AccQ8 against NumPy.

Rows: AccQ15/AccQ8 .steps(a) and .madd(a, b) over n samples, at each size n.
The baseline is what a NumPy user writes for the same bits: a widened sum or
inner product (Q15 in 64 bits; Q8 wrapping at 32 bits, as NumPy's int32
arithmetic does), added to a Python integer register.
"""
import numpy as np

from corvane.arith import AccQ8, AccQ15

TITLE = "accumulators: steps and madd, Q15 and Q8"
BASELINES = {
    "numpy": "a widened sum or inner product (np.sum, np.dot) turned into a Python int",
}


def _numpy_steps(wide):
    return lambda a: int(a.sum(dtype=wide))


def _numpy_madd(wide):
    return lambda a, b: int(np.dot(a.astype(wide), b.astype(wide)))


CASES = (
    ("AccQ15", AccQ15, np.int16, np.int64),
    ("AccQ8", AccQ8, np.int8, np.int32),
)


def rows(size):
    rng = np.random.default_rng(size)
    for name, cls, dtype, wide in CASES:
        info = np.iinfo(dtype)
        a = rng.integers(info.min, info.max, size, dtype=dtype, endpoint=True)
        b = rng.integers(info.min, info.max, size, dtype=dtype, endpoint=True)
        acc = cls()
        steps, madd = _numpy_steps(wide), _numpy_madd(wide)
        yield (f"{name}.steps", lambda acc=acc, a=a: acc.steps(a),
               {"numpy": lambda f=steps, a=a: f(a)})
        yield (f"{name}.madd", lambda acc=acc, a=a, b=b: acc.madd(a, b),
               {"numpy": lambda f=madd, a=a, b=b: f(a, b)})
