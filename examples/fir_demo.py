"""A 31-tap Q15 low-pass over one second of 48 kHz audio, streamed in blocks.

Designs a windowed-sinc low-pass in float, quantises the taps with to_q15,
filters two tones, noise and a loud burst in blocks of random sizes with
fir_q15 and zi, then checks the output bit for bit against a NumPy int64
convolution, counts the samples that clip on the way into Q15 and out of the
filter, measures SNR against the float filter and the speed of both NumPy
versions. Saves fir_demo.png (spectra, the magnitude response of the float and
the Q15 taps, the error in dB) when matplotlib is installed.
"""
import timeit

import numpy as np

import corvane

RATE = 48_000
NTAPS = 31
CUTOFF_HZ = 4_000
BURST = slice(int(0.40 * RATE), int(0.50 * RATE))


def lowpass(ntaps, cutoff_hz, rate):
    """Windowed-sinc low-pass with unit gain at DC."""
    fc = cutoff_hz / rate
    n = np.arange(ntaps) - (ntaps - 1) / 2
    h = 2 * fc * np.sinc(2 * fc * n) * np.hamming(ntaps)
    return h / h.sum()


def test_signal(rng):
    """Two tones and noise; a burst of a third tone drives the sum past full scale."""
    t = np.arange(RATE) / RATE
    x = 0.30 * np.sin(2 * np.pi * 1_000 * t) + 0.20 * np.sin(2 * np.pi * 11_000 * t)
    x += 0.02 * rng.standard_normal(RATE)
    x[BURST] += 0.95 * np.sin(2 * np.pi * 1_000 * t[BURST])
    return x


def reference_int64(x, taps):
    """The same filter in plain NumPy: int64 convolution, round half up, shift, clip."""
    acc = np.convolve(x.astype(np.int64), taps.astype(np.int64))[: len(x)]
    return np.clip((acc + (1 << 14)) >> 15, -32768, 32767).astype(np.int16)


def stream(x, taps, rng):
    """fir_q15 over blocks of random sizes, carrying the state in zi."""
    zi = np.zeros(len(taps) - 1, np.int16)
    blocks, start = [], 0
    while start < len(x):
        size = int(rng.integers(1, 1024))
        y, zi = corvane.fir_q15(x[start:start + size], taps, zi=zi)
        blocks.append(y)
        start += size
    return np.concatenate(blocks), len(blocks)


def snr_db(signal, error):
    return 10 * np.log10(np.sum(signal ** 2) / np.sum(error ** 2))


def best_time(fn):
    timer = timeit.Timer(fn)
    number, _ = timer.autorange()
    return min(timer.repeat(repeat=5, number=number)) / number


def spectrum_db(v):
    windowed = v * np.hanning(len(v))
    return 20 * np.log10(np.abs(np.fft.rfft(windowed)) / (len(v) / 4) + 1e-12)


def clipped_by_to_q15(x):
    """Samples whose rounded Q15 value, floor(x * 2**15 + 1/2), is out of range."""
    rounded = np.floor(x * 32768 + 0.5)
    return int(np.count_nonzero((rounded > 32767) | (rounded < -32768)))


def response_db(h, points=4096):
    """Magnitude response of taps h in dB, at points + 1 frequencies up to Nyquist."""
    return 20 * np.log10(np.abs(np.fft.rfft(h, 2 * points)) + 1e-12)


def stopband_db(h, points=4096):
    """The worst (highest) response from twice the cutoff up to Nyquist."""
    freqs = np.fft.rfftfreq(2 * points, 1 / RATE)
    return float(response_db(h, points)[freqs >= 2 * CUTOFF_HZ].max())


def plot(x_q, y, h, taps, error, path):
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print(f"\nmatplotlib is not installed, so {path} was not drawn: "
              "pip install 'corvane[demo]' (or pip install matplotlib) and run again.")
        return
    freqs = np.fft.rfftfreq(RATE, 1 / RATE) / 1000
    fig, ((ax_in, ax_out), (ax_resp, ax_err)) = plt.subplots(2, 2, figsize=(12, 8))
    ax_in.plot(freqs, spectrum_db(corvane.from_q15(x_q)), lw=0.6)
    ax_in.set(title="Input spectrum (Q15)", xlabel="kHz", ylabel="dBFS", ylim=(-140, 5))
    ax_out.plot(freqs, spectrum_db(corvane.from_q15(y)), lw=0.6, color="C1")
    ax_out.axvline(CUTOFF_HZ / 1000, color="gray", ls=":")
    ax_out.set(title=f"Output spectrum: {NTAPS}-tap Q15 low-pass at {CUTOFF_HZ / 1000:g} kHz",
               xlabel="kHz", ylabel="dBFS", ylim=(-140, 5))
    resp_freqs = np.fft.rfftfreq(2 * 4096, 1 / RATE) / 1000
    ax_resp.plot(resp_freqs, response_db(h), lw=0.8, label="float64 taps")
    ax_resp.plot(resp_freqs, response_db(corvane.from_q15(taps)), lw=0.8, ls="--", label="Q15 taps")
    ax_resp.axvline(CUTOFF_HZ / 1000, color="gray", ls=":")
    ax_resp.set(title="Magnitude response of the taps", xlabel="kHz", ylabel="dB", ylim=(-120, 5))
    ax_resp.legend()
    ax_err.plot(np.arange(RATE) / RATE, 20 * np.log10(np.abs(error) + 1e-12), lw=0.4, color="C3")
    ax_err.set(title="Error against the float filter (the burst saturates)", xlabel="s",
               ylabel="dBFS", ylim=(-140, 5))
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    print(f"\nSaved {path}")


def main():
    rng = np.random.default_rng(2024)
    h = lowpass(NTAPS, CUTOFF_HZ, RATE)
    taps = corvane.to_q15(h)
    x = test_signal(rng)
    clipped_in = clipped_by_to_q15(x)
    x_q = corvane.to_q15(x)

    y, nblocks = stream(x_q, taps, rng)
    want = reference_int64(x_q, taps)
    differing = int(np.count_nonzero(y != want))
    acc = np.convolve(x_q.astype(np.int64), taps.astype(np.int64))[:RATE]
    saturated = int(np.count_nonzero(np.abs((acc + (1 << 14)) >> 15) > 32767))

    ideal = np.convolve(corvane.from_q15(x_q), h)[:RATE]
    error = corvane.from_q15(y) - ideal
    quiet = np.ones(RATE, bool)
    quiet[BURST.start:BURST.stop + NTAPS] = False

    x_float = corvane.from_q15(x_q)
    t_ours = best_time(lambda: corvane.fir_q15(x_q, taps))
    t_int64 = best_time(lambda: reference_int64(x_q, taps))
    t_float = best_time(lambda: np.convolve(x_float, h))

    print(f"{NTAPS}-tap Q15 low-pass at {CUTOFF_HZ} Hz, one second at {RATE} Hz, "
          f"streamed in {nblocks} blocks of random sizes")
    print(f"bit-exact against the NumPy int64 reference: {'yes' if differing == 0 else 'no'} "
          f"({differing} differing samples)")
    print(f"SNR against the float filter: {snr_db(ideal, error):.1f} dB over the whole second, "
          f"{snr_db(ideal[quiet], error[quiet]):.1f} dB outside the burst")
    print(f"input samples clipped by to_q15 (beyond full scale): {clipped_in}")
    print(f"saturated output samples: {saturated}")
    print(f"stopband (from {2 * CUTOFF_HZ} Hz) peak: {stopband_db(h):.1f} dB with float64 taps, "
          f"{stopband_db(corvane.from_q15(taps)):.1f} dB with the Q15 taps")
    print(f"fir_q15, one pass:           {t_ours * 1e6:9.1f} us")
    print(f"NumPy int64 reference:       {t_int64 * 1e6:9.1f} us  (fir_q15 {t_int64 / t_ours:.1f}x faster)")
    print(f"float64 np.convolve:         {t_float * 1e6:9.1f} us  (fir_q15 {t_float / t_ours:.1f}x faster)")
    plot(x_q, y, h, taps, error, "fir_demo.png")


if __name__ == "__main__":
    main()
