"""The six elementwise kernels called natively through ctypes.

Inputs and output live in one byte buffer, with the output before, on and
after each input at whole-element and odd byte distances; every byte of the
buffer is compared with the forward pass of the model run one element after
another, so a block path taken too eagerly or a stray write shows up.
"""
import ctypes
import random
import struct

import pytest

import model
from corvane import arith

LIB = ctypes.CDLL(arith.__file__)

# name: (struct format, element size, element rule)
KERNELS = {
    "add_q15": ("h", 2, lambda a, b: model.add(a, b, model.Q15)),
    "sub_q15": ("h", 2, lambda a, b: model.sub(a, b, model.Q15)),
    "mul_q15": ("h", 2, lambda a, b: model.mul(a, b, model.Q15)),
    "add_q8": ("b", 1, lambda a, b: model.add(a, b, model.Q8)),
    "sub_q8": ("b", 1, lambda a, b: model.sub(a, b, model.Q8)),
    "mul_q8": ("b", 1, lambda a, b: model.mul(a, b, model.Q8)),
}
for _name in KERNELS:
    getattr(LIB, _name).argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p,
                                    ctypes.c_size_t, ctypes.c_void_p]
    getattr(LIB, _name).restype = None

# Block paths work on 8, 16 and 64 bytes: lengths (in elements) on both sides
# of one and two of each, for both sample widths.
LENGTHS = (0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 72, 130)
# Output start minus input start, in bytes: in place, odd distances, and just
# below, at and above each block size (in Q8 and Q15 elements), both ways.
OFFSETS = sorted({0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 30, 31, 32, 33, 34, 62, 63, 64, 65, 66,
                  127, 128, 129, 130, 131}
                 | {-1, -2, -3, -15, -16, -17, -63, -64, -65, -128, -131})
# a at an odd address, b well clear of it; the output is placed near a, near
# b, or near both when they coincide.
A_AT = 301
B_AT = 701
BUFFER = 1200


def random_buffer(seed):
    return bytearray(random.Random(repr(seed)).randbytes(BUFFER))


def forward_model(buf, a_at, b_at, out_at, n, fmt, size, rule):
    """The defining pass: read a[i] and b[i], then write out[i], i ascending."""
    fmt = "<" + fmt
    for i in range(n):
        (x,) = struct.unpack_from(fmt, buf, a_at + i * size)
        (y,) = struct.unpack_from(fmt, buf, b_at + i * size)
        struct.pack_into(fmt, buf, out_at + i * size, rule(x, y))


def run_kernel(name, buf, a_at, len_a, b_at, len_b, out_at):
    raw = (ctypes.c_ubyte * len(buf)).from_buffer(buf)
    base = ctypes.addressof(raw)
    getattr(LIB, name)(base + a_at, len_a, base + b_at, len_b, base + out_at)
    del raw  # release the export so the bytearray stays resizable


@pytest.mark.parametrize("name", KERNELS)
@pytest.mark.parametrize("near", ["a", "b", "both"])
def test_overlap_is_one_forward_pass(name, near):
    fmt, size, rule = KERNELS[name]
    a_at = A_AT
    b_at = A_AT if near == "both" else B_AT
    anchor = b_at if near == "b" else a_at
    failures = []
    for offset in OFFSETS:
        for n in LENGTHS:
            out_at = anchor + offset
            buf = random_buffer((name, near, offset, n))
            want = bytearray(buf)
            forward_model(want, a_at, b_at, out_at, n, fmt, size, rule)
            run_kernel(name, buf, a_at, n, b_at, n, out_at)
            if buf != want:
                failures.append((offset, n))
    assert not failures, f"output offset (bytes), n: {failures}"


@pytest.mark.parametrize("n,want", [(40, list(range(41))), (3, [0, 1, 2, 3])])
def test_output_one_element_after_input_reads_what_it_wrote(n, want):
    buf = bytearray(BUFFER)
    ones = struct.pack("<h", 1) * n
    buf[B_AT:B_AT + len(ones)] = ones
    run_kernel("add_q15", buf, A_AT, n, B_AT, n, A_AT + 2)
    assert list(struct.unpack_from(f"<{n + 1}h", buf, A_AT)) == want


def test_output_one_element_before_input_reads_unwritten_values():
    buf = bytearray(BUFFER)
    struct.pack_into("<4h", buf, A_AT, 0, 1, 2, 3)
    struct.pack_into("<4h", buf, B_AT, 1, 1, 1, 1)
    run_kernel("add_q15", buf, A_AT, 4, B_AT, 4, A_AT - 2)
    assert list(struct.unpack_from("<5h", buf, A_AT - 2)) == [1, 2, 3, 4, 3]


@pytest.mark.parametrize("name", KERNELS)
@pytest.mark.parametrize("len_a,len_b", [(5, 3), (3, 5), (100, 37), (37, 100), (64, 65), (1, 130)])
def test_unequal_counts_process_the_shorter(name, len_a, len_b):
    fmt, size, rule = KERNELS[name]
    out_at = 40
    buf = random_buffer((name, len_a, len_b))
    want = bytearray(buf)
    forward_model(want, A_AT, B_AT, out_at, min(len_a, len_b), fmt, size, rule)
    run_kernel(name, buf, A_AT, len_a, B_AT, len_b, out_at)
    assert buf == want


@pytest.mark.parametrize("name", KERNELS)
def test_zero_count_touches_nothing(name):
    kernel = getattr(LIB, name)
    kernel(None, 0, None, 0, None)
    buf = random_buffer(name)
    raw = (ctypes.c_ubyte * BUFFER).from_buffer_copy(buf)
    base = ctypes.addressof(raw)
    kernel(None, 0, base + B_AT, 100, base + 40)
    kernel(base + A_AT, 100, None, 0, base + 40)
    kernel(base + A_AT, 0, base + B_AT, 0, base + A_AT + 1)
    assert bytes(raw) == bytes(buf)
