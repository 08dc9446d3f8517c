"""The six elementwise functions through the Python layer, against the model."""
import itertools

import numpy as np
import pytest

import model
from corvane import arith

# name: (dtype, element rule of the model)
OPS = {
    "add_q15": (np.int16, lambda a, b: model.add(a, b, model.Q15)),
    "sub_q15": (np.int16, lambda a, b: model.sub(a, b, model.Q15)),
    "mul_q15": (np.int16, lambda a, b: model.mul(a, b, model.Q15)),
    "add_q8": (np.int8, lambda a, b: model.add(a, b, model.Q8)),
    "sub_q8": (np.int8, lambda a, b: model.sub(a, b, model.Q8)),
    "mul_q8": (np.int8, lambda a, b: model.mul(a, b, model.Q8)),
}
Q8_OPS = [n for n in OPS if n.endswith("q8")]
Q15_OPS = [n for n in OPS if n.endswith("q15")]

Q15_EDGES = [-32768, -32767, -32766, -16385, -16384, -16383, -256, -3, -2, -1,
             0, 1, 2, 3, 255, 16383, 16384, 16385, 32766, 32767]


def expected(name, a, b):
    dtype, rule = OPS[name]
    return np.array([rule(int(x), int(y)) for x, y in zip(a, b)], dtype=dtype)


def check(name, a, b):
    got = getattr(arith, name)(a, b)
    assert got.dtype == OPS[name][0] and got.ndim == 1
    np.testing.assert_array_equal(got, expected(name, a, b))


def random_samples(dtype, count, seed):
    info = np.iinfo(dtype)
    return np.random.default_rng(seed).integers(info.min, info.max, count, dtype=dtype, endpoint=True)


# Known answers, also checking the model itself: saturation ends, the one
# product that reaches the clamp, and round-half-up ties on both signs.
@pytest.mark.parametrize("name,a,b,want", [
    ("add_q15", [32767, -32768, 100, 20000], [1, -1, 50, 20000], [32767, -32768, 150, 32767]),
    ("sub_q15", [-32768, 0, -1, 100], [-32768, -32768, 32767, 50], [0, 32767, -32768, 50]),
    ("mul_q15", [-32768, -32768, 32767, 1, -1, 3, -3, -1],
                [-32768, 32767, 32767, 16384, 16384, 16384, 16384, 16385],
                [32767, -32767, 32766, 1, 0, 2, -1, -1]),
    ("add_q8", [127, -128, 50, 100], [1, -1, 50, 30], [127, -128, 100, 127]),
    ("sub_q8", [0, -128, 50, -128], [-128, -128, 30, 10], [127, 0, 20, -128]),
    ("mul_q8", [-128, -128, 127, 1, -1, 64, 64], [-128, 127, 127, 64, 64, 64, -64],
               [127, -127, 126, 1, 0, 32, -32]),
])
def test_known_answers(name, a, b, want):
    dtype = OPS[name][0]
    assert expected(name, a, b).tolist() == want
    # Repeated past one block so that the vector path sees every pair too.
    reps = 80
    got = getattr(arith, name)(np.array(a * reps, dtype), np.array(b * reps, dtype))
    assert got.tolist() == want * reps


@pytest.mark.parametrize("name", Q8_OPS)
def test_q8_every_pair(name):
    values = np.arange(-128, 128, dtype=np.int8)
    a = np.repeat(values, 256)
    b = np.tile(values, 256)
    check(name, a, b)
    # The same pairs one by one, so each also goes through the scalar rule.
    check(name, a[:7], b[:7])
    got = [int(getattr(arith, name)(int(x), int(y))[0]) for x, y in zip(a[::97], b[::97])]
    assert got == expected(name, a[::97], b[::97]).tolist()


@pytest.mark.parametrize("name", Q15_OPS)
def test_q15_edge_pairs_and_random_sample(name):
    pairs = list(itertools.product(Q15_EDGES, repeat=2))
    a = np.array([p[0] for p in pairs], np.int16)
    b = np.array([p[1] for p in pairs], np.int16)
    check(name, a, b)
    got = [int(getattr(arith, name)(int(x), int(y))[0]) for x, y in pairs]
    assert got == expected(name, a, b).tolist()
    check(name, random_samples(np.int16, 200_000, 1), random_samples(np.int16, 200_000, 2))


@pytest.mark.parametrize("name", OPS)
def test_lengths_on_odd_offset_views(name):
    dtype = OPS[name][0]
    base_a = random_samples(dtype, 5000, 3)
    base_b = random_samples(dtype, 5000, 4)
    for n in itertools.chain(range(141), (255, 256, 257, 1023, 1025, 4099)):
        for off_a, off_b in ((1, 3), (7, 0), (0, 5)):
            check(name, base_a[off_a:off_a + n], base_b[off_b:off_b + n])


@pytest.mark.parametrize("name", Q15_OPS)
@pytest.mark.parametrize("n", [1, 31, 33, 64, 200])
def test_q15_samples_at_odd_byte_addresses(name, n):
    raw_a = random_samples(np.uint8, 2 * n + 1, n).tobytes()
    raw_b = random_samples(np.uint8, 2 * n + 1, n + 1).tobytes()
    a = np.frombuffer(raw_a, np.int16, n, offset=1)
    b = np.frombuffer(raw_b, np.int16, n, offset=1)
    assert not a.flags.aligned  # passed through without a copy: the kernel sees odd addresses
    check(name, a, b)


@pytest.mark.parametrize("name", OPS)
def test_array_likes(name):
    dtype = OPS[name][0]
    func = getattr(arith, name)
    a = random_samples(dtype, 24, 5)
    b = random_samples(dtype, 24, 6)
    flat = func(a, b)
    np.testing.assert_array_equal(flat, expected(name, a, b))
    assert func(a.tolist(), b.tolist()).tolist() == flat.tolist()
    # 2-D: read flat in C order whatever the layout; b of another shape pairs by C order.
    assert func(a.reshape(4, 6), b.reshape(3, 8)).tolist() == flat.tolist()
    fortran = np.asfortranarray(a.reshape(4, 6))
    assert func(fortran, b).tolist() == flat.tolist()
    strided = np.empty(48, dtype)
    strided[::2] = a
    assert func(strided[::2], b).tolist() == flat.tolist()
    # 0-d inputs count as one element.
    scalar = func(np.array(a[0]), int(b[0]))
    assert scalar.shape == (1,) and scalar.dtype == dtype and scalar[0] == flat[0]


def test_int8_widens_for_q15_and_wide_types_refused():
    a = np.array([100, -128, 127], np.int8)
    got = arith.add_q15(a, a)
    assert got.dtype == np.int16 and got.tolist() == [200, -256, 254]
    with pytest.raises(TypeError):
        arith.add_q15(np.array([1, 2], np.int64), np.array([1, 2], np.int16))
    with pytest.raises(TypeError):
        arith.mul_q8(np.array([1, 2], np.int8), np.array([1, 2], np.int16))


@pytest.mark.skipif(np.lib.NumpyVersion(np.__version__) < "2.0.0",
                    reason="NumPy 1.x wraps (1.24+: with a DeprecationWarning) out-of-range Python integers")
def test_python_integer_out_of_range_refused_by_numpy():
    with pytest.raises(OverflowError):
        arith.add_q8([200], [1])


@pytest.mark.parametrize("name", OPS)
def test_inputs_unchanged_read_only_accepted_result_new(name):
    dtype = OPS[name][0]
    a = random_samples(dtype, 100, 7)
    b = random_samples(dtype, 100, 8)
    a.flags.writeable = False
    keep_a, keep_b = a.copy(), b.copy()
    got = getattr(arith, name)(a, b)
    np.testing.assert_array_equal(a, keep_a)
    np.testing.assert_array_equal(b, keep_b)
    assert not np.shares_memory(got, a) and not np.shares_memory(got, b)
    np.testing.assert_array_equal(got, expected(name, keep_a, keep_b))


def test_arguments():
    x = np.array([1, 2, 3], np.int16)
    y = np.array([30000, 5, -7], np.int16)
    assert arith.add_q15(a=x, b=y).tolist() == arith.add_q15(x, y).tolist()
    assert arith.sub_q15(x, b=y).tolist() == [-29999, -3, 10]
    for bad_args, bad_kwargs in (((x,), {}), ((x, y, x), {}), ((x,), {"c": y}), ((x, y), {"a": x}), ((), {})):
        with pytest.raises(TypeError):
            arith.add_q15(*bad_args, **bad_kwargs)


@pytest.mark.parametrize("name", OPS)
def test_empty_input(name):
    dtype = OPS[name][0]
    func = getattr(arith, name)
    for a, b in (([], []), (np.empty(0, dtype), np.arange(5, dtype=dtype)), (np.empty((3, 0), dtype), [])):
        got = func(a, b)
        assert got.dtype == dtype and got.shape == (0,)


@pytest.mark.parametrize("name", OPS)
@pytest.mark.parametrize("na,nb", [(5, 3), (40, 1), (100, 33), (300, 0)])
def test_shorter_b_leaves_zero_tail(name, na, nb):
    dtype = OPS[name][0]
    func = getattr(arith, name)
    a = random_samples(dtype, na, na)
    b = random_samples(dtype, nb, nb)
    for _ in range(3):
        # Hand the allocator a dirty block of the output's size to reuse.
        dirty = np.full(na, -1, dtype)
        del dirty
        got = func(a, b)
        assert got.shape == (na,)
        np.testing.assert_array_equal(got[:nb], expected(name, a, b))
        assert not got[nb:].any()


@pytest.mark.parametrize("name", OPS)
def test_longer_b_surplus_ignored(name):
    dtype = OPS[name][0]
    a = random_samples(dtype, 50, 9)
    b = random_samples(dtype, 77, 10)
    got = getattr(arith, name)(a, b)
    assert got.shape == (50,)
    np.testing.assert_array_equal(got, expected(name, a, b[:50]))

