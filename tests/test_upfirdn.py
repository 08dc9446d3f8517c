"""upfirdn_q15 / upfirdn_q8 and the streaming FirFilter against the zero-stuffing model."""
import copy
import itertools
import pickle

import numpy as np
import pytest

import corvane
import model

KINDS = {"q15": (corvane.upfirdn_q15, np.int16, 15, 16, 64), "q8": (corvane.upfirdn_q8, np.int8, 7, 8, 32)}


def samples(dtype, n, fill, seed):
    info = np.iinfo(dtype)
    if fill == "min":
        return np.full(n, info.min, dtype)
    if fill == "max":
        return np.full(n, info.max, dtype)
    if fill == "small":  # the taps of a designed filter, |tap| <= 6553
        return samples(dtype, n, "random", seed) // 5
    if fill == "alternating":
        return np.where(np.arange(n) % 2 == 0, info.min, info.max).astype(dtype)
    return np.random.default_rng(seed).integers(info.min, info.max, n, dtype, endpoint=True)


def expect(kind, h, x, up, down, shift, rounding="nearest", overflow="saturate"):
    _, dtype, _, bits, acc = KINDS[kind]
    return np.array(model.upfirdn(h.tolist(), x.tolist(), up, down, shift, bits, rounding, overflow, acc), dtype)


def cases():
    """Every up and down to 7; taps shorter and longer than up; lengths around
    the vector blocks; every mode, extreme samples and taps in turn."""
    lengths = itertools.cycle([1, 15, 17, 31, 33, 64, 65, 100])
    fills = itertools.cycle(["random", "random", "min", "max", "alternating"])
    modes = itertools.cycle(itertools.product(model.ROUNDINGS, model.OVERFLOWS))
    for i, (up, down) in enumerate(itertools.product(range(1, 8), repeat=2)):
        ntaps = [1, max(up - 1, 1), up + 1, 3 * up + 2, 40][i % 5]
        yield ("q15" if i % 3 else "q8", up, down, ntaps, next(lengths), next(fills), *next(modes))
    # Past one pass of the driver, with the benchmarks' shapes.
    yield ("q15", 1, 4, 31, 9001, "random", "nearest", "saturate")
    yield ("q15", 3, 2, 48, 3001, "random", "floor", "wrap")
    yield ("q15", 4, 1, 48, 1500, "alternating", "convergent", "saturate")
    # Decimating by 2, 4 and 8 with small taps, over several chunks.
    yield ("q15", 1, 2, 31, 12000, "small", "floor", "wrap")
    yield ("q15", 1, 4, 31, 9001, "small", "convergent", "saturate")
    yield ("q15", 1, 8, 61, 20000, "small", "round", "saturate")


@pytest.mark.parametrize("kind,up,down,ntaps,n,fill,rounding,overflow", list(cases()))
def test_matches_model(kind, up, down, ntaps, n, fill, rounding, overflow):
    fn, dtype, shift, _, _ = KINDS[kind]
    x = samples(dtype, n, "random" if fill == "small" else fill, n)
    h = samples(dtype, ntaps, "random" if fill == "random" else fill, ntaps)
    want = expect(kind, h, x, up, down, shift, rounding, overflow)
    y = fn(h, x, up, down, rounding=rounding, overflow=overflow)
    assert y.dtype == dtype
    np.testing.assert_array_equal(y, want)
    f = corvane.FirFilter(h.astype(np.int16), shift, up=up, down=down, rounding=rounding, overflow=overflow)
    if kind == "q15":  # the same stream in uneven blocks
        cuts = sorted({0, min(1, n), min(2, n), n // 3, min(n // 3 + down, n), n})
        parts = [f(x[lo:hi]) for lo, hi in zip(cuts, cuts[1:])]
        np.testing.assert_array_equal(np.concatenate(parts), want)


# Full-scale taps, and the small ones of a designed filter (|tap| <= 6553).
@pytest.mark.parametrize("up,down,ntaps,tap_scale", [(1, 1, 4, 1), (1, 3, 5, 1), (3, 1, 7, 1), (3, 2, 8, 1),
                                                     (2, 4, 3, 1), (5, 3, 11, 1), (1, 2, 9, 5), (1, 4, 5, 5),
                                                     (1, 8, 3, 5), (1, 4, 6, 1)])
def test_every_block_split_equals_one_pass(up, down, ntaps, tap_scale):
    x, h = samples(np.int16, 8, "random", 1), samples(np.int16, ntaps, "random", 2) // tap_scale
    want = corvane.upfirdn_q15(h, x, up, down)
    np.testing.assert_array_equal(want, expect("q15", h, x, up, down, 15))
    f = corvane.FirFilter(h, up=up, down=down)
    for cuts in itertools.product([False, True], repeat=len(x) - 1):
        bounds = [0] + [i + 1 for i, cut in enumerate(cuts) if cut] + [len(x)]
        f.reset()
        parts = [f(x[lo:hi]) for lo, hi in zip(bounds, bounds[1:])]
        assert f(x[:0]).shape == (0,)
        np.testing.assert_array_equal(np.concatenate(parts), want)


@pytest.mark.parametrize("axis", [0, 1, 2, -1])
@pytest.mark.parametrize("up,down", [(1, 2), (3, 2)])
def test_channels_along_axis(axis, up, down):
    x = samples(np.int16, 3 * 4 * 29, "random", 3).reshape(3, 4, 29)
    x = np.moveaxis(x, -1, axis)
    h = samples(np.int16, 9, "random", 4)
    lanes = np.moveaxis(x, axis, -1)
    want = np.stack([expect("q15", h, lane, up, down, 15) for lane in lanes.reshape(-1, 29)])
    want = np.moveaxis(want.reshape(lanes.shape[:-1] + (-1,)), -1, axis)
    np.testing.assert_array_equal(corvane.upfirdn_q15(h, x, up, down, axis=axis), want)
    f = corvane.FirFilter(h, up=up, down=down, axis=axis)
    first = f(x.take(range(10), axis=axis))
    later = copy.deepcopy(f), pickle.loads(pickle.dumps(f)), copy.copy(f), f
    rest = x.take(range(10, 29), axis=axis)
    for g in later:  # each continues on its own from the same state
        np.testing.assert_array_equal(np.concatenate([first, g(rest)], axis=axis), want)
    with pytest.raises(ValueError, match="channels"):
        f(x.take(range(3), axis=axis)[:1] if axis != 0 else x[:, :1])


def _big(shape):
    return samples(np.int16, int(np.prod(shape)), "random", 5).reshape(shape)


@pytest.mark.parametrize("x", [
    _big((5, 90))[1:4, 7:60],            # channels a row apart, read in place
    _big((5, 90))[::-2, 3:50],           # backwards
    _big((3, 8, 70))[:, ::2, 5:40],      # leading dimensions that step as one
    _big((4, 3, 70))[::2, :, :41],       # ones that do not: copied
    _big((3, 2, 70))[:, :1, 2:66],       # a dimension of one channel
    np.broadcast_to(_big((1, 45)), (3, 45)),  # one channel read three times
    _big((3, 90))[:, ::2],               # samples not adjacent: copied
], ids=["rows", "backwards", "steps", "gaps", "single", "broadcast", "strided"])
@pytest.mark.parametrize("up,down", [(1, 1), (1, 4), (2, 3)])
def test_channels_sliced_from_a_longer_signal(x, up, down):
    h = samples(np.int16, 13, "random", 6) // 4
    want = np.stack([expect("q15", h, lane, up, down, 15) for lane in x.reshape(-1, x.shape[-1])])
    want = want.reshape(x.shape[:-1] + (-1,))
    np.testing.assert_array_equal(corvane.upfirdn_q15(h, x, up, down), want)
    f = corvane.FirFilter(h, up=up, down=down)
    parts = [f(x[..., lo:hi]) for lo, hi in ((0, 7), (7, 30), (30, x.shape[-1]))]
    np.testing.assert_array_equal(np.concatenate(parts, axis=-1), want)


@pytest.mark.parametrize("call,error", [
    (lambda: corvane.upfirdn_q15([1], [1], 0), ValueError),
    (lambda: corvane.upfirdn_q15([1], [1], down=-2), ValueError),
    (lambda: corvane.upfirdn_q15(np.zeros(0, np.int16), [1]), ValueError),
    (lambda: corvane.upfirdn_q15([1], [1.5]), TypeError),
    (lambda: corvane.upfirdn_q15([1], [1], rounding="up"), ValueError),
    (lambda: corvane.upfirdn_q15([1], [1], overflow=1), TypeError),
    (lambda: corvane.upfirdn_q15([1], [[1]], axis=2), np.exceptions.AxisError if hasattr(np, "exceptions") else np.AxisError),
    (lambda: corvane.FirFilter([1], up=0), ValueError),
    (lambda: corvane.FirFilter([1])([1], [2]), TypeError),
    (lambda: corvane.FirFilter([1 << 15]), ValueError),
])
def test_bad_arguments(call, error):
    with pytest.raises(error):
        call()
