"""Inner products: exact sums at every block boundary, the wrap cases, the Python layer."""
import numpy as np
import pytest

import model
from corvane.arith import dot_q15, dot_q8

DOTS = [(dot_q15, np.int16, 64), (dot_q8, np.int8, 32)]
DOT_IDS = ["dot_q15", "dot_q8"]
# Block steps are 8 and 32 samples for Q15, 8, 16 and 32 for Q8.
LENGTHS = sorted({m * k + e for m in (8, 16, 32) for k in (1, 2, 3) for e in (-1, 0, 1)}
                 | {0, 1, 2, 3, 4, 5, 127, 128, 129, 4099})


def filled(dtype, n, fill, rng):
    info = np.iinfo(dtype)
    if fill == "random":
        return (rng.integers(info.min, info.max, n, dtype=dtype, endpoint=True),
                rng.integers(info.min, info.max, n, dtype=dtype, endpoint=True))
    if fill == "most negative":
        return np.full(n, info.min, dtype=dtype), np.full(n, info.min, dtype=dtype)
    ends = np.array([info.min, info.max, info.min + 1], dtype=dtype)
    return rng.choice(ends[:2], n), rng.choice(ends, n)


@pytest.mark.parametrize("fill", ["random", "most negative", "extremes"])
@pytest.mark.parametrize("fn,dtype,acc_bits", DOTS, ids=DOT_IDS)
def test_lengths_around_blocks_match_model(fn, dtype, acc_bits, fill):
    rng = np.random.default_rng(11)
    for n in LENGTHS:
        a, b = filled(dtype, n, fill, rng)
        assert fn(a, b) == model.dot(a.tolist(), b.tolist(), acc_bits), n


@pytest.mark.parametrize("n,expected", [(131071, 2147467264), (131072, -2147483648), (131073, -2147467264)])
def test_dot_q8_wraps_at_32_bits(n, expected):
    a = np.full(n, -128, dtype=np.int8)
    assert model.dot(a.tolist(), a.tolist(), 32) == expected
    assert dot_q8(a, a) == expected


def test_dot_q8_long_random_sum_wraps_like_model():
    rng = np.random.default_rng(5)
    a = rng.choice(np.array([-128, 127, -127], dtype=np.int8), 400_003)
    b = rng.choice(np.array([-128, 127], dtype=np.int8), 400_003)
    assert dot_q8(a, b) == model.dot(a.tolist(), b.tolist(), 32)


def test_dot_q15_beyond_32_bits_exact():
    a = np.full(65536, -32768, dtype=np.int16)
    assert dot_q15(a, a) == 1 << 46
    assert dot_q15(a[:4], a[:4]) == 4294967296
    assert dot_q15([-32768], [32767]) == -1073709056


@pytest.mark.parametrize(
    "fn,a,b,expected",
    [
        (dot_q15, [100, 200, 300], [1, 2, 3], 1400),
        (dot_q8, [10, 20, 30], [1, 2, 3], 140),
        (dot_q15, [1, 2, 3], [1, 1], 3),
        (dot_q8, [1, 1], [1, 2, 3], 3),
        (dot_q8, [-128], [-128], 16384),
        (dot_q15, [16384, 16384], [16384, 16384], 536870912),
        (dot_q15, [], [], 0),
        (dot_q8, [], [5, 6], 0),
    ],
)
def test_documented_values(fn, a, b, expected):
    got = fn(a, b)
    assert type(got) is int
    assert got == expected


@pytest.mark.parametrize("fn,dtype,acc_bits", DOTS, ids=DOT_IDS)
def test_python_layer_argument_forms(fn, dtype, acc_bits):
    a = np.array([[3, -4, 5], [6, -7, 8]], dtype=dtype)
    b = np.array([[1, 2, 3], [-4, 5, 6]], dtype=dtype)
    flat = model.dot(a.ravel().tolist(), b.ravel().tolist(), acc_bits)
    assert fn(a, b) == fn(a=a, b=b) == fn(a, b=b) == flat
    assert fn(np.asfortranarray(a), b) == flat
    assert fn(a.tolist(), b.tolist()) == flat
    assert fn(np.array(7, dtype=dtype), np.array([9, 100], dtype=dtype)) == 63
    assert fn(7, [9]) == 63
    with pytest.raises(TypeError):
        fn(a)
    with pytest.raises(TypeError):
        fn(a, b, c=1)


@pytest.mark.parametrize("fn,dtype,acc_bits", DOTS, ids=DOT_IDS)
def test_inputs_never_modified(fn, dtype, acc_bits):
    rng = np.random.default_rng(3)
    a, b = filled(dtype, 1000, "random", rng)
    before = a.copy(), b.copy()
    fn(a, b)
    fn(a, a)
    assert np.array_equal(a, before[0]) and np.array_equal(b, before[1])
