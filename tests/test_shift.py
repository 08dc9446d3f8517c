"""Shift functions: every sample at every interesting count, and the Python layer."""
import numpy as np
import pytest

import model
from corvane import arith

INT_MIN = -(1 << 31)
INT_MAX = (1 << 31) - 1
COUNTS = [INT_MIN, -1, 0, 1, 2, 7, 8, 9, 14, 15, 16, 17, 31, 32, 62, 63, 64, INT_MAX]
# The sample shifts take every count of their scaling ranges as its own case.
SAMPLE_COUNTS = sorted(set(COUNTS) | set(range(1, 17)))

Q15_ALL = np.arange(-32768, 32768, dtype=np.int16)
Q8_ALL = np.arange(-128, 128, dtype=np.int8)

SAMPLE_SHIFTS = [
    ("shl_q15", Q15_ALL, lambda x, s: model.shl_sat(x, s, model.Q15)),
    ("shr_q15", Q15_ALL, lambda x, s: model.shr_round(x, s, model.Q15)),
    ("shl_q8", Q8_ALL, lambda x, s: model.shl_sat(x, s, model.Q8)),
    ("shr_q8", Q8_ALL, lambda x, s: model.shr_round(x, s, model.Q8)),
]

I64_EDGES = [
    0, 1, -1, 2, -2, 3, -3, 100, -200,
    (1 << 61), (1 << 61) - 1, -(1 << 61), -(1 << 61) - 1,
    (1 << 62), (1 << 62) - 1, -(1 << 62),
    (1 << 63) - 1, -(1 << 63), -(1 << 63) + 1,
    (1 << 63) - (1 << 61), (1 << 32), -(1 << 32), (1 << 31) - 1, -(1 << 31),
]


def i64_inputs():
    rng = np.random.default_rng(20240613)
    spread = rng.integers(-(1 << 63), (1 << 63) - 1, 200, dtype=np.int64, endpoint=True)
    small = rng.integers(-(1 << 20), 1 << 20, 56, dtype=np.int64)
    return np.concatenate([np.array(I64_EDGES, dtype=np.int64), spread, small])


@pytest.mark.parametrize("s", SAMPLE_COUNTS)
@pytest.mark.parametrize("name,samples,rule", SAMPLE_SHIFTS, ids=[f[0] for f in SAMPLE_SHIFTS])
def test_every_sample_matches_model(name, samples, rule, s):
    got = getattr(arith, name)(samples, s)
    expected = [rule(x, s) for x in samples.tolist()]
    assert got.dtype == samples.dtype
    assert got.tolist() == expected


@pytest.mark.parametrize("s", COUNTS)
@pytest.mark.parametrize("name,rule", [("shl_i64", model.shl_i64), ("shr_i64", model.shr_i64)])
def test_int64_matches_model(name, rule, s):
    a = i64_inputs()
    got = getattr(arith, name)(a, s)
    assert got.dtype == np.int64
    assert got.tolist() == [rule(x, s) for x in a.tolist()]


@pytest.mark.parametrize(
    "name,values,s,expected",
    [
        ("shl_q15", [8192, 16384, 20000], 1, [16384, 32767, 32767]),
        ("shr_q15", [100, 101, 102, -100], 2, [25, 25, 26, -25]),
        ("shl_q8", [10, 50, 64], 1, [20, 100, 127]),
        ("shr_q8", [10, 11, 12, -10], 2, [3, 3, 3, -2]),
        ("shl_i64", [100, 200, -200], 3, [800, 1600, -1600]),
        ("shl_i64", [1, 2, 3], 62, [1 << 62, -(1 << 63), -(1 << 62)]),
        ("shl_i64", [1, -1, 1 << 40], 63, [0, 0, 0]),
        ("shr_i64", [536870912], 15, [16384]),
        ("shr_i64", [(1 << 63) - 1], 1, [-(1 << 62)]),
        ("shr_i64", [(1 << 63) - (1 << 61)], 62, [-2]),
        ("shr_q15", [16384, 16383, -16384, -16385, 32767, -32768], 15, [1, 0, 0, -1, 1, -1]),
        ("shr_q8", [64, 63, -64, -65], 7, [1, 0, 0, -1]),
    ],
)
def test_documented_values(name, values, s, expected):
    assert getattr(arith, name)(values, s).tolist() == expected


SHIFT_TYPES = [
    ("shl_q15", np.int16), ("shr_q15", np.int16), ("shl_q8", np.int8),
    ("shr_q8", np.int8), ("shl_i64", np.int64), ("shr_i64", np.int64),
]
SHIFT_IDS = [f[0] for f in SHIFT_TYPES]


@pytest.mark.parametrize("name,dtype", SHIFT_TYPES, ids=SHIFT_IDS)
def test_count_by_keyword(name, dtype):
    fn = getattr(arith, name)
    a = np.array([3, -5, 7, 0], dtype=dtype)
    assert fn(a, n=2).tolist() == fn(a, 2).tolist() == fn(a=a, n=2).tolist()


@pytest.mark.parametrize("name,dtype", SHIFT_TYPES, ids=SHIFT_IDS)
@pytest.mark.parametrize("n,error", [(1 << 31, OverflowError), (INT_MIN - 1, OverflowError),
                                     (1.0, TypeError), ("1", TypeError)])
def test_count_outside_int_rejected(name, dtype, n, error):
    with pytest.raises(error):
        getattr(arith, name)(np.zeros(3, dtype=dtype), n)


@pytest.mark.parametrize("name,dtype", SHIFT_TYPES, ids=SHIFT_IDS)
def test_zero_d_list_and_empty_inputs(name, dtype):
    fn = getattr(arith, name)
    zero_d = fn(np.array(5, dtype=dtype), 1)
    assert zero_d.shape == (1,) and zero_d.dtype == dtype
    assert zero_d.tolist() == fn(np.array([5], dtype=dtype), 1).tolist()
    assert fn([1, -1, 6], 1).tolist() == fn(np.array([1, -1, 6], dtype=dtype), 1).tolist()
    empty = fn(np.array([], dtype=dtype), 3)
    assert empty.shape == (0,) and empty.dtype == dtype


@pytest.mark.parametrize("name,dtype", SHIFT_TYPES, ids=SHIFT_IDS)
@pytest.mark.parametrize("order", ["C", "F"])
def test_two_d_input_flattened_in_c_order(name, dtype, order):
    fn = getattr(arith, name)
    grid = np.array([[1, -2, 3], [-4, 5, -6]], dtype=dtype, order=order)
    out = fn(grid, 2)
    assert out.shape == (6,)
    assert out.tolist() == fn(grid.ravel(order="C"), 2).tolist()


@pytest.mark.parametrize("name,dtype", SHIFT_TYPES, ids=SHIFT_IDS)
@pytest.mark.parametrize("s", [INT_MIN, 0, 1, 5, 70])
def test_input_never_modified(name, dtype, s):
    rng = np.random.default_rng(7)
    info = np.iinfo(dtype)
    a = rng.integers(info.min, info.max, 300, dtype=dtype, endpoint=True)
    before = a.copy()
    out = getattr(arith, name)(a, s)
    assert np.array_equal(a, before)
    assert not np.shares_memory(a, out)
    if s <= 0:
        assert np.array_equal(out, before)


def test_narrower_arrays_widened():
    assert arith.shl_q15(np.array([1, -1], dtype=np.int8), 15).tolist() == [32767, -32768]
    assert arith.shr_i64(np.array([7, -7], dtype=np.int32), 1).tolist() == [4, -3]


def test_unaligned_view_accepted():
    raw = np.zeros(2 * 40 + 1, dtype=np.uint8)
    view = np.frombuffer(raw.data, dtype=np.int16, count=40, offset=1)
    view_values = np.arange(-20, 20, dtype=np.int16)
    raw[1:] = view_values.view(np.uint8)
    assert arith.shr_q15(view, 1).tolist() == [model.shr_round(x, 1, 16) for x in range(-20, 20)]
