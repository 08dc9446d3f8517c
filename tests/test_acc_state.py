"""State snapshots of AccQ15/AccQ8: exact blob bytes, what is refused, and the
native acc_* functions reached by name."""
import ctypes
import struct

import pytest

import corvane.arith as arith
from corvane.arith import AccQ8, AccQ15

from model import wrap

# (type, blob size, magic bytes, register struct code, register bits)
FAMILIES = [
    pytest.param(AccQ15, 24, b"AC15", "<q", 64, id="Q15"),
    pytest.param(AccQ8, 20, b"ACC8", "<i", 32, id="Q8"),
]
EXAMINED = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11}  # magic, version, marker, length
IGNORED = {7, 12, 13, 14, 15}  # pad, reserved


def blob_for(size, magic, code, value):
    """The blob built independently from the documented layout."""
    return magic + struct.pack("<HBBII", 1, 1, 0, size, 0) + struct.pack(code, value)


def test_documented_blob_bytes():
    assert AccQ15(0).get_state() == bytes.fromhex("414331350100010018000000000000000000000000000000")
    assert AccQ15(-1).get_state() == bytes.fromhex("41433135010001001800000000000000") + b"\xff" * 8
    assert AccQ15(100).get_state().endswith(bytes.fromhex("6400000000000000"))
    assert AccQ8(140).get_state() == bytes.fromhex("414343380100010014000000000000008c000000")


@pytest.mark.parametrize("value", [0, 1, -1, 140, 2**31 - 1, -2**31, 0x12345678, 2**63 - 1, -2**63])
@pytest.mark.parametrize("cls,size,magic,code,bits", FAMILIES)
def test_blob_layout_and_round_trip(cls, size, magic, code, bits, value):
    value = wrap(value, bits)
    acc = cls(value)
    assert acc.state_bytes() == size
    blob = acc.get_state()
    assert type(blob) is bytes and blob == blob_for(size, magic, code, value)
    assert acc.get() == value  # reading the state changes nothing
    other = cls(77)
    assert other.set_state(blob) is None
    assert other.get() == value


@pytest.mark.parametrize("cls,size,magic,code,bits", FAMILIES)
def test_restoring_rewinds_a_running_accumulator(cls, size, magic, code, bits):
    acc = cls()
    acc.step(100)
    blob = acc.get_state()
    acc.steps([1, 2, 3])
    acc.set_state(blob)
    assert acc.get() == 100


@pytest.mark.parametrize("index", range(16))
@pytest.mark.parametrize("cls,size,magic,code,bits", FAMILIES)
def test_every_header_byte(cls, size, magic, code, bits, index):
    blob = bytearray(blob_for(size, magic, code, -7))
    blob[index] ^= 0xFF
    acc = cls(55)
    if index in EXAMINED:
        with pytest.raises(ValueError, match="^set_state rejected the blob$"):
            acc.set_state(bytes(blob))
        assert acc.get() == 55
    else:
        acc.set_state(bytes(blob))
        assert acc.get() == -7


@pytest.mark.parametrize("field", [
    (4, struct.pack("<H", 2)),     # version 2
    (6, b"\x00"),                  # marker 0
    (8, struct.pack("<I", 25)),    # length 25
])
@pytest.mark.parametrize("cls,size,magic,code,bits", FAMILIES)
def test_documented_header_rejections(cls, size, magic, code, bits, field):
    at, raw = field
    blob = bytearray(blob_for(size, magic, code, 9))
    blob[at:at + len(raw)] = raw
    acc = cls(3)
    with pytest.raises(ValueError, match="^set_state rejected the blob$"):
        acc.set_state(bytes(blob))
    assert acc.get() == 3


@pytest.mark.parametrize("cls,size,magic,code,bits", FAMILIES)
def test_refused_arguments(cls, size, magic, code, bits):
    good = cls(12).get_state()
    acc = cls(4)
    for wrong_type in (bytearray(good), memoryview(good), good.decode("latin-1"), 42, None):
        with pytest.raises(TypeError, match="^set_state expects bytes$"):
            acc.set_state(wrong_type)
    other = AccQ8 if cls is AccQ15 else AccQ15
    for wrong_length in (good[:-1], good + b"\0", b"", other().get_state()):
        with pytest.raises(ValueError, match="^state blob size mismatch$"):
            acc.set_state(wrong_length)
    with pytest.raises(TypeError):
        acc.set_state()
    with pytest.raises(TypeError):
        acc.set_state(good, good)
    assert acc.get() == 4

    class Blob(bytes):
        pass

    acc.set_state(Blob(good))
    assert acc.get() == 12


# ---- the native functions, by name ------------------------------------------

@pytest.fixture(scope="module")
def lib():
    lib = ctypes.CDLL(arith.__file__)
    for fam, reg in (("q15", ctypes.c_int64), ("q8", ctypes.c_int32)):
        getattr(lib, f"acc_{fam}_create").restype = ctypes.c_void_p
        getattr(lib, f"acc_{fam}_create").argtypes = [reg]
        getattr(lib, f"acc_{fam}_destroy").argtypes = [ctypes.c_void_p]
        getattr(lib, f"acc_{fam}_get_acc").restype = reg
        getattr(lib, f"acc_{fam}_get_acc").argtypes = [ctypes.c_void_p]
        getattr(lib, f"acc_{fam}_state_bytes").restype = ctypes.c_size_t
        getattr(lib, f"acc_{fam}_get_state").argtypes = [ctypes.c_void_p, ctypes.c_char_p]
        getattr(lib, f"acc_{fam}_set_state").argtypes = [ctypes.c_void_p, ctypes.c_char_p]
        getattr(lib, f"acc_{fam}_set_state").restype = ctypes.c_int
    return lib


@pytest.mark.parametrize("fam,cls,size", [("q15", AccQ15, 24), ("q8", AccQ8, 20)])
def test_native_state_functions(lib, fam, cls, size):
    fn = lambda name: getattr(lib, f"acc_{fam}_{name}")  # noqa: E731
    rec = fn("create")(-3)
    try:
        assert fn("state_bytes")() == size
        out = ctypes.create_string_buffer(size)
        fn("get_state")(rec, out)
        assert out.raw == cls(-3).get_state()
        assert fn("set_state")(rec, cls(1234).get_state()) == 0
        assert fn("get_acc")(rec) == 1234
        # The other family's blob, in a buffer long enough for either, is
        # refused by its magic and leaves the record alone.
        foreign = (AccQ8 if cls is AccQ15 else AccQ15)(5).get_state().ljust(24, b"\0")
        assert fn("set_state")(rec, foreign) == -4
        assert fn("get_acc")(rec) == 1234
    finally:
        fn("destroy")(rec)
    fn("destroy")(None)
    assert not hasattr(lib, f"acc_{fam}_step")  # inline in the header only
