"""Rounding and overflow modes against the default convention they generalise.

Every row prints ours/X, the time of a mode over the time of the default
(1.00x = no cost for the mode): fir_q15 in each mode pair over today's
fir_q15 on one second of 48 kHz audio, 31 taps, 1 and 8 channels; narrow in
each mode pair over narrow_q15 on 1M int64 sums; to_q15 and quantize in each
mode pair over from_q15 on 1M samples (the same bytes moved, the other way).
"""
import itertools

import numpy as np

import corvane

TITLE = "Rounding and overflow modes"
OURS_OVER = ("default", "narrow_q15", "from_q15")
BASELINES = {
    "default": "fir_q15 in its default modes (nearest, saturate), same signal and taps",
    "narrow_q15": "narrow_q15(x, 15) on the same 1M int64 sums",
    "from_q15": "from_q15 on 1M int16 samples: the same bytes moved",
}
MODES = list(itertools.product(("nearest", "floor", "ceiling", "zero", "round", "convergent"),
                               ("saturate", "wrap")))
RATE = 48_000
NTAPS = 31
N = 1 << 20


def rows(size):
    # Fixed workloads, listed once, beside the 4096 size.
    if size != 4096:
        return
    rng = np.random.default_rng(0)
    taps = corvane.to_q15(np.hamming(NTAPS) / np.hamming(NTAPS).sum())
    for channels in (1, 8):
        x = rng.integers(-20000, 20000, (channels, RATE), dtype=np.int16)
        default = {"default": lambda x=x: corvane.fir_q15(x, taps)}
        for rounding, overflow in MODES:
            yield (f"fir_q15 {rounding}/{overflow} {channels}ch",
                   lambda x=x, r=rounding, o=overflow: corvane.fir_q15(x, taps, rounding=r, overflow=o),
                   default, x.size)
    sums = rng.integers(-(1 << 40), 1 << 40, N, dtype=np.int64)
    out = np.empty(N, np.int16)
    for rounding, overflow in MODES:
        yield (f"narrow {rounding}/{overflow} 1M",
               lambda r=rounding, o=overflow: corvane.narrow(sums, 15, rounding=r, overflow=o, out=out),
               {"narrow_q15": lambda: corvane.narrow_q15(sums, 15, out=out)}, N)
    f = rng.uniform(-1.2, 1.2, N)
    q = corvane.to_q15(f)
    back = np.empty(N, np.float64)
    widen = {"from_q15": lambda: corvane.from_q15(q, out=back)}
    yield "to_q15 1M", lambda: corvane.to_q15(f, out=out), widen, N
    for rounding, overflow in MODES:
        yield (f"quantize {rounding}/{overflow} 1M",
               lambda r=rounding, o=overflow: corvane.quantize(f, rounding=r, overflow=o, out=out), widen, N)
