"""The streaming FIR against what a NumPy user writes for the same output.

A fixed workload, measured once whatever the sizes: one second of 48 kHz
audio (48000 samples per channel) through 31 Q15 taps, one channel and eight;
n counts the samples of all channels (384000 for eight), and ns/elem divides
by it. Rows:
  fir_q15 Nch     one call over the whole second. Baselines: int64, the
                  bit-exact NumPy reference (int64 np.convolve, round, shift,
                  clip); fconv, float64 np.convolve of the same signal (not
                  exact: the speed a float pipeline gets). Per channel in a
                  Python loop for eight channels, as NumPy has no axis=.
  blocks256 Nch   the same second cut into 256-sample blocks with zi, Python
                  loop included. Baselines (floors): onepass, the one call
                  above (onepass/ours below 1.00x is what the blocks cost);
                  loop, a loop that slices each block and allocates the two
                  arrays a call returns, and does nothing else.
"""
import numpy as np

import corvane

TITLE = "FIR: one second at 48 kHz per channel, 31 taps (n = samples, all channels)"
BASELINES = {
    "int64": "bit-exact NumPy reference: int64 np.convolve, round half up, shift, clip",
    "fconv": "float64 np.convolve of the same signal (not exact)",
    "onepass": "floor: fir_q15 over the whole second in one call",
    "loop": "floor: the block loop's slicing and allocation alone",
}
RATE = 48_000
NTAPS = 31
BLOCK = 256


def _int64_reference(x, taps):
    acc = np.convolve(x.astype(np.int64), taps.astype(np.int64))[: len(x)]
    return np.clip((acc + (1 << 14)) >> 15, -32768, 32767).astype(np.int16)


def _per_channel(fn):
    return lambda x, *rest: [fn(row, *rest) for row in x]


def _stream(x, taps):
    zi = np.zeros(x.shape[:-1] + (len(taps) - 1,), np.int16)
    for start in range(0, x.shape[-1], BLOCK):
        _, zi = corvane.fir_q15(x[..., start:start + BLOCK], taps, zi=zi)


def _loop_floor(x, taps):
    zi = np.zeros(x.shape[:-1] + (len(taps) - 1,), np.int16)
    for start in range(0, x.shape[-1], BLOCK):
        _, zi = np.empty_like(x[..., start:start + BLOCK]), np.empty_like(zi)


def rows(size):
    # A fixed workload, listed once, beside the 4096 size (or the first one
    # measured, when 4096 is not among them).
    if size != 4096:
        return
    rng = np.random.default_rng(0)
    taps = corvane.to_q15(np.hamming(NTAPS) / np.hamming(NTAPS).sum())
    taps_f = corvane.from_q15(taps)
    for channels in (1, 8):
        x = rng.integers(-20000, 20000, (channels, RATE), dtype=np.int16)
        x = x[0] if channels == 1 else x
        x_f = corvane.from_q15(x)
        if channels == 1:
            exact, floating = _int64_reference, np.convolve
        else:
            exact, floating = _per_channel(_int64_reference), _per_channel(np.convolve)
        yield (f"fir_q15 {channels}ch", lambda x=x: corvane.fir_q15(x, taps), {
            "int64": lambda x=x: exact(x, taps),
            "fconv": lambda x=x_f: floating(x, taps_f),
        }, x.size)
        yield (f"blocks{BLOCK} {channels}ch", lambda x=x: _stream(x, taps), {
            "onepass": lambda x=x: corvane.fir_q15(x, taps),
            "loop": lambda x=x: _loop_floor(x, taps),
        }, x.size)
