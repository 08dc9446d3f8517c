"""The ufuncs of corvane against corvane.arith and NumPy's plain ops.

Rows per size n:
  <name>          contiguous operands. arith/ours: the same kernel called
                  through corvane.arith (below 1.00x is what the ufunc
                  machinery costs); plain/ours: NumPy's wrapping op, the floor
                  (at n=16 the per-call overhead of both).
  <name> out=     into a preallocated output. plain_alloc/ours: NumPy's plain
                  op allocating a fresh output; plain/ours: the plain op into
                  the same output (the floor).
  <name> ::2      every other sample of a twice-as-long array, against NumPy's
                  plain op on the same views.
  shl_q15         shift by an int32 count of 3, against arith.shl_q15 and
                  np.left_shift (wrapping).
  dot_q15 fir32   a 32-tap FIR over the n samples as one gufunc call on
                  np.lib.stride_tricks.sliding_window_view(x, 32): n - 31
                  raw Q30 sums. arith/ours: arith.dot_q15 once per output
                  sample in a Python loop, what one writes without the gufunc
                  (n <= 4096 only; it is that many times slower); plain/ours:
                  np.dot(windows, taps), which wraps at int16.
"""
import numpy as np

import corvane
from corvane import arith

TITLE = "ufuncs: contiguous, out=, strided views"
BASELINES = {
    "arith": "the same arithmetic through corvane.arith (one call, or one per window)",
    "plain": "floor: NumPy's wrapping op on the same operands (np.dot for fir32)",
    "plain_alloc": "NumPy's wrapping op allocating its output",
}

CASES = (
    ("add_q15", np.int16, np.add),
    ("mul_q15", np.int16, np.multiply),
    ("add_q8", np.int8, np.add),
    ("mul_q8", np.int8, np.multiply),
)


def _samples(rng, dtype, size):
    info = np.iinfo(dtype)
    return rng.integers(info.min, info.max, size, dtype=dtype, endpoint=True)


def rows(size):
    rng = np.random.default_rng(size)
    for name, dtype, plain in CASES:
        ours, kernel = getattr(corvane, name), getattr(arith, name)
        a, b = _samples(rng, dtype, size), _samples(rng, dtype, size)
        out = np.empty_like(a)
        wa, wb = _samples(rng, dtype, 2 * size)[::2], _samples(rng, dtype, 2 * size)[::2]
        yield (name, lambda f=ours, a=a, b=b: f(a, b),
               {"arith": lambda f=kernel, a=a, b=b: f(a, b),
                "plain": lambda f=plain, a=a, b=b: f(a, b)})
        yield (f"{name} out=", lambda f=ours, a=a, b=b, out=out: f(a, b, out=out),
               {"plain_alloc": lambda f=plain, a=a, b=b: f(a, b),
                "plain": lambda f=plain, a=a, b=b, out=out: f(a, b, out=out)})
        yield (f"{name} ::2", lambda f=ours, a=wa, b=wb: f(a, b),
               {"plain": lambda f=plain, a=wa, b=wb: f(a, b)})

    x = _samples(rng, np.int16, size)
    counts = np.int32(3)
    yield ("shl_q15", lambda x=x: corvane.shl_q15(x, counts),
           {"arith": lambda x=x: arith.shl_q15(x, 3),
            "plain": lambda x=x: np.left_shift(x, 3)})

    # A 32-tap FIR as one gufunc call over a sliding window, against the
    # same sums from the arith kernel called once per output sample (small
    # sizes only: that loop runs in Python).
    taps = _samples(rng, np.int16, 32)
    if size >= taps.size:
        windows = np.lib.stride_tricks.sliding_window_view(x, taps.size)
        baselines = {"plain": lambda w=windows: np.dot(w, taps)}
        if size <= 4096:
            baselines["arith"] = lambda w=windows: [arith.dot_q15(row, taps) for row in w]
        yield ("dot_q15 fir32", lambda w=windows: corvane.dot_q15(w, taps), baselines)
