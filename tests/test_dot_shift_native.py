"""Inner-product and shift kernels called natively through ctypes.

Overlapping buffers at any byte offset cannot be built from Python, so these
tests place input and output inside one byte buffer and compare every byte of
it with a forward pass of the model, one element after another.
"""
import ctypes
import random
import struct

import pytest

import model
from corvane import arith

LIB = ctypes.CDLL(arith.__file__)

INT_MIN = -(1 << 31)
INT_MAX = (1 << 31) - 1

# name: (struct format, element size, rule(x, s), counts covering every regime)
SHIFTS = {
    "shl_q15": ("h", 2, lambda x, s: model.shl_sat(x, s, model.Q15), [INT_MIN, 0, 3, 15, 16]),
    "shr_q15": ("h", 2, lambda x, s: model.shr_round(x, s, model.Q15), [-1, 1, 15, 16, INT_MAX]),
    "shl_q8": ("b", 1, lambda x, s: model.shl_sat(x, s, model.Q8), [0, 1, 7, 8]),
    "shr_q8": ("b", 1, lambda x, s: model.shr_round(x, s, model.Q8), [-5, 1, 7, 8]),
    "shl_i64": ("q", 8, model.shl_i64, [0, 1, 62, 63]),
    "shr_i64": ("q", 8, model.shr_i64, [0, 1, 62, 63]),
}
DOTS = {"dot_q15": ("h", 2, ctypes.c_int64, 64), "dot_q8": ("b", 1, ctypes.c_int32, 32)}

for _name in SHIFTS:
    getattr(LIB, _name).argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p, ctypes.c_int]
    getattr(LIB, _name).restype = None
for _name, (_, _, _restype, _) in DOTS.items():
    getattr(LIB, _name).argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t]
    getattr(LIB, _name).restype = _restype

# Vector blocks are 16 and 64 bytes; lengths straddle one and two of each.
BLOCK_BYTES = (16, 64, 128)
# Output start minus input start, in bytes: in place, odd offsets, whole
# elements, and just below, at and above each block size, on both sides.
OFFSETS = sorted({sign * d for d in (0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 130, 131)
                  for sign in (1, -1)})
MARGIN = 160


def lengths(size):
    around = {b // size + e for b in BLOCK_BYTES for e in (-1, 0, 1)}
    return sorted(n for n in around | {1, 2, 3 * 64 // size + 5} if n > 0)


def random_bytes(count, seed):
    return bytearray(random.Random(repr(seed)).randbytes(count))


def forward_model(buf, a_at, out_at, n, fmt, size, rule, s):
    """The defining pass: read a[i], then write out[i], for i ascending."""
    for i in range(n):
        (x,) = struct.unpack_from("<" + fmt, buf, a_at + i * size)
        struct.pack_into("<" + fmt, buf, out_at + i * size, rule(x, s))


def address(buf):
    return ctypes.addressof((ctypes.c_char * len(buf)).from_buffer(buf))


@pytest.mark.parametrize("name", SHIFTS)
def test_shift_overlap_is_forward_pass(name):
    fmt, size, rule, counts = SHIFTS[name]
    failures = []
    for n in lengths(size):
        total = n * size + 2 * MARGIN
        for offset in OFFSETS:
            a_at = MARGIN
            out_at = MARGIN + offset
            for s in counts:
                buf = random_bytes(total, (n, offset, s))
                expected = bytearray(buf)
                forward_model(expected, a_at, out_at, n, fmt, size, rule, s)
                base = address(buf)
                getattr(LIB, name)(base + a_at, n, base + out_at, s)
                if buf != expected:
                    failures.append((n, offset, s))
    assert failures == []


@pytest.mark.parametrize("name", SHIFTS)
def test_shift_zero_count_touches_nothing(name):
    kernel = getattr(LIB, name)
    kernel(None, 0, None, 5)
    buf = random_bytes(64, name)
    before = bytes(buf)
    base = address(buf)
    for s in (INT_MIN, 0, 1, 63, INT_MAX):
        kernel(base, 0, base + 16, s)
    assert bytes(buf) == before


def make_pairs(fmt, n, fill, seed):
    lo, hi = (-32768, 32767) if fmt == "h" else (-128, 127)
    rnd = random.Random(repr(seed))
    if fill == "random":
        return [rnd.randint(lo, hi) for _ in range(n)], [rnd.randint(lo, hi) for _ in range(n)]
    if fill == "most negative":
        return [lo] * n, [lo] * n
    return [rnd.choice((lo, hi)) for _ in range(n)], [rnd.choice((lo, hi, lo + 1)) for _ in range(n)]


@pytest.mark.parametrize("fill", ["random", "most negative", "extremes"])
@pytest.mark.parametrize("name", DOTS)
def test_dot_every_short_length_at_odd_addresses(name, fill):
    fmt, size, _, acc_bits = DOTS[name]
    kernel = getattr(LIB, name)
    failures = []
    for n in list(range(0, 140)) + [255, 256, 257, 1031]:
        a, b = make_pairs(fmt, n, fill, n)
        buf = bytearray(2 * n * size + 3)
        struct.pack_into(f"<{n}{fmt}", buf, 1, *a)
        struct.pack_into(f"<{n}{fmt}", buf, 2 + n * size, *b)
        base = address(buf)
        got = kernel(base + 1, n, base + 2 + n * size, n)
        if got != model.dot(a, b, acc_bits):
            failures.append(n)
    assert failures == []


@pytest.mark.parametrize("name", DOTS)
def test_dot_overlapping_inputs_and_unequal_counts(name):
    fmt, size, _, acc_bits = DOTS[name]
    kernel = getattr(LIB, name)
    values = make_pairs(fmt, 300, "random", 3)[0]
    buf = bytearray(struct.pack(f"<300{fmt}", *values))
    base = address(buf)
    assert kernel(base, 300, base, 300) == model.dot(values, values, acc_bits)
    assert kernel(base, 250, base + 5 * size, 290) == model.dot(values[:250], values[5:], acc_bits)
    assert kernel(base, 77, base + size, 299) == kernel(base, 299, base + size, 77)


@pytest.mark.parametrize("name", DOTS)
def test_dot_zero_count_reads_nothing(name):
    kernel = getattr(LIB, name)
    buf = bytearray(16)
    assert kernel(None, 0, None, 0) == 0
    assert kernel(None, 0, address(buf), 8) == 0
    assert kernel(address(buf), 8, None, 0) == 0
