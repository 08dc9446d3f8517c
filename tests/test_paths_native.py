"""Every block path of the elementwise kernels and shifts, called directly.

The exported kernels take only the path this CPU favours; `corvane_path`
hands out each path this build has and this CPU runs, so these checks reach
the others too. The references are NumPy arithmetic on wide integers,
written here from the definitions.
"""
import ctypes

import numpy as np
import pytest

import model
from corvane import arith

LIB = ctypes.CDLL(arith.__file__)
LIB.corvane_path.restype = ctypes.c_void_p
LIB.corvane_path.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
PATH_NAMES = ("scalar", "sse2", "avx2", "avx512bw", "avx512vnni", "neon")

C = ctypes
BINARY_SIG = C.CFUNCTYPE(None, C.c_void_p, C.c_size_t, C.c_void_p, C.c_size_t, C.c_void_p)
SHIFT_SIG = C.CFUNCTYPE(None, C.c_void_p, C.c_size_t, C.c_void_p, C.c_int)


def paths_of(kernel):
    found = [(name, LIB.corvane_path(kernel.encode(), name.encode())) for name in PATH_NAMES]
    return [(name, address) for name, address in found if address]


def path_params(kernels):
    return [pytest.param(k, name, address, id=f"{k}-{name}") for k in kernels for name, address in paths_of(k)]


def clip(x, dtype):
    info = np.iinfo(dtype)
    return np.clip(x, info.min, info.max).astype(dtype)


def ref_binary(kernel, a, b):
    dtype = a.dtype
    x, y = a.astype(np.int64), b.astype(np.int64)
    if kernel.startswith("add"):
        return clip(x + y, dtype)
    if kernel.startswith("sub"):
        return clip(x - y, dtype)
    fraction = 8 * dtype.itemsize - 1
    return clip(np.floor_divide(x * y + 2 ** (fraction - 1), 2 ** fraction), dtype)


def ref_shift(kernel, a, s):
    dtype = a.dtype
    bits = 8 * dtype.itemsize
    x = a.astype(object) if bits == 64 else a.astype(np.int64)
    if kernel.startswith("shl"):
        if bits == 64:
            return np.array([((int(v) << s) + 2 ** 63) % 2 ** 64 - 2 ** 63 for v in x], dtype=dtype)
        return clip(x * 2 ** s, dtype)
    r = 2 ** (s - 1)
    if bits == 64:
        return np.array([((int(v) + r + 2 ** 63) % 2 ** 64 - 2 ** 63) // 2 ** s for v in x], dtype=dtype)
    return np.floor_divide(x + r, 2 ** s).astype(dtype)


DTYPES = {"q15": np.int16, "q8": np.int8, "i64": np.int64}


def dtype_of(kernel):
    return np.dtype(DTYPES[kernel.split("_")[1]])


def at_offset(buf, offset, dtype, n):
    """n samples of dtype inside a byte buffer, starting `offset` bytes in."""
    return np.frombuffer(buf, dtype=dtype, count=n, offset=offset)


def rounding_ties(dtype, rng):
    """Pairs whose exact product lies half an output step from two results."""
    fraction = 8 * dtype.itemsize - 1
    a, b = [], []
    for p in range(fraction):
        u = rng.integers(0, 64, 64) | 1
        v = rng.integers(0, 64, 64) | 1
        x, y = u * 2 ** p, v * 2 ** (fraction - 1 - p)
        keep = (x <= np.iinfo(dtype).max) & (y <= np.iinfo(dtype).max)
        sign = rng.choice([-1, 1], (2, keep.sum()))
        a.append(sign[0] * x[keep])
        b.append(sign[1] * y[keep])
    return np.concatenate(a).astype(dtype), np.concatenate(b).astype(dtype)


@pytest.mark.parametrize("kernel,path,address", path_params(
    ["add_q15", "sub_q15", "mul_q15", "add_q8", "sub_q8", "mul_q8"]))
def test_binary_path_pairs_ties_and_short_lengths(kernel, path, address):
    fn = BINARY_SIG(address)
    dtype = dtype_of(kernel)
    info = np.iinfo(dtype)
    rng = np.random.default_rng(11)
    edges = np.array([info.min, info.min + 1, info.min // 2, -2, -1, 0, 1, 2,
                      info.max // 2, info.max // 2 + 1, info.max - 1, info.max], dtype=dtype)
    ties_a, ties_b = rounding_ties(dtype, rng)
    random_a, random_b = (rng.integers(info.min, info.max, 300_000, dtype=dtype, endpoint=True) for _ in "ab")
    a = np.concatenate([np.repeat(edges, edges.size), ties_a, random_a])
    b = np.concatenate([np.tile(edges, edges.size), ties_b, random_b])
    out = np.empty_like(a)
    fn(a.ctypes.data, a.size, b.ctypes.data, b.size, out.ctypes.data)
    bad = np.flatnonzero(out != ref_binary(kernel, a, b))
    assert bad.size == 0, f"a={a[bad[0]]} b={b[bad[0]]} got {out[bad[0]]}"

    size = dtype.itemsize
    for offset in (1, 3):
        buf = bytearray(3 * 141 * size + 16)
        for n in range(141):
            x = rng.integers(info.min, info.max, n, dtype=dtype, endpoint=True)
            y = rng.integers(info.min, info.max, n, dtype=dtype, endpoint=True)
            buf[:] = b"\xa5" * len(buf)
            base = ctypes.addressof((ctypes.c_char * len(buf)).from_buffer(buf))
            a_at, b_at, out_at = offset, offset + 141 * size + 2, offset + 2 * 141 * size + 4
            at_offset(buf, a_at, dtype, n)[:] = x
            at_offset(buf, b_at, dtype, n)[:] = y
            fn(base + a_at, n, base + b_at, n, base + out_at)
            got = at_offset(buf, out_at, dtype, n)
            assert np.array_equal(got, ref_binary(kernel, x, y)), (n, offset)
            assert set(buf[out_at + n * size:]) <= {0xA5}, (n, offset)


SCALING = {"q15": 15, "q8": 7, "i64": 62}


@pytest.mark.parametrize("kernel,path,address", path_params(
    ["shl_q15", "shr_q15", "shl_q8", "shr_q8", "shl_i64", "shr_i64"]))
def test_shift_path_every_scaling_count_short_lengths(kernel, path, address):
    """Every count of the scaling range at lengths 0-140 and odd addresses:
    the lengths where the block loops leave a remainder to the scalar rule."""
    fn = SHIFT_SIG(address)
    dtype = dtype_of(kernel)
    info = np.iinfo(dtype)
    size = dtype.itemsize
    rng = np.random.default_rng(12)
    for s in range(1, SCALING[kernel.split("_")[1]] + 1):
        for offset in (1, 3):
            n = 140
            x = rng.integers(info.min, info.max, n, dtype=dtype, endpoint=True)
            x[:4] = (info.min, info.max, -1, 0)
            want = ref_shift(kernel, x, s)
            buf = bytearray(2 * n * size + 16)
            a_at, out_at = offset, offset + n * size + 2
            base = ctypes.addressof((ctypes.c_char * len(buf)).from_buffer(buf))
            for length in range(n + 1):
                buf[:] = b"\xa5" * len(buf)
                at_offset(buf, a_at, dtype, length)[:] = x[:length]
                fn(base + a_at, length, base + out_at, s)
                got = at_offset(buf, out_at, dtype, length)
                assert np.array_equal(got, want[:length]), (s, offset, length)
                assert set(buf[out_at + length * size:]) <= {0xA5}, (s, offset, length)


def test_every_kernel_has_a_scalar_path_and_unknown_names_have_none():
    for kernel in ("add_q15", "mul_q8", "dot_q15", "dot_q8", "shl_q15", "shr_i64"):
        assert LIB.corvane_path(kernel.encode(), b"scalar")
    assert not LIB.corvane_path(b"add_q15", b"no-such-path")
    assert not LIB.corvane_path(b"no_such_kernel", b"scalar")


DOT_SIG = {
    "dot_q15": C.CFUNCTYPE(C.c_int64, C.c_void_p, C.c_size_t, C.c_void_p, C.c_size_t),
    "dot_q8": C.CFUNCTYPE(C.c_int32, C.c_void_p, C.c_size_t, C.c_void_p, C.c_size_t),
}
DOT_BITS = {"dot_q15": 64, "dot_q8": 32}


@pytest.mark.parametrize("kernel,path,address", path_params(["dot_q15", "dot_q8"]))
def test_dot_path_lengths_extremes_and_wrap(kernel, path, address):
    """Every length 0-300 at odd addresses, plus the all-minimum pairs whose
    sums overflow a 32-bit lane and wrap the Q8 register."""
    fn = DOT_SIG[kernel](address)
    dtype = dtype_of(kernel)
    info = np.iinfo(dtype)
    bits = DOT_BITS[kernel]
    rng = np.random.default_rng(7)

    def check(a, b):
        exact = int(np.dot(a.astype(object), b.astype(object))) if len(a) else 0
        want = (exact + 2 ** (bits - 1)) % 2 ** bits - 2 ** (bits - 1)
        assert fn(a.ctypes.data, len(a), b.ctypes.data, len(b)) == want

    raw = bytearray(2 * 310 * dtype.itemsize + 8)
    for n in range(301):
        a = at_offset(raw, 1, dtype, n)
        b = at_offset(raw, 3 + n * dtype.itemsize, dtype, n)
        a[:] = rng.integers(info.min, info.max + 1, n)
        b[:] = rng.integers(info.min, info.max + 1, n)
        check(a, b)
    lows = np.full(1 << 17, info.min, dtype)
    check(lows, lows)


FIR_ON = {
    "q15": (LIB.corvane_fir_q15_on, np.int16, 15, 64),
    "q8": (LIB.corvane_fir_q8_on, np.int8, 7, 32),
}
for _fn, *_ in FIR_ON.values():
    _fn.restype = C.c_int
    _fn.argtypes = [C.c_void_p, C.c_void_p, C.c_size_t, C.c_void_p, C.c_size_t, C.c_void_p, C.c_void_p, C.c_int]


@pytest.mark.parametrize("kind", FIR_ON)
@pytest.mark.parametrize("kernel,path,address", path_params(["fir_sums"]))
def test_fir_sums_path_lengths_extremes_and_long_filters(kernel, path, address, kind):
    """fir_q15 / fir_q8 with their sums on each path: every length 0-300 from
    odd addresses with a history, all-minimum taps, and a long all-minimum
    filter whose Q15 sums need 40 bits."""
    fn, dtype, shift, bits = FIR_ON[kind]
    dtype = np.dtype(dtype)
    info = np.iinfo(dtype)
    size = dtype.itemsize
    rng = np.random.default_rng(13)

    def check(x_at, x, taps, history, s):
        n = len(x)
        buf = bytearray((n + len(taps) + len(history)) * size + 16)
        base = ctypes.addressof((ctypes.c_char * len(buf)).from_buffer(buf))
        t_at, h_at = x_at + n * size + 1, x_at + (n + len(taps)) * size + 2
        at_offset(buf, x_at, dtype, n)[:] = x
        at_offset(buf, t_at, dtype, len(taps))[:] = taps
        at_offset(buf, h_at, dtype, len(history))[:] = history
        out = np.full(n + 1, 77, dtype)
        assert fn(address, base + x_at, n, base + t_at, len(taps), base + h_at, out.ctypes.data, s) == 0
        want = model.fir(x.tolist(), taps.tolist(), s, 8 * size, bits, history.tolist())
        assert out[:n].tolist() == want and out[n] == 77, (n, len(taps))

    for n in range(301):
        ntaps = (1, 2, 8, 9, 33)[n % 5]
        taps = rng.integers(info.min, info.max, ntaps, dtype=dtype, endpoint=True)
        if n % 7 == 0:
            taps[:] = info.min
        elif n % 7 == 3 and kind == "q15":
            # Taps small enough to go unsplit, at the bound where five pairs
            # over the lowest samples fill a 32-bit lane.
            taps[:] = -32767 // 5
            x = np.full(n, info.min, dtype)
        history = rng.integers(info.min, info.max, ntaps - 1, dtype=dtype, endpoint=True)
        if not (n % 7 == 3 and kind == "q15"):
            x = rng.integers(info.min, info.max, n, dtype=dtype, endpoint=True)
        check(1 + 2 * (n % 2), x, taps, history, shift)
    lows = np.full(700, info.min, dtype)
    check(3, lows[:80], lows, lows[:-1], {"q15": 25, "q8": 17}[kind])


QUANTIZE = {  # kernel: float type, sample type, fraction bits, sample bits
    "quantize_q15_f64": (np.float64, np.int16, 15, 16), "quantize_q15_f32": (np.float32, np.int16, 15, 16),
    "quantize_q8_f64": (np.float64, np.int8, 7, 8), "quantize_q8_f32": (np.float32, np.int8, 7, 8),
}


@pytest.mark.parametrize("kernel,path,address", path_params(QUANTIZE))
def test_quantize_path_every_mode_halves_and_invalid_count(kernel, path, address):
    """Each quantising path in every mode pair against the exact model: values
    next to every half and integer of the scaled range and past it, infinities
    and NaN, at lengths around the vector widths, with the invalid count."""
    ftype, stype, frac_bits, bits = QUANTIZE[kernel]
    fn = C.CFUNCTYPE(C.c_size_t, C.c_void_p, C.c_size_t, C.c_void_p, C.c_int, C.c_int)(address)
    top = 2 ** bits  # twice the scaled range: k / 2 runs over its halves
    k = np.concatenate([np.arange(-40, 40), np.arange(top - 8, top + 8), np.arange(-top - 8, -top + 8),
                        np.arange(-top, top, 1 if bits == 8 else 331)]) / 2 / 2 ** frac_bits
    x = np.concatenate([k, np.nextafter(k, np.inf), np.nextafter(k, -np.inf), [np.inf, -np.inf, np.nan, 1e30, -7.5]])
    x = x.astype(ftype)
    for r, rounding in enumerate(model.ROUNDINGS):
        for o, overflow in enumerate(model.OVERFLOWS):
            want = [model.quantize_to(float(v), frac_bits, bits, rounding, overflow) for v in x]
            for n in (len(x), len(x) - 5):
                out = np.full(n + 1, 77, stype)
                invalid = sum(1 for v in x[:n] if v != v or (overflow == "wrap" and np.isinf(v)))
                assert fn(x.ctypes.data, n, out.ctypes.data, r, o) == invalid and out[n] == 77
                assert out[:n].tolist() == want[:n], (rounding, overflow)
