"""AccQ15 and AccQ8: arithmetic, block paths, the type objects, lifecycle and
hostile arguments, and memory."""
import gc
import os
import pickle
import sys
import tracemalloc
import weakref

import numpy as np
import pytest

import corvane.arith as arith
from corvane.arith import AccQ8, AccQ15

from model import dot, wrap

# (type, sample dtype, sample bits, register bits)
FAMILIES = [
    pytest.param(AccQ15, np.int16, 16, 64, id="Q15"),
    pytest.param(AccQ8, np.int8, 8, 32, id="Q8"),
]
DOT = {AccQ15: arith.dot_q15, AccQ8: arith.dot_q8}


def stepped(cls, start, samples):
    acc = cls(start)
    for x in samples:
        acc.step(int(x))
    return acc.get()


def unaligned(dtype, n, offset, rng):
    """n samples of dtype starting `offset` bytes into a bytes buffer."""
    itemsize = np.dtype(dtype).itemsize
    buf = rng.integers(0, 256, size=n * itemsize + offset, dtype=np.uint8).tobytes()
    arr = np.frombuffer(buf, dtype=dtype, offset=offset, count=n)
    assert arr.flags.c_contiguous
    return arr


# ---- documented behaviour -------------------------------------------------

EXAMPLES = [
    (lambda: AccQ15(100).get_acc(), 100),
    (lambda: AccQ8(10).get_acc(), 10),
    (lambda: AccQ15().get(), 0),
    (lambda: AccQ15(acc=5).get(), 5),
    (lambda: AccQ8(2**32 + 5).get(), 5),
    (lambda: AccQ8(2**31).get(), -2**31),
    (lambda: AccQ8(-2**63).get(), 0),
    (lambda: AccQ15(-2**63).get(), -2**63),
]


@pytest.mark.parametrize("make,expected", EXAMPLES)
def test_construction_values(make, expected):
    assert make() == expected


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_running_sum_read_dump_reset(cls, dtype, sbits, rbits):
    acc = cls(7)
    acc.reset()
    assert acc.get() == 0  # never back to the creation value
    assert acc.step(10) is None and acc.step(20) is None
    assert acc.get() == acc.get_acc() == 30
    assert acc.steps(np.array([1, 2, 3, 4, 5], dtype=dtype)) is None
    assert acc.dump() == 45 and acc.get() == 0
    acc.steps([10, 20, 30])
    acc.steps(7)  # 0-d: one element
    acc.steps(np.ones((2, 3), dtype=dtype))  # read flat
    assert acc.get() == 73
    assert acc.set_acc(-42) is None and acc.get() == -42


@pytest.mark.parametrize("cls,a,b,expected", [
    (AccQ15, [100, 200, 300], [10, 20, 30], 14000),
    (AccQ8, [10, 20, 30], [1, 2, 3], 140),
    (AccQ15, [100, 200, 300], [10, 20, 30, 40, 50], 14000),
    (AccQ8, [10, 20, 30, 40, 50], [1, 2, 3], 140),
    (AccQ15, [-32768], [-32768], 1 << 30),
    (AccQ8, [-128], [-128], 1 << 14),
    (AccQ15, [], [1, 2], 0),
])
def test_madd_examples(cls, a, b, expected):
    acc = cls(1)
    assert acc.madd(a, b) is None
    assert acc.get() == 1 + expected


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_step_keeps_the_low_sample_bits(cls, dtype, sbits, rbits):
    xs = list(range(-3 * (1 << sbits), 3 * (1 << sbits), 37)) + [-2**31, 2**31 - 1, 65535, 255, 256]
    acc = cls()
    for x in xs:
        before = acc.get()
        acc.step(x)
        assert acc.get() == wrap(before + wrap(x, sbits), rbits), x


@pytest.mark.parametrize("cls,x,added", [
    (AccQ15, 40000, -25536), (AccQ15, 65535, -1), (AccQ15, -32769, 32767), (AccQ15, -32768, -32768),
    (AccQ8, 200, -56), (AccQ8, 255, -1), (AccQ8, 256, 0),
])
def test_step_narrowing_examples(cls, x, added):
    acc = cls(1000)
    acc.step(x)
    assert acc.get() == 1000 + added


@pytest.mark.parametrize("start,x,expected", [
    (2**31 - 1, 1, -2**31), (-2**31, -1, 2**31 - 1), (-2**31, -128, 2**31 - 128),
])
def test_q8_register_wraps(start, x, expected):
    acc = AccQ8(start)
    acc.step(x)
    assert acc.get() == expected


def test_q15_register_wraps():
    acc = AccQ15(2**63 - 1)
    acc.step(1)
    assert acc.get() == -2**63
    acc.madd([-32768], [-32768])
    assert acc.get() == -2**63 + 2**30
    acc.set_acc(-2**63)
    acc.steps([-1])
    assert acc.get() == 2**63 - 1


def test_q8_wrap_at_16777216_samples_of_minus_128():
    block = np.full(16_777_216, -128, dtype=np.int8)
    acc = AccQ8()
    acc.steps(block)
    assert acc.get() == -2**31
    acc.step(-128)
    assert acc.get() == 2**31 - 128
    acc.reset()
    acc.steps(np.full(16_777_217, -128, dtype=np.int8))
    assert acc.get() == 2**31 - 128


# ---- block paths against single steps ---------------------------------------

LENGTHS = sorted(set(range(0, 100)) | {127, 128, 129, 255, 256, 257, 1023, 1024, 1025})


@pytest.mark.parametrize("offset", [0, 1, 3, 7])
@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_steps_equal_single_steps(cls, dtype, sbits, rbits, offset):
    rng = np.random.default_rng(offset)
    for n in LENGTHS:
        x = unaligned(dtype, n, offset, rng)
        start = int(rng.integers(-2**(rbits - 1), 2**(rbits - 1), dtype=np.int64))
        acc = cls(start)
        acc.steps(x)
        assert acc.get() == stepped(cls, start, x) == wrap(start + int(x.sum(dtype=np.int64)), rbits), n


@pytest.mark.parametrize("offset", [0, 1, 5])
@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_madd_adds_the_inner_product(cls, dtype, sbits, rbits, offset):
    rng = np.random.default_rng(100 + offset)
    for n in LENGTHS:
        a = unaligned(dtype, n, offset, rng)
        b = unaligned(dtype, n + n % 3, offset + 1, rng)  # b may be longer
        acc = cls(-5)
        acc.madd(a, b)
        expected = wrap(-5 + dot(a.tolist(), b.tolist(), rbits), rbits)
        assert acc.get() == expected == wrap(-5 + DOT[cls](a, b), rbits), n


# Past the span over which 32-bit lane sums are folded, with every sample at
# the extreme that fills the lanes fastest.
@pytest.mark.parametrize("n", [65535, 65536, 65537, 131071, 131072, 131073, 131072 + 17, 3 * 131072 + 5])
@pytest.mark.parametrize("value", [-32768, 32767])
def test_q15_long_extreme_blocks(n, value):
    acc = AccQ15(3)
    acc.steps(np.full(n, value, dtype=np.int16))
    assert acc.get() == 3 + n * value
    acc.reset()
    acc.madd(np.full(n, value, dtype=np.int16), np.full(n, -32768, dtype=np.int16))
    assert acc.get() == n * value * -32768


@pytest.mark.parametrize("n", [16383, 16384, 131072, 131073, 2**20 + 3])
@pytest.mark.parametrize("value", [-128, 127])
def test_q8_long_extreme_blocks(n, value):
    acc = AccQ8(3)
    acc.steps(np.full(n, value, dtype=np.int8))
    assert acc.get() == wrap(3 + n * value, 32)
    acc.reset()
    acc.madd(np.full(n, value, dtype=np.int8), np.full(n, -128, dtype=np.int8))
    assert acc.get() == wrap(n * value * -128, 32)


# ---- bad input leaves the register alone ------------------------------------

BAD_CALLS = [
    ("step", (2**31,), OverflowError),
    ("step", (-2**31 - 1,), OverflowError),
    ("step", ("x",), TypeError),
    ("step", (1.5,), TypeError),
    ("step", (), TypeError),
    ("set_acc", (2**64,), OverflowError),
    ("set_acc", ("x",), TypeError),
    ("steps", (1, 2), TypeError),
    ("steps", (np.arange(4, dtype=np.int64),), TypeError),  # unsafe cast refused
    ("steps", (["a"],), ValueError),
    ("madd", ([1, 2],), TypeError),
    ("madd", ([1, 2], np.arange(2, dtype=np.float64)), TypeError),
    ("madd", (np.arange(2, dtype=np.float32), [1, 2]), TypeError),
]


@pytest.mark.parametrize("name,args,exc", BAD_CALLS)
@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_bad_arguments_raise_and_keep_register(cls, dtype, sbits, rbits, name, args, exc):
    acc = cls(123)
    with pytest.raises(exc):
        getattr(acc, name)(*args)
    assert acc.get() == 123


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_methods_take_positional_arguments_only(cls, dtype, sbits, rbits):
    acc = cls(1)
    for name, kwargs in [("step", {"x": 1}), ("steps", {"x": [1]}), ("set_acc", {"value": 1}),
                         ("madd", {"a": [1], "b": [1]})]:
        with pytest.raises(TypeError):
            getattr(acc, name)(**kwargs)
    with pytest.raises(TypeError):
        acc.get(1)
    with pytest.raises(TypeError):
        cls(bogus=1)
    assert acc.get() == 1


def test_constructor_range():
    with pytest.raises(OverflowError):
        AccQ15(2**63)
    with pytest.raises(OverflowError):
        AccQ8(2**63)
    with pytest.raises(TypeError):
        AccQ15(1, 2)


# ---- the type objects -------------------------------------------------------

METHODS = ["reset", "step", "steps", "get_acc", "set_acc", "get", "dump", "madd", "destroy",
           "__enter__", "__exit__", "state_bytes", "get_state", "set_state"]
Py_TPFLAGS_BASETYPE = 1 << 10
Py_TPFLAGS_HAVE_GC = 1 << 14


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_type_shape(cls, dtype, sbits, rbits):
    assert [n for n in vars(cls) if n in METHODS] == METHODS
    # Named "arith.AccQ15" (what errors say), importable from corvane.arith,
    # which is where pickle looks for the class.
    assert repr(cls) == f"<class 'corvane.arith.{cls.__name__}'>"
    with pytest.raises(TypeError, match=f"'arith.{cls.__name__}' objects"):
        cls.get(1)
    assert pickle.loads(pickle.dumps(cls)) is cls
    assert getattr(arith, cls.__name__) is cls
    assert cls.__flags__ & (Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC) == 0
    acc = cls()
    with pytest.raises(TypeError):
        weakref.ref(acc)
    with pytest.raises(AttributeError):
        acc.extra = 1
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


DOC_BEGINNINGS = {
    "reset": ["Reset the accumulator to zero, mirroring the post-create state."],
    "steps": ["steps(x) -> None", "Accumulate a contiguous block of {fmt} samples."],
    "step": ["step(x) -> None", "Accumulate one {fmt} sample into the running total."],
    "get_acc": ["Read the current accumulator value without modifying it."],
    "set_acc": ["Overwrite the accumulator with a new value."],
    "get": ["get() -> int", "Return the current accumulated value without resetting."],
    "dump": ["dump() -> int", "Return the accumulated value and reset to zero."],
    "madd": ["madd(a, b) -> None", "Multiply-accumulate: acc += sum(a[i] * b[i]) for i in [0, len(a))."],
    "destroy": ["Release the underlying C resources immediately."],
    "__enter__": ["Enter a context manager, returning this object."],
    "__exit__": ["Exit a context manager, releasing the {name}."],
    "state_bytes": ["Size in bytes of this object's serialized state."],
    "get_state": ["Serialize this object's mutable state to bytes."],
    "set_state": ["Restore mutable state from a `get_state()` blob."],
}


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_docstrings_begin_and_follow_the_layout(cls, dtype, sbits, rbits, method):
    fmt = "Q15" if cls is AccQ15 else "Q8"
    doc = getattr(cls, method).__doc__
    first = [line.format(fmt=fmt, name=cls.__name__) for line in DOC_BEGINNINGS[method]]
    assert doc.splitlines()[: len(first)] == first
    assert "\nReturns\n-------\n" in doc and doc.endswith("\n")
    assert f"\nExamples\n--------\n>>> from corvane.arith import " in doc
    type_doc = cls.__doc__
    assert type_doc.startswith(f"Allocate and initialise an {cls.__name__} accumulator.")
    assert "\nacc : int, default 0\n" in type_doc and ".get_acc()" in type_doc
    assert AccQ15.destroy.__doc__ == AccQ8.destroy.__doc__


# ---- lifecycle --------------------------------------------------------------

# Arguments that would fail parsing: the handle test must come first.
AFTER_DESTROY = [("get", ()), ("get_acc", ()), ("reset", ()), ("dump", ()), ("step", ("x",)),
                 ("steps", (None,)), ("set_acc", ("x",)), ("madd", (None, None)),
                 ("state_bytes", ()), ("get_state", ()), ("set_state", (42,))]


@pytest.mark.parametrize("name,args", AFTER_DESTROY)
@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_released_object_raises_destroyed(cls, dtype, sbits, rbits, name, args):
    for acc in (cls(5), cls.__new__(cls)):
        acc.destroy()
        with pytest.raises(RuntimeError, match="^destroyed$"):
            getattr(acc, name)(*args)
        assert acc.destroy() is None


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_with_block(cls, dtype, sbits, rbits):
    with cls(1) as acc:
        bound = acc
        acc.step(2)
        assert acc.get() == 3
    assert bound is acc
    with pytest.raises(RuntimeError, match="^destroyed$"):
        acc.get()
    with acc as again:  # entering a released object is allowed
        assert again is acc
    assert acc.__exit__() is None and acc.__exit__(1, 2, 3, 4) is None

    class Boom(Exception):
        pass

    with pytest.raises(Boom):
        with cls(1) as acc:
            raise Boom
    with pytest.raises(RuntimeError, match="^destroyed$"):
        acc.get()


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_new_alone_then_init(cls, dtype, sbits, rbits):
    acc = cls.__new__(cls, 1, 2, junk=3)  # arguments ignored
    with pytest.raises(RuntimeError, match="^destroyed$"):
        acc.get()
    acc.__init__(9)
    assert acc.get() == 9
    acc.destroy()
    acc.__init__()  # released to live again
    assert acc.get() == 0
    del acc  # dealloc of an uninitialised object holds nothing
    cls.__new__(cls)


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_failed_init_parse_keeps_the_record(cls, dtype, sbits, rbits):
    acc = cls(4)
    with pytest.raises(TypeError):
        acc.__init__("x")
    assert acc.get() == 4


# ---- Python code run during parsing or conversion ---------------------------

class Striker:
    """Destroys `victim` (and maybe re-initialises it) when NumPy or the
    argument parser calls back into Python."""

    def __init__(self, victim, value, reinit=None):
        self.victim, self.value, self.reinit = victim, value, reinit

    def _strike(self):
        self.victim.destroy()
        if self.reinit is not None:
            self.victim.__init__(self.reinit)


class Destroying(Striker):
    def __index__(self):
        self._strike()
        return self.value

    def __array__(self, dtype=None, copy=None):
        self._strike()
        return self.value


class DestroyingSequence(Striker):
    def __len__(self):
        return 2

    def __getitem__(self, i):
        if i >= 2:
            raise IndexError(i)
        self._strike()
        return 1


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_hostile_arguments_that_destroy_the_object(cls, dtype, sbits, rbits):
    arr = np.arange(6, dtype=dtype)
    calls = [
        lambda acc: acc.step(Destroying(acc, 5)),
        lambda acc: acc.set_acc(Destroying(acc, 5)),
        lambda acc: acc.steps(Destroying(acc, arr)),
        lambda acc: acc.steps(DestroyingSequence(acc, None)),
        lambda acc: acc.madd(Destroying(acc, arr), arr),
        lambda acc: acc.madd(arr, Destroying(acc, arr)),
        lambda acc: acc.madd(arr, DestroyingSequence(acc, None)),
    ]
    for call in calls:
        acc = cls(1)
        before = sys.getrefcount(arr)
        with pytest.raises(RuntimeError, match="^destroyed$"):
            call(acc)
        assert sys.getrefcount(arr) == before  # converted arrays released
        with pytest.raises(RuntimeError, match="^destroyed$"):
            acc.get()


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_hostile_arguments_that_replace_the_record(cls, dtype, sbits, rbits):
    # The call must act on the record held after parsing, not the freed one.
    arr = np.arange(6, dtype=dtype)
    acc = cls(1)
    acc.step(Destroying(acc, 5, reinit=100))
    assert acc.get() == 105
    acc.steps(Destroying(acc, arr, reinit=100))
    assert acc.get() == 115
    acc.madd(arr, Destroying(acc, arr, reinit=100))
    assert acc.get() == 100 + 55
    acc.__init__(Destroying(acc, 7, reinit=100))
    assert acc.get() == 7


# ---- memory -----------------------------------------------------------------

def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def churn(cls, dtype, rounds):
    x = np.arange(64, dtype=dtype)
    keep = cls()
    for i in range(rounds):
        acc = cls(i)
        acc.__init__(i + 1)
        keep.__init__(i)  # a long-lived object re-initialised over and over
        blob = acc.get_state()
        other = cls.__new__(cls)
        other.__init__()
        other.set_state(blob)
        acc.steps(x)
        acc.madd(x, x)
        acc.dump()
        if i & 1:
            acc.destroy()
        with cls() as ctx:
            ctx.step(1)
        del acc, other, blob


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="ASan's quarantine holds freed memory resident")
@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_cycles_do_not_grow_resident_memory(cls, dtype, sbits, rbits):
    churn(cls, dtype, 20_000)
    gc.collect()
    before = resident_bytes()
    churn(cls, dtype, 200_000)  # a leaked record per cycle would be >= 6 MB
    gc.collect()
    assert resident_bytes() - before < 2 * 1024 * 1024


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_cycles_do_not_grow_python_allocations(cls, dtype, sbits, rbits):
    churn(cls, dtype, 1_000)
    tracemalloc.start()
    try:
        churn(cls, dtype, 1_000)
        gc.collect()
        before, _ = tracemalloc.get_traced_memory()
        churn(cls, dtype, 100_000)
        gc.collect()
        after, _ = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert after - before < 64 * 1024


@pytest.mark.parametrize("cls,dtype,sbits,rbits", FAMILIES)
def test_converted_inputs_keep_their_reference_count(cls, dtype, sbits, rbits):
    acc = cls()
    for probe in range(20):
        a = np.arange(probe, dtype=dtype)  # fresh arrays: no cached references
        b = np.arange(probe + 1, dtype=dtype)
        before = (sys.getrefcount(a), sys.getrefcount(b))
        acc.steps(a)
        acc.madd(a, b)
        with pytest.raises(TypeError):
            acc.madd(a, np.zeros(2, dtype=np.complex128))
        assert (sys.getrefcount(a), sys.getrefcount(b)) == before
