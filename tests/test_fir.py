"""fir_q15 / fir_q8 against an int64 NumPy convolution with exact rounding."""
import doctest
import itertools

import numpy as np
import pytest

AxisError = np.exceptions.AxisError if hasattr(np, "exceptions") else np.AxisError

import corvane

KINDS = {
    "q15": (corvane.fir_q15, np.int16, 15, 64),
    "q8": (corvane.fir_q8, np.int8, 7, 32),
}


def reference(x, taps, shift, zi, dtype, wrap_bits):
    """One channel: the direct sum over [zi, x], wrapped for Q8, rounded in Python ints."""
    info = np.iinfo(dtype)
    history = np.zeros(len(taps) - 1, np.int64) if zi is None else np.asarray(zi, np.int64)
    full = np.concatenate([history, np.asarray(x, np.int64)])
    sums = np.convolve(full, np.asarray(taps, np.int64))[len(taps) - 1:len(full)]
    out = []
    for s in sums.tolist():
        if wrap_bits == 32:
            s = (s + (1 << 31)) % (1 << 32) - (1 << 31)
        if shift >= 1:
            k = min(shift, 80)  # |s| < 2**63: every larger count gives 0 as well
            s = (s + (1 << (k - 1))) // (1 << k)
        out.append(min(max(s, info.min), info.max))
    return np.array(out, dtype)


def signal(dtype, n, fill, seed):
    info = np.iinfo(dtype)
    if fill == "min":
        return np.full(n, info.min, dtype)
    if fill == "alternating":
        return np.where(np.arange(n) % 2 == 0, info.min, info.max).astype(dtype)
    return np.random.default_rng(seed).integers(info.min, info.max, n, dtype, endpoint=True)


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("fill", ["random", "min", "alternating"])
@pytest.mark.parametrize("ntaps,n", [(1, 40), (2, 33), (31, 1000), (33, 64), (300, 700)])
@pytest.mark.parametrize("with_zi", [False, True])
def test_matches_reference(kind, fill, ntaps, n, with_zi):
    fir, dtype, shift, bits = KINDS[kind]
    x, taps = signal(dtype, n, fill, 1), signal(dtype, ntaps, fill, 2)
    zi = signal(dtype, ntaps - 1, "random", 3) if with_zi else None
    want = reference(x, taps, shift, zi, dtype, bits)
    if with_zi:
        y, zf = fir(x, taps, zi=zi)
        np.testing.assert_array_equal(zf, np.concatenate([zi, x])[len(zi) + n - (ntaps - 1):])
    else:
        y = fir(x, taps)
    assert y.dtype == dtype
    np.testing.assert_array_equal(y, want)


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("shift", [-5, 0, 1, 14, 31, 40, 63, 64, 1 << 30])
def test_any_shift(kind, shift):
    fir, dtype, _, bits = KINDS[kind]
    x, taps = signal(dtype, 200, "random", 4), signal(dtype, 45, "random", 5)
    np.testing.assert_array_equal(fir(x, taps, shift), reference(x, taps, shift, None, dtype, bits))


@pytest.mark.parametrize("kind", KINDS)
def test_every_block_split_equals_one_pass(kind):
    fir, dtype, _, _ = KINDS[kind]
    x, taps = signal(dtype, 9, "random", 6), signal(dtype, 4, "random", 7)
    zi0 = signal(dtype, 3, "random", 8)
    want, want_zf = fir(x, taps, zi=zi0)
    for cuts in itertools.product([False, True], repeat=len(x) - 1):
        bounds = [0] + [i + 1 for i, cut in enumerate(cuts) if cut] + [len(x)]
        zi, parts = zi0, []
        for lo, hi in zip(bounds, bounds[1:]):
            y, zi = fir(x[lo:hi], taps, zi=zi)
            parts.append(y)
        empty, same = fir(x[:0], taps, zi=zi)  # an empty block passes the state through
        assert empty.shape == (0,)
        np.testing.assert_array_equal(same, zi)
        np.testing.assert_array_equal(np.concatenate(parts), want)
        np.testing.assert_array_equal(zi, want_zf)


@pytest.mark.parametrize("axis", [0, 1, 2, -1])
def test_channels_along_axis(axis):
    dtype = np.int16
    x = signal(dtype, 2 * 40 * 3, "random", 9).reshape(2, 40, 3)
    if axis in (1, -1):
        x = x.transpose(0, 2, 1) if axis == 1 else x
    taps = signal(dtype, 5, "random", 10)
    zi_shape = list(x.shape)
    zi_shape[axis] = 4
    zi = signal(dtype, int(np.prod(zi_shape)), "random", 11).reshape(zi_shape)
    y, zf = corvane.fir_q15(x, taps, zi=zi, axis=axis)
    lanes_x, lanes_zi = np.moveaxis(x, axis, -1), np.moveaxis(zi, axis, -1)
    want = np.stack([reference(a, taps, 15, h, dtype, 64)
                     for a, h in zip(lanes_x.reshape(-1, x.shape[axis]), lanes_zi.reshape(-1, 4))])
    np.testing.assert_array_equal(np.moveaxis(y, axis, -1).reshape(want.shape), want)
    np.testing.assert_array_equal(zf, np.concatenate([zi, x], axis=axis).take(
        range(x.shape[axis], x.shape[axis] + 4), axis=axis))


def test_layouts_and_safe_casts():
    x = signal(np.int16, 301, "random", 12)
    taps = signal(np.int16, 7, "random", 13)
    want = reference(x[::2], taps, 15, None, np.int16, 64)
    raw = np.zeros(x[::2].nbytes + 1, np.uint8)
    unaligned = raw[1:].view(np.int16)
    unaligned[:] = x[::2]
    for view in (x[::2], x[::2].astype(">i2"), unaligned, list(x[::2].tolist())):
        np.testing.assert_array_equal(corvane.fir_q15(view, taps[::-1][::-1]), want)
    x8 = signal(np.int8, 50, "random", 14)
    np.testing.assert_array_equal(corvane.fir_q15(x8, taps), reference(x8, taps, 15, None, np.int16, 64))


@pytest.mark.parametrize("call,error", [
    (lambda x, t, z: corvane.fir_q15(x, np.zeros(0, np.int16)), ValueError),
    (lambda x, t, z: corvane.fir_q15(x, t.reshape(1, -1)), ValueError),
    (lambda x, t, z: corvane.fir_q15(x, t, zi=z[:-1]), ValueError),
    (lambda x, t, z: corvane.fir_q15(x, t, zi=z.reshape(1, -1)), ValueError),
    (lambda x, t, z: corvane.fir_q15(x, t, zi=z.astype(np.float64)), TypeError),
    (lambda x, t, z: corvane.fir_q15(x, t, zi=z.astype(np.int32)), TypeError),
    (lambda x, t, z: corvane.fir_q15(x.astype(np.float32), t), TypeError),
    (lambda x, t, z: corvane.fir_q15(x, t.astype(np.float64)), TypeError),
    (lambda x, t, z: corvane.fir_q15([0.5, 1.5], t), TypeError),
    (lambda x, t, z: corvane.fir_q15([1, 40000], t), ValueError),
    (lambda x, t, z: corvane.fir_q8(x, t), TypeError),
    (lambda x, t, z: corvane.fir_q15(x, t, axis=1), AxisError),
    (lambda x, t, z: corvane.fir_q15(x[0], t), ValueError),
    (lambda x, t, z: corvane.fir_q15(x, t, 1.0), TypeError),
    (lambda x, t, z: corvane.fir_q15(x, t, 1 << 40), OverflowError),
    (lambda x, t, z: corvane.fir_q15(x, t, z), TypeError),
    (lambda x, t, z: corvane.fir_q15(x, t, zi=z, zj=z), TypeError),
    # the filter would run over the masked samples
    (lambda x, t, z: corvane.fir_q15(np.ma.masked_array(x, x > 5), t), (TypeError, r"x\.filled\(")),
    (lambda x, t, z: corvane.fir_q15(x, t, zi=np.ma.masked_array(z)), (TypeError, r"zi\.filled\(")),
    (lambda x, t, z: corvane.fir_q8(np.ma.masked_array(x.astype(np.int8)), t.astype(np.int8)), (TypeError, "MaskedArray")),
])
def test_bad_input_raises_and_changes_nothing(call, error):
    x, taps, zi = np.arange(10, dtype=np.int16), np.arange(1, 4, dtype=np.int16), np.ones(2, np.int16)
    before = [a.copy() for a in (x, taps, zi)]
    error, message = error if isinstance(error, tuple) else (error, None)
    with pytest.raises(error, match=message):
        call(x, taps, zi)
    for a, b in zip((x, taps, zi), before):
        np.testing.assert_array_equal(a, b)


@pytest.mark.parametrize("name", ["fir_q15", "fir_q8"])
def test_docstring_examples_run(name):
    test = doctest.DocTestParser().get_doctest(
        getattr(corvane, name).__doc__, {"np": np, name: getattr(corvane, name)}, name, None, 0)
    runner = doctest.DocTestRunner()
    runner.run(test, out=lambda s: pytest.fail(s))
    assert runner.failures == 0 and runner.tries == len(test.examples) > 0
