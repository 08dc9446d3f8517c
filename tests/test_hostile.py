"""Randomised hostile arguments for every module function and accumulator
method. Each call is predicted first: NumPy's own conversion and Python's
integer protocol tell whether every argument converts; a call whose arguments
all convert must succeed and match the model, any other must raise the
predicted exception type and leave the register as it was."""
import operator

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import corvane.arith as arith
import model

FAST = settings(max_examples=80, deadline=None, suppress_health_check=[HealthCheck.too_slow])


class RaisingArray:
    def __array__(self, *args, **kwargs):
        raise ValueError("no array")


class RaisingIndex:
    def __index__(self):
        raise ValueError("no index")


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Destroyer:
    """Destroys the accumulator under test (if any) while being converted."""

    acc = None
    ARRAY = [0, 1, 2]
    INDEX = 1

    def __array__(self, *args, **kwargs):
        if self.acc is not None:
            self.acc.destroy()
        return np.array(self.ARRAY, dtype=np.int8)

    def __index__(self):
        if self.acc is not None:
            self.acc.destroy()
        return self.INDEX


def nest(depth):
    x = [1]
    for _ in range(depth):
        x = [x]
    return x


DTYPES = ["<i2", ">i2", "i1", "u1", "<i8", ">i8", "?", "<f8", "c16", "O", "<u2"]
SHAPES = [(), (0,), (3, 0), (0, 3), (5,), (2, 3), (40,)]


def array_case(dtype, shape):
    return (np.arange(int(np.prod(shape)), dtype=np.int64) * 37 - 90).reshape(shape).astype(dtype)


INTS = st.integers(-2**70, 2**70)
ARRAY_LIKES = st.one_of(
    st.sampled_from([None, "12", b"\x01\x02", {"a": 1}, 1.5, 2j, [[1, 2], [3]], [1, [2]],
                     RaisingArray(), RaisingIndex(), Destroyer()]),
    st.integers(0, 90).map(nest),
    INTS,
    st.lists(st.integers(-2**17, 2**17), max_size=40),
    st.builds(array_case, st.sampled_from(DTYPES), st.sampled_from(SHAPES)),
)
COUNTS = st.one_of(
    st.sampled_from([None, "1", 1.0, 2j, RaisingIndex(), Destroyer(), [1]]),
    INTS,
    st.integers(-80, 80).map(Index),
)

# Predictions: a list of ints or an int for what converts, an exception type
# for what does not.
INT32 = (-2**31, 2**31 - 1)
INT64 = (-2**63, 2**63 - 1)
DTYPE = {"q15": np.int16, "q8": np.int8, "i64": np.int64}
SAMPLE_BITS = {"q15": 16, "q8": 8, "i64": 64}


def converted(obj, dtype):
    """The flat samples the array conversion gives: NumPy's own rules (array
    inputs are cast only under the safe rule)."""
    if isinstance(obj, Destroyer):
        return list(Destroyer.ARRAY)
    try:
        if isinstance(obj, np.ndarray):
            # The array itself, not its dtype: NumPy 1.x casts a 0-d array
            # by its value, as the conversion does.
            if not np.can_cast(obj, dtype, "safe"):
                return TypeError
            return obj.astype(dtype).ravel().tolist()
        return np.array(obj, dtype=dtype).ravel().tolist()
    except Exception as exc:
        return type(exc)


def integer(obj, bounds):
    """The value an "i", "l" or "L" argument parses to."""
    if isinstance(obj, Destroyer):
        return Destroyer.INDEX
    if isinstance(obj, float):
        return TypeError
    try:
        value = operator.index(obj)
    except Exception as exc:
        return type(exc)
    return value if bounds[0] <= value <= bounds[1] else OverflowError


def failed(*predictions):
    """The first failing prediction, in argument order, or None."""
    return next((p for p in predictions if isinstance(p, type)), None)


BINARY = {"add": model.add, "sub": model.sub, "mul": model.mul}


def function_outcome(name, a, b):
    op, fmt = name.split("_")
    dtype, bits = DTYPE[fmt], SAMPLE_BITS[fmt]
    if op in ("shl", "shr"):
        # The count is parsed before the array is converted.
        n = integer(b, INT32)
        x = converted(a, dtype) if not isinstance(n, type) else None
        if failed(n, x):
            return failed(n, x)
        if bits == 64:
            rule = model.shl_i64 if op == "shl" else model.shr_i64
            return [rule(v, n) for v in x]
        rule = model.shl_sat if op == "shl" else model.shr_round
        return [rule(v, n, bits) for v in x]
    x = converted(a, dtype)
    y = converted(b, dtype) if not isinstance(x, type) else None
    if failed(x, y):
        return failed(x, y)
    if op == "dot":
        return model.dot(x, y, 64 if bits == 16 else 32)
    head = [BINARY[op](u, v, bits) for u, v in zip(x, y)]
    return head + [0] * (len(x) - len(head))


FUNCTIONS = [f"{op}_{fmt}" for fmt in ("q15", "q8") for op in ("add", "sub", "mul", "dot", "shl", "shr")]
FUNCTIONS += ["shl_i64", "shr_i64"]


@pytest.mark.parametrize("name", FUNCTIONS)
@FAST
@given(a=ARRAY_LIKES, data=st.data())
def test_module_functions_hostile_arguments(name, a, data):
    b = data.draw(COUNTS if name[:3] in ("shl", "shr") else ARRAY_LIKES)
    want = function_outcome(name, a, b)
    if isinstance(want, type):
        with pytest.raises(want):
            getattr(arith, name)(a, b)
        return
    got = getattr(arith, name)(a, b)
    if name.startswith("dot"):
        assert type(got) is int and got == want
    else:
        assert got.dtype == DTYPE[name.split("_")[1]] and got.ndim == 1 and got.tolist() == want


ACC_METHODS = ["reset", "step", "steps", "get_acc", "set_acc", "get", "dump", "madd", "destroy",
               "__enter__", "__exit__", "state_bytes", "get_state", "set_state"]
NO_ARGUMENTS = {"reset", "get_acc", "get", "dump", "destroy", "__enter__", "state_bytes", "get_state"}
ARGUMENT_COUNT = {"step": 1, "steps": 1, "set_acc": 1, "madd": 2, "set_state": 1}
FAMILIES = [(arith.AccQ15, 16, 64), (arith.AccQ8, 8, 32)]
ANY_ARG = st.one_of(ARRAY_LIKES, COUNTS, st.binary(min_size=19, max_size=25))
UNPREDICTED = object()   # a blob of the right size: restored, or refused by its checks
RELEASED = object()


def method_outcome(acc, method, args, sbits, rbits, before):
    """The register a call leaves, RELEASED, UNPREDICTED, or an exception type."""
    if method in NO_ARGUMENTS and args:
        return TypeError
    if method in ("destroy", "__exit__"):
        return RELEASED
    if method in ("reset", "dump"):
        return 0
    if method in NO_ARGUMENTS:
        return before
    if len(args) != ARGUMENT_COUNT[method]:
        return TypeError
    dtype = np.int16 if sbits == 16 else np.int8
    if method == "set_state":
        if not isinstance(args[0], bytes):
            return TypeError
        return UNPREDICTED if len(args[0]) == acc.state_bytes() else ValueError
    if method in ("step", "set_acc"):
        parsed = [integer(args[0], INT32 if method == "step" else INT64)]
    else:
        parsed = []
        for arg in args:  # converted in order; the first failure ends the call
            parsed.append(converted(arg, dtype))
            if isinstance(parsed[-1], type):
                return parsed[-1]
    if failed(*parsed):
        return failed(*parsed)
    if any(isinstance(a, Destroyer) for a in args):
        return RuntimeError
    if method == "step":
        return model.wrap(before + model.wrap(parsed[0], sbits), rbits)
    if method == "set_acc":
        return model.wrap(parsed[0], rbits)
    if method == "steps":
        return model.wrap(before + sum(parsed[0]), rbits)
    return model.wrap(before + model.dot(parsed[0], parsed[1], rbits), rbits)


@pytest.mark.parametrize("cls,sbits,rbits", FAMILIES, ids=["Q15", "Q8"])
@pytest.mark.parametrize("method", ACC_METHODS)
@FAST
@given(start=st.integers(-2**31, 2**31 - 1), args=st.lists(ANY_ARG, max_size=3))
def test_accumulator_methods_hostile_arguments(cls, sbits, rbits, method, start, args):
    acc = cls(start)
    for a in args:
        if isinstance(a, Destroyer):
            a.acc = acc
    before = acc.get()
    want = method_outcome(acc, method, args, sbits, rbits, before)
    call = getattr(acc, method)
    if want is UNPREDICTED:
        try:
            call(*args)
        except ValueError:
            assert acc.get() == before
        return
    if isinstance(want, type):
        with pytest.raises(want) as info:
            call(*args)
        if want is RuntimeError:
            assert str(info.value) == "destroyed"
        # A conversion that destroyed the object may be followed by one that fails.
        if not any(isinstance(a, Destroyer) for a in args):
            assert acc.get() == before
        return
    result = call(*args)
    if want is RELEASED:
        assert result is None
        with pytest.raises(RuntimeError, match="^destroyed$"):
            acc.get()
        return
    assert acc.get() == want
    if method == "__enter__":
        assert result is acc
    elif method in ("get_state", "state_bytes"):
        assert result == (acc.get_state() if method == "get_state" else len(acc.get_state()))
    else:
        assert result == (before if method in ("get_acc", "get", "dump") else None)
