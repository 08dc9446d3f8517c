"""Polyphase decimation, interpolation and resampling, and the streaming FirFilter.

One second of 48 kHz audio. The baselines: scipy.signal.upfirdn (float64,
polyphase too) and scipy.signal.resample_poly of the same signal (not exact:
the speed a float pipeline gets), fir_q15 at the full rate followed by
[::4] (what decimating took before), and for the streaming rows the
one-pass call itself and the fir_q15 zi form on the same 256-sample blocks
(ours/onepass: what cutting the signal into blocks costs, Python loop
included).
"""
import numpy as np

import corvane

TITLE = "Multirate: one second at 48 kHz"
OURS_OVER = ("onepass",)
RATE = 48_000
BLOCK = 256


def _design(ntaps):
    return corvane.to_q15(np.hamming(ntaps) / np.hamming(ntaps).sum())


def _zi_stream(x, taps):
    zi = np.zeros(x.shape[:-1] + (len(taps) - 1,), np.int16)
    for start in range(0, x.shape[-1], BLOCK):
        _, zi = corvane.fir_q15(x[..., start:start + BLOCK], taps, zi=zi)


def _filter_stream(x, taps):
    f = corvane.FirFilter(taps)
    for start in range(0, x.shape[-1], BLOCK):
        f(x[..., start:start + BLOCK])


def rows(size):
    # A fixed workload, listed once, beside the 4096 size.
    if size != 4096:
        return
    try:
        from scipy import signal
    except ImportError:
        signal = None
    rng = np.random.default_rng(0)
    x = rng.integers(-20000, 20000, RATE, dtype=np.int16)
    x_f = corvane.from_q15(x)
    for label, up, down, ntaps in (("decimate 4", 1, 4, 31), ("interpolate 4", 4, 1, 48),
                                   ("resample 3/2", 3, 2, 48)):
        h = _design(ntaps)
        h_f = corvane.from_q15(h)
        baselines = {}
        if signal is not None:
            baselines["scipy"] = lambda h=h_f, up=up, down=down: signal.upfirdn(h, x_f, up, down)
            if up > 1:
                baselines["resample"] = lambda up=up, down=down: signal.resample_poly(x_f, up, down)
        if up == 1:
            baselines["fir[::4]"] = lambda h=h: corvane.fir_q15(x, h)[::down]
        yield (f"{label}, {ntaps} taps", lambda h=h, up=up, down=down: corvane.upfirdn_q15(h, x, up, down),
               baselines)
    taps = _design(31)
    for channels in (1, 8):
        xs = rng.integers(-20000, 20000, (channels, RATE), dtype=np.int16)
        xs = xs[0] if channels == 1 else xs
        yield (f"FirFilter blocks{BLOCK} {channels}ch", lambda xs=xs: _filter_stream(xs, taps), {
            "onepass": lambda xs=xs: corvane.fir_q15(xs, taps),
            "zi": lambda xs=xs: _zi_stream(xs, taps),
        })
