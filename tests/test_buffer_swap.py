"""An argument converted later may give an earlier one a new buffer (through
ndarray.__setstate__) and free the old one, or a new element type of another
size; every two-array entry must compute on the bytes the first array holds
once all conversions are done, and never past them."""
import numpy as np
import pytest

import corvane.arith as arith
import model

NEW_LENGTH = 1000
B_VALUES = [(-1) ** i * (i * 977 % 30000) for i in range(700)]  # shorter than the new a


def swap_buffer(arr, values):
    new = np.array(values, dtype=arr.dtype)
    arr.__setstate__((1, new.shape, new.dtype, False, new.tobytes()))


class ArraySwapper:
    """b whose __array__ swaps a's buffer."""

    def __init__(self, a, new_values, dtype):
        self.a, self.new_values, self.dtype = a, new_values, dtype

    def __array__(self, *args, **kwargs):
        swap_buffer(self.a, self.new_values)
        return np.array(self.b_values, dtype=self.dtype)


class IndexSwapper:
    """A list element of b whose integer conversion swaps a's buffer."""

    def __init__(self, a, new_values, value):
        self.a, self.new_values, self.value = a, new_values, value

    def __index__(self):
        swap_buffer(self.a, self.new_values)
        return self.value

    __int__ = __index__


def entry(name):
    """(callable, sample bits) for a function name or an Acc*.madd."""
    if name.endswith(".madd"):
        cls = getattr(arith, name.split(".")[0])
        return (lambda a, b: _madd(cls, a, b)), 16 if "15" in name else 8
    return getattr(arith, name), 16 if name.endswith("q15") else 8


def _madd(cls, a, b):
    acc = cls(0)
    assert acc.madd(a, b) is None
    return acc.get()


def expected(name, new_a, b, bits):
    b = [model.wrap(x, bits) for x in b]
    op = name.split("_")[0]
    if op in ("add", "sub", "mul"):
        rule = getattr(model, op)
        head = [rule(x, y, bits) for x, y in zip(new_a, b)]
        return head + [0] * (len(new_a) - len(head))
    return model.dot(new_a, b, 64 if bits == 16 else 32)


ENTRIES = [f"{op}_{fmt}" for fmt in ("q15", "q8") for op in ("add", "sub", "mul", "dot")]
ENTRIES += ["AccQ15.madd", "AccQ8.madd"]


@pytest.mark.parametrize("route", ["__array__", "list element"])
@pytest.mark.parametrize("name", ENTRIES)
def test_first_array_swapped_while_second_converts(name, route):
    func, bits = entry(name)
    dtype = np.int16 if bits == 16 else np.int8
    rng = np.random.default_rng(len(name))
    lo, hi = -(1 << (bits - 1)), 1 << (bits - 1)
    # 2 MiB: the old buffer is a mapping of its own that freeing unmaps.
    a = np.full((2 << 20) // np.dtype(dtype).itemsize, 7, dtype=dtype)
    new_a = rng.integers(lo, hi, NEW_LENGTH).tolist()
    if route == "__array__":
        b = ArraySwapper(a, new_a, dtype)
        b.b_values = [model.wrap(x, bits) for x in B_VALUES]
        b_seen = b.b_values
    else:
        b_seen = [model.wrap(x, bits) for x in B_VALUES]
        b = [IndexSwapper(a, new_a, b_seen[0])] + b_seen[1:]
    got = func(a, b)
    assert len(a) == NEW_LENGTH  # the swap did happen
    want = expected(name, new_a, b_seen, bits)
    if isinstance(got, np.ndarray):
        assert got.dtype == dtype and got.tolist() == want
    else:
        assert got == want


class RetypingArray:
    """b whose __array__ gives a an element type of another size."""

    def __init__(self, a, dtype, values):
        self.a, self.dtype, self.values = a, dtype, values

    def __array__(self, *args, **kwargs):
        self.a.dtype = np.int8 if self.a.dtype.itemsize > 1 else np.int16
        return np.array(self.values, dtype=self.dtype)


# NumPy 2.5 deprecates assigning to .dtype; while it still works, a caller can
# still retype an array under us.
@pytest.mark.filterwarnings("ignore:Setting the dtype:DeprecationWarning")
@pytest.mark.parametrize("name", ENTRIES)
def test_first_array_retyped_while_second_converts(name):
    func, bits = entry(name)
    dtype = np.int16 if bits == 16 else np.int8
    rng = np.random.default_rng(7)
    original = rng.integers(-(1 << (bits - 1)), 1 << (bits - 1), 4096).tolist()
    a = np.array(original, dtype=dtype)
    b_values = rng.integers(-(1 << (bits - 1)), 1 << (bits - 1), 3000).tolist()
    got = func(a, RetypingArray(a, dtype, b_values))
    assert a.dtype != dtype  # the retyping did happen
    # The bytes a spans are still the original samples: read as such, no further.
    want = expected(name, original, b_values, bits)
    if isinstance(got, np.ndarray):
        assert got.tolist() == want
    else:
        assert got == want
