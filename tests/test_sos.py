"""sosfilt_q15, SosFilter and quantize_sos against the Python-int model."""
import copy
import itertools
import pickle
from fractions import Fraction

import numpy as np
import pytest

import corvane
import model

AxisError = np.exceptions.AxisError if hasattr(np, "exceptions") else np.AxisError
MODES = list(itertools.product(model.ROUNDINGS, model.OVERFLOWS, ("exact", "int32")))


def random_sos(rng, n_sections, extreme=False):
    """Rows of random Q(f) coefficients; `extreme` takes them from the range's ends."""
    rows = []
    for _ in range(n_sections):
        f = int(rng.choice([0, 15])) if extreme else int(rng.integers(0, 16))
        pool = [-32768, 32767, -32767, 0, 1, -1]
        coef = rng.choice(pool, 5) if extreme else rng.integers(-32768, 32768, 5)
        b0, b1, b2, a1, a2 = (int(c) for c in coef)
        rows.append([b0, b1, b2, 1 << f, a1, a2])
    return np.array(rows, np.int64)


def butter_sos():
    scipy_signal = pytest.importorskip("scipy.signal")
    return corvane.quantize_sos(scipy_signal.butter(8, 0.1, output="sos"))


def expected(sos, x, axis, zi=None, **modes):
    """The model run channel by channel along `axis`."""
    xm = np.moveaxis(np.asarray(x, np.int64), axis, -1)
    y = np.empty(xm.shape, np.int64)
    zf = np.empty((len(sos),) + xm.shape[:-1] + (4,), np.int64)
    zim = None if zi is None else np.moveaxis(np.asarray(zi, np.int64), axis + 1, -1)
    for idx in np.ndindex(xm.shape[:-1]):
        z0 = None if zim is None else zim[(slice(None),) + idx].tolist()
        yy, st = model.sosfilt(np.asarray(sos).tolist(), xm[idx].tolist(), z0, **modes)
        y[idx] = yy
        zf[(slice(None),) + idx] = st
    return np.moveaxis(y, -1, axis), np.moveaxis(zf, -1, axis + 1)


# Coefficient sets: random, the ends of the range at f = 0 and 15, an unstable
# pair that saturates (or wraps) forever, a marginal one that keeps a limit
# cycle, and the Butterworth low-pass of the benchmarks.
def coefficient_sets():
    rng = np.random.default_rng(17)
    return {
        "random": random_sos(rng, 3),
        "extreme": random_sos(rng, 4, extreme=True),
        "unstable": np.array([[32767, 0, 0, 1 << 14, -32768, 16384], [16384, 0, 0, 1 << 14, -32000, 0]]),
        "limit_cycle": np.array([[1000, 0, 0, 1 << 15, -32767, 32767]]),
        "eight": random_sos(rng, 8),
    }


@pytest.mark.parametrize("name", list(coefficient_sets()))
@pytest.mark.parametrize("rounding,overflow,accumulator", MODES)
def test_cascade_matches_model(name, rounding, overflow, accumulator):
    sos = coefficient_sets()[name]
    rng = np.random.default_rng(len(name))
    # 11 channels: whole vector lanes of every width and a remainder.
    x = rng.integers(-32768, 32768, (40, 11)).astype(np.int16)
    x[:3] = np.array([-32768, 32767, -32768])[:, None]
    zi = rng.integers(-32768, 32768, (len(sos), 4, 11)).astype(np.int16)
    modes = dict(rounding=rounding, overflow=overflow, accumulator=accumulator)
    want_y, want_zf = expected(sos, x, 0, zi, **modes)
    y, zf = corvane.sosfilt_q15(sos, x, zi=zi, axis=0, **modes)
    np.testing.assert_array_equal(y, want_y)
    np.testing.assert_array_equal(zf, want_zf)


@pytest.mark.parametrize("channels", [(), (3,), (9,)])
def test_every_block_split_streams_exactly(channels):
    sos = coefficient_sets()["extreme"]
    rng = np.random.default_rng(3)
    x = rng.integers(-32768, 32768, (13,) + channels).astype(np.int16)
    whole = corvane.sosfilt_q15(sos, x, axis=0, rounding="convergent")
    zero = np.zeros((len(sos), 4) + channels, np.int16)
    for cut in range(len(x) + 1):
        y1, z = corvane.sosfilt_q15(sos, x[:cut], zi=zero, axis=0, rounding="convergent")
        y2, _ = corvane.sosfilt_q15(sos, x[cut:], zi=z, axis=0, rounding="convergent")
        f = corvane.SosFilter(sos, axis=0, rounding="convergent")
        blocks = [f(x[:cut]), f(x[cut:])]
        np.testing.assert_array_equal(np.concatenate([y1, y2]), whole)
        np.testing.assert_array_equal(np.concatenate(blocks), whole)
    f = corvane.SosFilter(sos, axis=0, rounding="convergent")
    np.testing.assert_array_equal(np.concatenate([f(x[i:i + 1]) for i in range(len(x))]), whole)


@pytest.mark.parametrize("layout", ["axis0", "axis1", "axis2", "strided", "byteswapped", "fortran", "int8", "list"])
def test_layouts_match_model_and_leave_inputs_alone(layout):
    sos = coefficient_sets()["random"]
    rng = np.random.default_rng(5)
    base = rng.integers(-32768, 32768, (6, 7, 5)).astype(np.int16)
    axis = {"axis0": 0, "axis2": 2}.get(layout, 1)
    x = {"strided": base[:, ::2, :], "byteswapped": base.astype(">i2"), "fortran": np.asfortranarray(base),
         "int8": base.astype(np.int8), "list": base.tolist()}.get(layout, base)
    before = copy.deepcopy(x)
    zi = rng.integers(-32768, 32768, (len(sos),) + tuple(4 if d == axis else s for d, s in
                                                        enumerate(np.shape(x)))).astype(np.int16)
    zi_before = zi.copy()
    want_y, want_zf = expected(sos, np.asarray(x), axis, zi)
    y, zf = corvane.sosfilt_q15(sos, x, zi=zi, axis=axis)
    np.testing.assert_array_equal(y, want_y)
    np.testing.assert_array_equal(zf, want_zf)
    assert y.dtype == np.int16 and zf.dtype == np.int16
    np.testing.assert_array_equal(np.asarray(x), np.asarray(before))
    np.testing.assert_array_equal(zi, zi_before)
    f = corvane.SosFilter(sos, axis=axis - 3)
    np.testing.assert_array_equal(f(x), expected(sos, np.asarray(x), axis)[0])


GOOD = np.array([[1, 2, 3, 1 << 15, 4, 5]])


@pytest.mark.parametrize("args,kwargs,error,match", [
    ((GOOD, np.zeros(4)), {}, TypeError, "int16"),
    ((GOOD, np.zeros(4, np.int32)), {}, TypeError, "int16"),
    ((GOOD[0], np.zeros(4, np.int16)), {}, ValueError, "n_sections, 6"),
    ((GOOD.astype(float), np.zeros(4, np.int16)), {}, TypeError, "quantize_sos"),
    ((np.array([[1, 2, 3, 3, 4, 5]]), np.zeros(4, np.int16)), {}, ValueError, r"sos\[0, 3\]"),
    ((np.array([[1, 2, 3, 1 << 16, 4, 5]]), np.zeros(4, np.int16)), {}, ValueError, r"sos\[0, 3\]"),
    ((np.vstack([GOOD, [[0, 0, 0, 1, 32768, 0]]]), np.zeros(4, np.int16)), {}, ValueError, r"sos\[1, 4\] = 32768"),
    ((np.array([[0, 0, 0, 1, 0, 2 ** 64 - 1]], np.uint64), np.zeros(4, np.int16)), {}, ValueError, r"sos\[0, 5\]"),
    ((GOOD, np.zeros(4, np.int16)), {"zi": np.zeros((1, 3), np.int16)}, ValueError, r"\(1, 4\)"),
    ((GOOD, np.zeros(4, np.int16)), {"zi": np.zeros((1, 4))}, TypeError, "zi"),
    ((GOOD, np.ma.masked_array(np.zeros(4, np.int16))), {}, TypeError, "masked"),
    ((GOOD, np.zeros(4, np.int16)), {"rounding": "up"}, ValueError, "convergent"),
    ((GOOD, np.zeros(4, np.int16)), {"overflow": "clip"}, ValueError, "wrap"),
    ((GOOD, np.zeros(4, np.int16)), {"accumulator": "int64"}, ValueError, "int32"),
    ((GOOD, np.zeros(4, np.int16)), {"axis": 1}, AxisError, "axis"),
    ((GOOD, np.int16(3)), {}, ValueError, "dimension"),
])
def test_bad_input_raises_and_changes_nothing(args, kwargs, error, match):
    kept = [copy.deepcopy(a) for a in args] + [copy.deepcopy(kwargs)]
    with pytest.raises(error, match=match):
        corvane.sosfilt_q15(*args, **kwargs)
    for a, b in zip(list(args) + [kwargs], kept):
        assert repr(a) == repr(b)
    if "zi" not in kwargs and "axis" not in kwargs:
        with pytest.raises(error, match=match):
            f = corvane.SosFilter(args[0], **kwargs)
            f(args[1])


def test_filter_state_survives_copy_pickle_and_reset():
    sos = butter_sos()
    x = (np.random.default_rng(9).integers(-20000, 20000, (64, 2))).astype(np.int16)
    whole = corvane.sosfilt_q15(sos, x, axis=0, overflow="wrap", accumulator="int32")
    f = corvane.SosFilter(sos, axis=0, overflow="wrap", accumulator="int32")
    head = f(x[:20])
    for g in (copy.copy(f), copy.deepcopy(f), pickle.loads(pickle.dumps(f))):
        np.testing.assert_array_equal(np.concatenate([head, g(x[20:])]), whole)
    f.reset()
    np.testing.assert_array_equal(f(x), whole)
    with pytest.raises(ValueError, match="channels"):
        f(x[:, :1])
    np.testing.assert_array_equal(f.sos, sos)


@pytest.mark.parametrize("rounding", model.ROUNDINGS)
@pytest.mark.parametrize("frac_bits", [None, 0, 13])
def test_quantize_sos_rounds_each_coefficient(rounding, frac_bits):
    rng = np.random.default_rng(11)
    sos = np.hstack([rng.uniform(-3, 3, (5, 3)), rng.uniform(0.5, 2, (5, 1)), rng.uniform(-2, 2, (5, 2))])
    sos[0, :3] = [0.5, -0.5, 1.5 / 2 ** 13]  # ties at every count
    q = corvane.quantize_sos(sos, frac_bits, rounding=rounding)
    assert q.dtype == np.int32
    for row, qrow in zip(sos, q):
        f = int(qrow[3]).bit_length() - 1
        assert qrow[3] == 1 << f

        def scaled(c, f):
            v = Fraction(c) / Fraction(row[3]) * 2 ** f
            return model.round_div(v.numerator, v.denominator, rounding)
        want = [scaled(row[j], f) for j in (0, 1, 2, 4, 5)]
        assert qrow[[0, 1, 2, 4, 5]].tolist() == want
        if frac_bits is not None:
            assert f == frac_bits
        elif f < 15:
            assert not all(-32768 <= scaled(row[j], f + 1) <= 32767 for j in (0, 1, 2, 4, 5))


@pytest.mark.parametrize("sos,frac_bits,match", [
    ([[40000.0, 0, 0, 1, 0, 0]], None, r"sos\[0, 0\]"),
    ([[1.0, 0, 0, 1, 0, 0]], 15, r"sos\[0, 0\]"),
    ([[1.0, 0, 0, 0, 0, 0]], None, "a0"),
    ([[1.0, 0, 0, 1, 0]], None, "shape"),
    ([[1.0, 0, 0, 1, 0, np.nan]], None, "finite"),
    ([[1.0, 0, 0, 1, 0, 0]], 16, "frac_bits"),
])
def test_quantize_sos_refuses(sos, frac_bits, match):
    with pytest.raises(ValueError, match=match):
        corvane.quantize_sos(sos, frac_bits)
