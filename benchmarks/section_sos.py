"""Biquad cascades against SciPy's float filter of the same design.

One second of 48 kHz audio through an 8th-order Butterworth low-pass (four
sections, scipy.signal.butter(8, 0.1, output="sos") quantised by
quantize_sos): one channel, eight channels side by side (x of shape
(48000, 8) along axis 0) and eight rows (shape (8, 48000) along the last
axis). The baseline is scipy.signal.sosfilt in float64 on the same signal
(not bit-exact: the speed a float pipeline gets). The streaming row cuts the
eight channels into 256-sample blocks through one SosFilter and prints
ours/onepass: what the blocks cost, Python loop included.
"""
import numpy as np

import corvane

TITLE = "Biquads: one second at 48 kHz, 4 sections"
BASELINES = {
    "sosfilt": "scipy.signal.sosfilt, float64, same signal and design",
    "onepass": "one sosfilt_q15 call over the whole signal (the row prints ours/onepass)",
}
OURS_OVER = ("onepass",)
RATE = 48_000
BLOCK = 256


def _stream(sos, x):
    f = corvane.SosFilter(sos, axis=0)
    for start in range(0, len(x), BLOCK):
        f(x[start:start + BLOCK])


def rows(size):
    if size != 4096:
        return
    try:
        from scipy import signal
    except ImportError:
        return
    sos_f = signal.butter(8, 0.1, output="sos")
    sos = corvane.quantize_sos(sos_f)
    rng = np.random.default_rng(0)
    one = rng.integers(-16000, 16000, RATE, dtype=np.int16)
    cols = rng.integers(-16000, 16000, (RATE, 8), dtype=np.int16)
    lines = np.ascontiguousarray(cols.T)
    for name, x, axis in (("1ch", one, -1), ("8ch axis0", cols, 0), ("8ch rows", lines, -1)):
        x_f = x.astype(np.float64)
        yield (f"sosfilt_q15 {name}", lambda x=x, axis=axis: corvane.sosfilt_q15(sos, x, axis=axis), {
            "sosfilt": lambda x=x_f, axis=axis: signal.sosfilt(sos_f, x, axis=axis),
        }, x.size)
    yield (f"SosFilter blocks{BLOCK} 8ch", lambda: _stream(sos, cols), {
        "onepass": lambda: corvane.sosfilt_q15(sos, cols, axis=0),
    }, cols.size)
