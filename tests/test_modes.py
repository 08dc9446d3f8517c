"""narrow, quantize and the filters' rounding=/overflow= in every mode pair,
against the exact model of tests/model.py."""
import itertools
import math

import numpy as np
import pytest

import corvane
from model import OVERFLOWS, ROUNDINGS, narrow_array, narrow_to, quantize_array, quantize_to

MODES = list(itertools.product(ROUNDINGS, OVERFLOWS))
SAMPLES = [(np.int16, 16, 15), (np.int8, 8, 7)]


def test_model_array_forms_agree_with_the_scalar_forms():
    x = np.arange(-300, 301)
    f = halfway_values(7)
    f = f[~(np.abs(f) > 1e18)]
    for (rounding, overflow), s in itertools.product(MODES, range(0, 6)):
        want = [narrow_to(int(v), s, 8, rounding, overflow) for v in x]
        np.testing.assert_array_equal(narrow_array(x, s, 8, rounding, overflow), want)
    for rounding, overflow in MODES:
        want = [quantize_to(float(v), 7, 8, rounding, overflow) for v in f]
        np.testing.assert_array_equal(quantize_array(f, 7, 8, rounding, overflow), want)


@pytest.mark.parametrize("rounding,overflow", MODES)
@pytest.mark.parametrize("dtype,bits,_", SAMPLES)
def test_narrow_every_sample_every_count(rounding, overflow, dtype, bits, _):
    """Every int16 input (every tie of s <= 16 among them) at every count that matters,
    from int16, int32 and int64 inputs, contiguous and strided."""
    x = np.arange(-32768, 32768, dtype=np.int64)
    for s in range(-2, 19):
        want = narrow_array(x, max(s, 0), bits, rounding, overflow)
        for wide in (np.int16, np.int32, np.int64):
            got = corvane.narrow(x.astype(wide), s, dtype, rounding=rounding, overflow=overflow)
            assert got.dtype == dtype
            np.testing.assert_array_equal(got, want, err_msg=f"s={s} {wide.__name__}")
        np.testing.assert_array_equal(
            corvane.narrow(x[::-3], np.full(x[::-3].shape, s, np.int32), dtype,
                           rounding=rounding, overflow=overflow), want[::-3])


def wide_values():
    powers = [1 << b for b in range(63)]
    values = {p + d for p in powers for d in (-1, 0, 1)} | {-p + d for p in powers for d in (-1, 0, 1)}
    ties = {(2 * k + 1) << (s - 1) for s in (1, 2, 3, 40, 62) for k in (-2, -1, 0, 1)}
    return np.array(sorted(values | ties | {-(1 << 63), (1 << 63) - 1, -(1 << 63) + 1}), np.int64)


@pytest.mark.parametrize("rounding,overflow", MODES)
def test_narrow_int64_extremes_and_huge_counts(rounding, overflow):
    x = wide_values()
    counts = np.array([-(1 << 40), -(1 << 31), -1, 0] + list(range(1, 71)) + [(1 << 31) - 1, 1 << 40],
                      np.int64)
    for dtype, bits, _ in SAMPLES:
        got = corvane.narrow(x[:, None], counts[None, :], dtype, rounding=rounding, overflow=overflow)
        # past 2**6 every count rounds each int64 alike (|x| / 2**s < 1/2, never a tie)
        clamped = [max(min(int(s), 80), -(1 << 31)) for s in counts]
        want = [[narrow_to(int(v), s, bits, rounding, overflow) for s in clamped] for v in x]
        np.testing.assert_array_equal(got, np.array(want, dtype))
        # one count for the whole run: the kernel's case
        np.testing.assert_array_equal(
            corvane.narrow(x, np.int32(5), dtype, rounding=rounding, overflow=overflow), got[:, 8])


def float16_values():
    return np.arange(1 << 16, dtype=np.uint16).view(np.float16)


def halfway_values(frac_bits):
    k = np.arange(-(1 << (frac_bits + 1)) - 6, (1 << (frac_bits + 1)) + 6, 37 if frac_bits > 8 else 1)
    halves = (k + 0.5) / (1 << frac_bits)
    return np.concatenate([
        halves, np.nextafter(halves, np.inf), np.nextafter(halves, -np.inf),
        [np.nextafter(0.5, 0) / (1 << frac_bits), 5e-324, -5e-324, 1e300, -1e300, np.inf, -np.inf, np.nan,
         2.0**63 + 2.0**11, -(2.0**63 + 2.0**11), 2.0**66 + 2.0**14, 3.0 * 2.0**-frac_bits + 2.0**60,
         np.finfo(np.float64).max, float(np.finfo(np.float32).max)]])


@pytest.mark.parametrize("rounding,overflow", MODES)
@pytest.mark.parametrize("dtype,bits,frac_bits", SAMPLES)
def test_quantize_every_float16_and_every_halfway(rounding, overflow, dtype, bits, frac_bits):
    h = float16_values()
    with np.errstate(invalid="ignore"):
        want16 = quantize_array(h, frac_bits, bits, rounding, overflow).astype(dtype)
    for source in (np.float16, np.float32, np.float64):
        with pytest.warns(RuntimeWarning, match="invalid"):
            got = corvane.quantize(h.astype(source), dtype, rounding=rounding, overflow=overflow)
        assert got.dtype == dtype
        np.testing.assert_array_equal(got, want16, err_msg=source.__name__)
    x = halfway_values(frac_bits)
    want = np.array([quantize_to(float(v), frac_bits, bits, rounding, overflow) for v in x], dtype)
    with np.errstate(invalid="ignore"):
        np.testing.assert_array_equal(
            corvane.quantize(x, dtype, rounding=rounding, overflow=overflow), want)
        np.testing.assert_array_equal(
            corvane.quantize(x[::-2], dtype, rounding=rounding, overflow=overflow), want[::-2])
        x32 = x[~(np.abs(x) > 3.4e38)].astype(np.float32)
        np.testing.assert_array_equal(
            corvane.quantize(x32, dtype, rounding=rounding, overflow=overflow),
            [quantize_to(float(v), frac_bits, bits, rounding, overflow) for v in x32])


@pytest.mark.parametrize("x,overflow,invalid", [
    (np.nan, "saturate", True), (np.inf, "saturate", False), (np.inf, "wrap", True), (1e300, "wrap", False)])
def test_quantize_invalid_flag(x, overflow, invalid):
    with np.errstate(invalid="raise"):
        if invalid:
            with pytest.raises(FloatingPointError):
                corvane.quantize(np.array([x]), overflow=overflow)
        else:
            corvane.quantize(np.array([x]), overflow=overflow)


def test_defaults_are_the_existing_functions():
    x = wide_values()
    for s in (0, 7, 15, 40):
        np.testing.assert_array_equal(corvane.narrow(x, s), corvane.narrow_q15(x, s))
        np.testing.assert_array_equal(corvane.narrow(x, s, np.int8), corvane.narrow_q8(x, s))
    f = np.concatenate([halfway_values(15), float16_values().astype(np.float64)])
    with np.errstate(invalid="ignore"):
        np.testing.assert_array_equal(corvane.quantize(f), corvane.to_q15(f))
        np.testing.assert_array_equal(corvane.quantize(f, np.int8), corvane.to_q8(f))


@pytest.mark.parametrize("rounding,overflow", MODES)
@pytest.mark.parametrize("fir,dtype,bits,shift", [
    (corvane.fir_q15, np.int16, 16, 15), (corvane.fir_q8, np.int8, 8, 7)])
def test_fir_every_mode_against_narrowed_convolution(rounding, overflow, fir, dtype, bits, shift):
    rng = np.random.default_rng(3)
    info = np.iinfo(dtype)
    x = rng.integers(info.min, info.max, (2, 777), dtype, endpoint=True)
    x[0, :100] = info.min
    taps = rng.integers(info.min, info.max, 31, dtype, endpoint=True)
    for s in (0, 3, shift):
        sums = np.array([np.convolve(row.astype(np.int64), taps.astype(np.int64))[:x.shape[1]] for row in x])
        if bits == 8:
            sums = (sums + (1 << 31)) % (1 << 32) - (1 << 31)
        want = narrow_array(sums, s, bits, rounding, overflow).astype(dtype)
        np.testing.assert_array_equal(fir(x, taps, s, rounding=rounding, overflow=overflow), want)


@pytest.mark.parametrize("call", [
    lambda: corvane.narrow(np.arange(3), 1, rounding="up"),
    lambda: corvane.narrow(np.arange(3), 1, overflow="clip"),
    lambda: corvane.narrow(np.arange(3), 1, np.int32),
    lambda: corvane.quantize(np.ones(3), rounding="Nearest"),
    lambda: corvane.fir_q15(np.ones(3, np.int16), np.ones(1, np.int16), rounding="half"),
    lambda: corvane.fir_q8(np.ones(3, np.int8), np.ones(1, np.int8), overflow="saturating"),
])
def test_bad_mode_names_list_the_valid_ones(call):
    with pytest.raises(ValueError, match='"nearest", "floor"|"saturate", "wrap"|int16 or int8'):
        call()


def test_out_broadcasting_and_dask():
    da = pytest.importorskip("dask.array")
    x = np.arange(-40, 40, dtype=np.int64).reshape(8, 10)
    counts = np.arange(10, dtype=np.int32)
    out = np.empty((8, 10), np.int8)
    got = corvane.narrow(x, counts, np.int8, rounding="ceiling", overflow="wrap", out=out)
    assert got is out
    want = [[narrow_to(int(v), int(s), 8, "ceiling", "wrap") for v, s in zip(row, counts)] for row in x]
    np.testing.assert_array_equal(out, want)
    lazy = corvane.narrow(da.from_array(x, chunks=3), counts, np.int8, rounding="ceiling", overflow="wrap")
    assert isinstance(lazy, da.Array)
    np.testing.assert_array_equal(lazy.compute(), want)
    f = np.linspace(-1.5, 1.5, 80).reshape(8, 10)
    lazy_q = corvane.quantize(da.from_array(f, chunks=4), rounding="zero")
    np.testing.assert_array_equal(lazy_q.compute(), corvane.quantize(f, rounding="zero"))
