"""narrow_q15/q8, to_q15/q8 and from_q15/q8, exhaustively where the domain allows."""
import doctest
from fractions import Fraction

import numpy as np
import pytest

import corvane
import model

Q15 = (np.int16, 15, corvane.to_q15, corvane.from_q15, corvane.narrow_q15)
Q8 = (np.int8, 7, corvane.to_q8, corvane.from_q8, corvane.narrow_q8)


def clip(v, dtype):
    info = np.iinfo(dtype)
    return min(max(v, info.min), info.max)


def narrow_reference(x, s, dtype):
    return model.narrow(x, s, np.iinfo(dtype).bits)


@pytest.mark.parametrize("dtype,narrow", [(np.int16, corvane.narrow_q15), (np.int8, corvane.narrow_q8)])
@pytest.mark.parametrize("wide", [np.int16, np.int32, np.int64])
def test_narrow_every_sample_every_count(dtype, narrow, wide):
    """Every int16 at every count that can matter, through the int32 and int64 loops."""
    x = np.arange(-32768, 32768, dtype=np.int64)
    info = np.iinfo(dtype)
    for s in range(-2, 19):
        if s >= 1:
            want = np.floor_divide(x + (1 << (s - 1)), 1 << s)
        else:
            want = x
        got = narrow(x.astype(wide), np.int32(s))
        assert got.dtype == dtype
        np.testing.assert_array_equal(got, np.clip(want, info.min, info.max), err_msg=f"s={s}")


def test_narrow_wide_values_and_broadcast_counts():
    """int64 values around every power of two, each count per column, strided too."""
    powers = [1 << b for b in range(63)]
    x = np.array(sorted({p + d for p in powers for d in (-1, 0, 1)} |
                        {-p + d for p in powers for d in (-1, 0, 1)} |
                        {-(1 << 63), (1 << 63) - 1}), np.int64)
    counts = np.array([-(1 << 31), -1, 0] + list(range(1, 70)) + [(1 << 31) - 1], np.int32)
    for dtype, narrow in [(np.int16, corvane.narrow_q15), (np.int8, corvane.narrow_q8)]:
        got = narrow(x[:, None], counts[None, :])
        want = [[narrow_reference(int(v), int(s), dtype) for s in counts] for v in x]
        np.testing.assert_array_equal(got, np.array(want, dtype))
        # int64 counts (two Python ints resolve to them) past the int32 range act as its ends
        wide_counts = np.array([-(1 << 40), 1 << 40], np.int64)
        np.testing.assert_array_equal(narrow(x[:, None], wide_counts[None, :]), got[:, [0, -1]])
        assert narrow(int(x[5]), 15) == got[5, list(counts).index(15)]
        # a column of the grid is a strided run with one count: the kernel case and the rule case agree
        np.testing.assert_array_equal(narrow(x[::-1], 15), got[::-1, list(counts).index(15)])


def to_fixed_reference(x, bits, dtype):
    if np.isnan(x):
        return 0
    if np.isinf(x):
        return clip(int(np.sign(x)) << 20, dtype)
    v = Fraction(float(x)) * (1 << bits) + Fraction(1, 2)
    return clip(v.numerator // v.denominator, dtype)


@pytest.mark.parametrize("dtype,bits,to_fixed,from_fixed,_", [Q15, Q8])
@pytest.mark.parametrize("source", [np.float16, np.float32, np.float64])
def test_to_fixed_every_float16(dtype, bits, to_fixed, from_fixed, _, source):
    """Every float16 (halves of every step, infinities, NaN) through each float loop."""
    h = np.arange(1 << 16, dtype=np.uint16).view(np.float16)
    # float16 values have 11 significant bits: x * 2**bits + 1/2 is exact in float64
    with np.errstate(invalid="ignore"):
        want = np.clip(np.floor(h.astype(np.float64) * (1 << bits) + 0.5), -(1 << 20), 1 << 20)
    want = np.clip(np.nan_to_num(want, nan=0.0), np.iinfo(dtype).min, np.iinfo(dtype).max).astype(dtype)
    with pytest.warns(RuntimeWarning, match="invalid"):
        got = to_fixed(h.astype(source))
    assert got.dtype == dtype
    np.testing.assert_array_equal(got, want)


@pytest.mark.parametrize("dtype,bits,to_fixed,from_fixed,_", [Q15, Q8])
def test_to_fixed_at_halves(dtype, bits, to_fixed, from_fixed, _):
    """Exact halves of a step and their float64 neighbours, where x * 2**k + 0.5 rounds."""
    k = np.arange(-(1 << (bits + 1)) - 6, (1 << (bits + 1)) + 6, 37 if bits > 8 else 1)
    halves = (k + 0.5) / (1 << bits)
    x = np.concatenate([halves, np.nextafter(halves, np.inf), np.nextafter(halves, -np.inf),
                        [np.nextafter(0.5, 0) / (1 << bits), -np.nextafter(0.5, 0) / (1 << bits),
                         5e-324, -5e-324, 1e300, -1e300, np.inf, -np.inf]])
    want = np.array([to_fixed_reference(v, bits, dtype) for v in x], dtype)
    np.testing.assert_array_equal(to_fixed(x), want)
    x32 = x[np.abs(x) < 1e38].astype(np.float32)
    np.testing.assert_array_equal(to_fixed(x32), [to_fixed_reference(v, bits, dtype) for v in x32])
    np.testing.assert_array_equal(to_fixed(x[::-2]), want[::-2])


@pytest.mark.parametrize("dtype,bits,to_fixed,from_fixed,_", [Q15, Q8])
def test_from_fixed_every_sample_round_trips(dtype, bits, to_fixed, from_fixed, _):
    q = np.arange(np.iinfo(dtype).min, np.iinfo(dtype).max + 1).astype(dtype)
    f = from_fixed(q)
    assert f.dtype == np.float64
    assert [Fraction(v) for v in f[::97]] == [Fraction(int(v), 1 << bits) for v in q[::97]]
    np.testing.assert_array_equal(to_fixed(f), q)
    np.testing.assert_array_equal(from_fixed(q[::-3]), f[::-3])


def test_refusals_follow_numpy():
    with pytest.raises(TypeError):
        corvane.narrow_q15(np.array([1.5]), 3)
    with pytest.raises(TypeError):
        corvane.narrow_q15(np.array([1], np.uint64), 3)
    with pytest.raises(TypeError):
        corvane.from_q15(np.array([1], np.int32))


@pytest.mark.parametrize("name", ["narrow_q15", "narrow_q8", "to_q15", "to_q8", "from_q15", "from_q8",
                                  "fir_q15", "fir_q8"])
def test_docstring_examples(name):
    func = getattr(corvane, name)
    test = doctest.DocTestParser().get_doctest(func.__doc__, {"np": np, name: func}, name, None, 0)
    runner = doctest.DocTestRunner()
    runner.run(test, out=lambda s: pytest.fail(s))
    assert runner.tries >= 1 and runner.failures == 0
