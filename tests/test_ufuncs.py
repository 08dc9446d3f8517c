"""The ufuncs of corvane: every layout NumPy hands a loop, against the model."""
import doctest
import functools
import itertools
import pickle

import numpy as np
import pytest

import corvane
import model
from corvane import arith

BINARY = {
    "add_q15": (np.int16, lambda a, b: model.add(a, b, model.Q15)),
    "sub_q15": (np.int16, lambda a, b: model.sub(a, b, model.Q15)),
    "mul_q15": (np.int16, lambda a, b: model.mul(a, b, model.Q15)),
    "add_q8": (np.int8, lambda a, b: model.add(a, b, model.Q8)),
    "sub_q8": (np.int8, lambda a, b: model.sub(a, b, model.Q8)),
    "mul_q8": (np.int8, lambda a, b: model.mul(a, b, model.Q8)),
}
SHIFTS = {
    "shl_q15": (np.int16, lambda x, s: model.shl_sat(x, s, model.Q15)),
    "shr_q15": (np.int16, lambda x, s: model.shr_round(x, s, model.Q15)),
    "shl_q8": (np.int8, lambda x, s: model.shl_sat(x, s, model.Q8)),
    "shr_q8": (np.int8, lambda x, s: model.shr_round(x, s, model.Q8)),
    "shl_i64": (np.int64, model.shl_i64),
    "shr_i64": (np.int64, model.shr_i64),
}
DOTS = {"dot_q15": (np.int16, np.int64, 64), "dot_q8": (np.int8, np.int32, 32)}
INT_MIN, INT_MAX = -(1 << 31), (1 << 31) - 1


def samples(dtype, shape, seed):
    """Random samples with the range ends well represented."""
    info = np.iinfo(dtype)
    rng = np.random.default_rng(seed)
    x = rng.integers(info.min, info.max, shape, dtype=dtype, endpoint=True)
    ends = rng.random(shape) < 0.1
    x[ends] = rng.choice(np.array([info.min, info.max, 0, -1], dtype=dtype), ends.sum())
    return x


def apply_model(rule, *operands, dtype):
    """The model element by element over the broadcast operands."""
    bcast = np.broadcast_arrays(*[np.asarray(op) for op in operands])
    flat = [b.ravel().tolist() for b in bcast]
    return np.array([rule(*xs) for xs in zip(*flat)], dtype=dtype).reshape(bcast[0].shape)


def unaligned(x):
    """A copy of x whose data sits one byte off its natural alignment."""
    buf = np.zeros(x.nbytes + 1, np.uint8)
    view = buf[1:].view(x.dtype).reshape(x.shape)
    view[...] = x
    return view


# (a, b) pairs built from a (6, 40) and a (40,) sample block.
LAYOUTS = {
    "contiguous": lambda m, v: (m, m[::-1]),
    "reversed": lambda m, v: (m[:, ::-1], m),
    "every_other": lambda m, v: (m[:, ::2], m[:, 1::2]),
    "transposed": lambda m, v: (m.T, m[::-1].T),
    "row_broadcast": lambda m, v: (m, v),
    "column_broadcast": lambda m, v: (m[:, :1], m),
    "scalar": lambda m, v: (m, v[3]),
    "zero_d": lambda m, v: (v[0], v[1]),
    "empty": lambda m, v: (m[:0], v),
    "unaligned": lambda m, v: (unaligned(m), unaligned(m[::-1])),
}


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("name", BINARY)
def test_binary_every_layout_matches_model(name, layout):
    dtype, rule = BINARY[name]
    a, b = LAYOUTS[layout](samples(dtype, (6, 40), 1), samples(dtype, (40,), 2))
    got = getattr(corvane, name)(a, b)
    want = apply_model(rule, a, b, dtype=dtype)
    assert got.dtype == dtype and got.shape == want.shape
    np.testing.assert_array_equal(got, want)


@pytest.mark.parametrize("name", BINARY)
def test_out_aliasing_inputs_and_where(name):
    dtype, rule = BINARY[name]
    a, b = samples(dtype, (3, 50), 3), samples(dtype, (3, 50), 4)
    want = apply_model(rule, a, b, dtype=dtype)
    ufunc = getattr(corvane, name)

    inplace = a.copy()
    assert ufunc(inplace, b, out=inplace) is inplace
    np.testing.assert_array_equal(inplace, want)

    second = b.copy()
    ufunc(a, second, out=second)
    np.testing.assert_array_equal(second, want)

    # Output one sample ahead of the input it overlaps: NumPy must not let the
    # loop read what it has already written.
    buf = np.concatenate([a[0], a[0][-1:]])
    ufunc(buf[:-1], b[0], out=buf[1:])
    np.testing.assert_array_equal(buf[1:], want[0])

    mask = samples(np.int8, (3, 50), 5) > 0
    out = np.full(a.shape, 7, dtype)
    ufunc(a, b, out=out, where=mask)
    np.testing.assert_array_equal(out, np.where(mask, want, 7))


@pytest.mark.parametrize("name", BINARY)
def test_reduce_and_accumulate_fold_in_order(name):
    # The loop's output overlaps its first input here (stride 0 for reduce,
    # one sample behind for accumulate): each result must feed the next.
    dtype, rule = BINARY[name]
    x = samples(dtype, (4, 30), 6)
    ufunc = getattr(corvane, name)
    assert ufunc.reduce(x, axis=1).tolist() == [functools.reduce(rule, row) for row in x.tolist()]
    want = [list(itertools.accumulate(row, rule)) for row in x.tolist()]
    assert ufunc.accumulate(x, axis=1).tolist() == want


def test_type_resolution_is_numpys():
    a = np.array([100, -128, 127], np.int8)
    assert corvane.add_q15(a, a).tolist() == [200, -256, 254]
    assert corvane.shl_q15(np.int16(3), np.int8(2)) == 12
    refused = [
        (corvane.add_q15, np.ones(2, np.int16), np.ones(2, np.float32)),
        (corvane.add_q15, np.ones(2, np.int16), np.ones(2, np.int32)),
        (corvane.mul_q8, np.ones(2, np.int8), np.ones(2, np.int16)),
        (corvane.shl_q15, np.ones(2, np.int16), np.ones(2, np.uint64)),
        (corvane.dot_q15, np.ones(2, np.int16), np.ones(2, np.float64)),
    ]
    for ufunc, x, y in refused:
        with pytest.raises(TypeError, match=ufunc.__name__):
            ufunc(x, y)


@pytest.mark.skipif(np.lib.NumpyVersion(np.__version__) < "2.0.0",
                    reason="NumPy 1.x promotes an out-of-range Python integer instead")
def test_python_integer_out_of_range_refused_by_numpy():
    with pytest.raises(OverflowError):
        corvane.add_q8(np.zeros(3, np.int8), 200)


# Every shift count whose result differs by regime: the ends of the int range,
# both sides of each threshold, and every count from -3 to 70.
COUNTS = np.array(sorted({INT_MIN, INT_MIN + 1, 100, 1 << 20, INT_MAX} | set(range(-3, 71))), np.int32)
ALL_SAMPLES = {np.int16: np.arange(-32768, 32768, dtype=np.int16),
               np.int8: np.arange(-128, 128, dtype=np.int8)}


def i64_samples():
    edges = [0, 1, -1, 2, -3, (1 << 62) - 1, 1 << 62, -(1 << 62), (1 << 63) - 1, -(1 << 63),
             (1 << 63) - (1 << 40), -(1 << 63) + 1]
    return np.concatenate([np.array(edges, np.int64), samples(np.int64, 200, 7)])


@pytest.mark.parametrize("name", SHIFTS)
def test_per_sample_count_equals_kernel_at_every_count(name):
    """Counts varying along the samples (the per-sample rule) against the
    kernel of corvane.arith, one call per count, and the broadcast count."""
    dtype, _ = SHIFTS[name]
    x = ALL_SAMPLES[dtype] if dtype in ALL_SAMPLES else i64_samples()
    ufunc, kernel = getattr(corvane, name), getattr(arith, name)
    per_sample = ufunc(x[:, None], COUNTS[None, :])
    for j, s in enumerate(COUNTS.tolist()):
        want = kernel(x, s)
        np.testing.assert_array_equal(per_sample[:, j], want, err_msg=f"count {s}")
        np.testing.assert_array_equal(ufunc(x, np.int32(s)), want, err_msg=f"count {s}")


@pytest.mark.parametrize("name", SHIFTS)
def test_shift_counts_broadcast_per_channel_and_per_sample(name):
    dtype, rule = SHIFTS[name]
    x = samples(dtype, (5, 24), 8)
    per_channel = np.array([[0], [1], [3], [15], [70]], np.int32)
    per_sample = np.arange(-2, 22, dtype=np.int32)
    every = np.random.default_rng(9).integers(-4, 70, (5, 24), dtype=np.int32)
    cases = [(x, per_channel), (x, per_sample), (x[:, ::-3], per_channel),
             (x.T, per_channel[:, 0]), (unaligned(x), every[:, ::-1])]
    ufunc = getattr(corvane, name)
    for a, counts in cases:
        np.testing.assert_array_equal(ufunc(a, counts), apply_model(rule, a, counts, dtype=dtype))


def dot_model(a, b, bits):
    """Model inner products over the last axis of the broadcast operands."""
    a, b = np.broadcast_arrays(a, b)
    outer = a.shape[:-1]
    rows = zip(a.reshape(-1, a.shape[-1]).tolist(), b.reshape(-1, b.shape[-1]).tolist()) if a.size else []
    sums = [model.dot(x, y, bits) for x, y in rows] or [0] * int(np.prod(outer))
    return np.array(sums, dtype=np.int64).reshape(outer)


DOT_LAYOUTS = {
    "rows": lambda m, v: (m, m[::-1]),
    "taps_broadcast": lambda m, v: (m, v),
    "strided_core": lambda m, v: (m[:, ::-1], m[:, ::1]),
    "columns": lambda m, v: (m.T, m.T[:, ::-1]),
    "unaligned": lambda m, v: (unaligned(m), v),
    "empty_core": lambda m, v: (m[:, :0], v[:0]),
    "empty_outer": lambda m, v: (m[:0], v),
}


@pytest.mark.parametrize("layout", DOT_LAYOUTS)
@pytest.mark.parametrize("name", DOTS)
def test_dot_every_layout_matches_model(name, layout):
    dtype, result, bits = DOTS[name]
    # Longer rows than one gather buffer, so the strided path adds chunks.
    a, b = DOT_LAYOUTS[layout](samples(dtype, (5, 1100), 9), samples(dtype, (1100,), 10))
    got = getattr(corvane, name)(a, b)
    assert got.dtype == result
    np.testing.assert_array_equal(got, dot_model(a, b, bits))


@pytest.mark.parametrize("name", DOTS)
def test_dot_over_windows_and_axes(name):
    dtype, result, bits = DOTS[name]
    x, taps = samples(dtype, 300, 11), samples(dtype, 7, 12)
    windows = np.lib.stride_tricks.sliding_window_view(x, 7)
    ufunc = getattr(corvane, name)
    np.testing.assert_array_equal(ufunc(windows, taps), dot_model(windows, taps, bits))
    np.testing.assert_array_equal(ufunc(windows[::-2, ::-1], taps), dot_model(windows[::-2, ::-1], taps, bits))
    m = samples(dtype, (9, 4), 13)
    np.testing.assert_array_equal(ufunc(m, m, axes=[(0,), (0,), ()]), dot_model(m.T, m.T, bits))
    out = np.zeros(4, result)
    ufunc(m, m[::-1], axes=[(0,), (0,), ()], out=out)
    np.testing.assert_array_equal(out, dot_model(m.T, m[::-1].T, bits))


def test_dot_sums_wrap_at_their_width():
    n = (1 << 17) + 3  # -128 * -128 = 2**14, summed past 2**31
    q8 = np.full(n, -128, np.int8)
    assert corvane.dot_q8(q8, q8) == model.dot([-128] * n, [-128] * n, 32)
    assert corvane.dot_q8(q8[::2], q8[::2]) == model.dot([-128] * len(q8[::2]), [-128] * len(q8[::2]), 32)
    q15 = np.full(5, -32768, np.int16)
    assert corvane.dot_q15(q15, q15) == 5 << 30


@pytest.mark.parametrize("name", list(BINARY) + list(SHIFTS) + list(DOTS))
def test_ufunc_identity_and_pickle(name):
    ufunc = getattr(corvane, name)
    assert isinstance(ufunc, np.ufunc) and ufunc.__name__ == name
    assert ufunc is getattr(corvane._ufuncs, name)
    assert (ufunc.nin, ufunc.nout) == (2, 1)
    assert ufunc.signature == ("(n),(n)->()" if name in DOTS else None)
    assert ufunc.__doc__.startswith(name + "(")
    examples = doctest.DocTestParser().get_doctest(ufunc.__doc__, {"np": np, name: ufunc}, name, None, 0)
    runner = doctest.DocTestRunner()
    runner.run(examples, out=lambda s: pytest.fail(s))
    assert runner.tries == 1 and runner.failures == 0
    # Dask's distributed scheduler ships the ufunc to workers by pickling it.
    assert pickle.loads(pickle.dumps(ufunc)) is ufunc
