"""A fixed-point audio chain, bit for bit, streamed in blocks of random sizes.

One second of 48 kHz stereo through what a flooring firmware runs: a biquad
equaliser (designed with scipy.signal, quantised with quantize_sos) in a
SosFilter, an anti-alias FIR decimating by 2 in a FirFilter, a Q15 gain
(mul_q15) and a saturating mix to mono (add_q15). It checks the output bit
for bit against the same chain written here in NumPy int64 arithmetic,
counts the input samples that clip in quantisation and the saturated samples
of every stage, measures the SNR against the float chain (SciPy) and the
speed of both. Saves chain_demo.png when matplotlib is installed.
"""
import sys
import timeit

import numpy as np

import corvane

try:
    from scipy import signal
except ImportError:
    sys.exit("The chain demo designs its filters with SciPy: pip install 'corvane[demo]' (or scipy).")

RATE = 48_000
DOWN = 2
NTAPS = 31
GAIN = 0.7  # per channel before the mix, so that the mono sum rarely clips
BURST = slice(int(0.40 * RATE), int(0.45 * RATE))
ROUNDING = "floor"


def test_signal(rng):
    """Stereo tones and noise; a burst drives the left channel past full scale."""
    t = np.arange(RATE) / RATE
    left = 0.4 * np.sin(2 * np.pi * 440 * t) + 0.2 * np.sin(2 * np.pi * 15_000 * t)
    right = 0.3 * np.sin(2 * np.pi * 1_250 * t) + 0.1 * np.sin(2 * np.pi * 90 * t)
    x = np.stack([left, right]) + 0.01 * rng.standard_normal((2, RATE))
    x[0, BURST] *= 3.0
    return x


def design():
    """The equaliser (a band-pass section and a low-pass section: poles far
    enough from 1 that a flooring recursion keeps its SNR) and the
    decimator's low-pass."""
    sos = np.vstack([signal.butter(1, [300, 9_000], btype="bandpass", fs=RATE, output="sos"),
                     signal.butter(2, 12_000, fs=RATE, output="sos")])
    h = signal.firwin(NTAPS, 0.8 * RATE / (2 * DOWN), fs=RATE)
    return sos, h


# ---- The chain in NumPy int64 arithmetic, from the definitions ----------

def ref_sos(sos_q, x):
    """Direct form I per section, each sum floored by 2**f and clipped."""
    saturated = 0
    y = x.astype(np.int64)
    for b0, b1, b2, a0, a1, a2 in sos_q.astype(np.int64).tolist():
        f = a0.bit_length() - 1
        out = np.empty_like(y)
        x1 = x2 = y1 = y2 = np.zeros(y.shape[0], np.int64)
        for n in range(y.shape[1]):
            v = y[:, n]
            acc = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
            q = acc >> f
            saturated += int(np.count_nonzero((q < -32768) | (q > 32767)))
            q = np.clip(q, -32768, 32767)
            x1, x2, y1, y2 = v, x1, q, y1
            out[:, n] = q
        y = out
    return y, saturated


def ref_decimate(taps, x):
    acc = np.stack([np.convolve(row, taps.astype(np.int64))[: x.shape[1]] for row in x])[:, ::DOWN] >> 15
    return np.clip(acc, -32768, 32767), int(np.count_nonzero((acc < -32768) | (acc > 32767)))


def ref_gain_mix(x, gain):
    g = (x * int(gain) + (1 << 14)) >> 15
    g_sat = int(np.count_nonzero((g < -32768) | (g > 32767)))
    g = np.clip(g, -32768, 32767)
    mix = g[0] + g[1]
    m_sat = int(np.count_nonzero((mix < -32768) | (mix > 32767)))
    return np.clip(mix, -32768, 32767).astype(np.int16), g_sat, m_sat


# ---- The chain on corvane, streamed ------------------------------------

def make_chain(sos_q, taps):
    eq = corvane.SosFilter(sos_q, rounding=ROUNDING)
    decimator = corvane.FirFilter(taps, down=DOWN, rounding=ROUNDING)
    return eq, decimator


def run_chain(eq, decimator, gain, block):
    g = corvane.mul_q15(decimator(eq(block)), gain)
    return corvane.add_q15(g[0], g[1])


def stream(sos_q, taps, gain, x, rng):
    eq, decimator = make_chain(sos_q, taps)
    out, start, blocks = [], 0, 0
    while start < x.shape[1]:
        size = int(rng.integers(1, 1024))
        out.append(run_chain(eq, decimator, gain, x[:, start:start + size]))
        start += size
        blocks += 1
    return np.concatenate(out), blocks


def float_chain(sos, h, x):
    y = signal.upfirdn(h, signal.sosfilt(sos, x, axis=-1), 1, DOWN, axis=-1)[:, : x.shape[1] // DOWN]
    return GAIN * (y[0] + y[1])


def snr_db(ref, error):
    return 10 * np.log10(np.sum(ref ** 2) / np.sum(error ** 2))


def best_time(fn):
    timer = timeit.Timer(fn)
    number, _ = timer.autorange()
    return min(timer.repeat(repeat=5, number=number)) / number


def spectrum_db(v):
    return 20 * np.log10(np.abs(np.fft.rfft(v * np.hanning(len(v)))) / (len(v) / 4) + 1e-12)


def plot(sos, sos_q, h, taps, y, error, path):
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print(f"\nmatplotlib is not installed, so {path} was not drawn: "
              "pip install 'corvane[demo]' (or pip install matplotlib) and run again.")
        return
    fig, (ax_eq, ax_fir, ax_out, ax_err) = plt.subplots(4, 1, figsize=(9, 12))
    sos_back = sos_q / sos_q[:, 3:4]
    for ax, title, designed, quantised in (
            (ax_eq, "Equaliser (SosFilter)", signal.sosfreqz(sos, 4096, fs=RATE),
             signal.sosfreqz(sos_back, 4096, fs=RATE)),
            (ax_fir, f"Decimator's low-pass ({NTAPS} taps, FirFilter)", signal.freqz(h, 1, 4096, fs=RATE),
             signal.freqz(corvane.from_q15(taps), 1, 4096, fs=RATE))):
        for (f, resp), label, style in ((designed, "designed (float)", "-"), (quantised, "quantised", "--")):
            ax.plot(f / 1000, 20 * np.log10(np.abs(resp) + 1e-12), style, lw=0.8, label=label)
        ax.set(title=title, xlabel="kHz", ylabel="dB", ylim=(-100, 5))
        ax.legend()
    freqs = np.fft.rfftfreq(len(y), DOWN / RATE) / 1000
    ax_out.plot(freqs, spectrum_db(corvane.from_q15(y)), lw=0.6, color="C1")
    ax_out.set(title="Output spectrum (mono, 24 kHz)", xlabel="kHz", ylabel="dBFS", ylim=(-140, 5))
    ax_err.plot(np.arange(len(error)) * DOWN / RATE, 20 * np.log10(np.abs(error) + 1e-9), lw=0.4, color="C3")
    ax_err.set(title="Error against the float chain (the burst saturates)", xlabel="s", ylabel="dBFS")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    print(f"\nSaved {path}")


def main():
    rng = np.random.default_rng(2024)
    sos, h = design()
    sos_q = corvane.quantize_sos(sos)
    taps = corvane.to_q15(h)
    gain = corvane.to_q15(GAIN)
    x_float = test_signal(rng)
    clipped = int(np.count_nonzero(np.abs(np.round(x_float * 32768)) > 32767))
    x = corvane.to_q15(x_float)

    y, nblocks = stream(sos_q, taps, gain, x, rng)
    eq_ref, eq_sat = ref_sos(sos_q, x)
    dec_ref, dec_sat = ref_decimate(taps, eq_ref)
    want, gain_sat, mix_sat = ref_gain_mix(dec_ref, gain)
    differing = int(np.count_nonzero(y != want))

    ideal = float_chain(sos, h, np.clip(x_float, -1, 1))
    error = corvane.from_q15(y) - ideal
    quiet = np.ones(len(ideal), bool)
    quiet[BURST.start // DOWN:BURST.stop // DOWN + NTAPS] = False

    def ours():
        return run_chain(*make_chain(sos_q, taps), gain, x)

    t_ours = best_time(ours)
    t_float = best_time(lambda: float_chain(sos, h, x_float))

    print(f"Stereo, one second at {RATE} Hz: {len(sos)}-section equaliser, {NTAPS}-tap decimator by {DOWN}, "
          f"gain {GAIN}, mix to mono; rounding={ROUNDING!r}; streamed in {nblocks} blocks of random sizes")
    print(f"bit-exact against the NumPy int64 reference: {'yes' if differing == 0 else 'no'} "
          f"({differing} differing samples)")
    print(f"input samples clipped in quantisation: {clipped}")
    print(f"saturated samples: equaliser {eq_sat}, decimator {dec_sat}, gain {gain_sat}, mix {mix_sat}")
    print(f"SNR against the float chain: {snr_db(ideal, error):.1f} dB over the whole second, "
          f"{snr_db(ideal[quiet], error[quiet]):.1f} dB outside the burst")
    print(f"corvane chain, one pass:    {t_ours * 1e6:9.1f} us")
    print(f"float chain (SciPy):        {t_float * 1e6:9.1f} us  ({t_float / t_ours:.2f}x our time)")
    plot(sos, sos_q, h, taps, y, error, "chain_demo.png")


if __name__ == "__main__":
    main()
