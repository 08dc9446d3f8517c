"""Both roads into every entry: plain arrays and exact ints passed by position
are used as they are, everything else is parsed and converted. Results must
not depend on the road, and what fails must fail in the argument parser's
own words."""
import numpy as np
import pytest

import corvane.arith as arith
import model

FUNCTIONS = [f"{op}_{fmt}" for fmt in ("q15", "q8") for op in ("add", "sub", "mul", "dot", "shl", "shr")]
FUNCTIONS += ["shl_i64", "shr_i64"]
DTYPE = {"q15": np.int16, "q8": np.int8, "i64": np.int64}


class Sub(np.ndarray):
    pass


def samples(dtype, n, seed):
    info = np.iinfo(dtype)
    return np.random.default_rng(seed).integers(info.min, info.max, n, dtype=dtype, endpoint=True)


def other_roads(x):
    """The values of the plain array x in forms that take the general road."""
    doubled = np.repeat(x, 2)
    return {
        "list": x.tolist(),
        "swapped": x.astype(x.dtype.newbyteorder()),
        "subclass": x.view(Sub),
        "strided": doubled[::2],
        "fortran": np.asfortranarray(np.stack([x, x])),  # read flat in C order below
    }


def flat(road, x):
    return np.concatenate([x, x]) if road == "fortran" else x


def as_result(value):
    return value.tolist() if isinstance(value, np.ndarray) else value


def model_result(name, a, second):
    op, fmt = name.split("_")
    bits = {"q15": 16, "q8": 8, "i64": 64}[fmt]
    a = a.tolist()
    if op in ("shl", "shr"):
        if bits == 64:
            return [getattr(model, f"{op}_i64")(x, second) for x in a]
        rule = model.shl_sat if op == "shl" else model.shr_round
        return [rule(x, second, bits) for x in a]
    b = second.tolist()
    if op == "dot":
        return model.dot(a, b, 64 if bits == 16 else 32)
    head = [getattr(model, op)(x, y, bits) for x, y in zip(a, b)]
    return head + [0] * (len(a) - len(head))


@pytest.mark.parametrize("n", [0, 1, 37])
@pytest.mark.parametrize("name", FUNCTIONS)
def test_functions_same_result_on_every_road(name, n):
    func, dtype = getattr(arith, name), DTYPE[name.split("_")[1]]
    shift = name[:3] in ("shl", "shr")
    a = samples(dtype, n, n)
    second = 3 if shift else samples(dtype, max(n - 1, 0), n + 1)  # b shorter: zero tail
    plain = as_result(func(a, second))
    assert plain == model_result(name, a, second)
    keywords = {"a": a, "n" if shift else "b": second}
    assert as_result(func(**keywords)) == plain
    assert as_result(func(a, **{k: v for k, v in keywords.items() if k != "a"})) == plain
    for road, x in other_roads(a).items():
        assert as_result(func(x, second)) == as_result(func(flat(road, a), second)), road
    seconds = [np.int64(3), np.int16(3), np.array(3)] if shift else list(other_roads(second).values())[:4]
    for s in seconds:
        assert as_result(func(a, s)) == plain


@pytest.mark.parametrize("cls", [arith.AccQ15, arith.AccQ8])
def test_methods_same_register_on_every_road(cls):
    dtype = np.int16 if cls is arith.AccQ15 else np.int8
    a, b = samples(dtype, 50, 1), samples(dtype, 40, 2)
    forms = [(a, b)] + list(zip(other_roads(a).values(), other_roads(b).values()))[:4]
    registers = set()
    for x, y in forms:
        acc = cls(5)
        acc.madd(x, y)
        acc.steps(x)
        for v in (7, -40000, 2**31 - 1, np.int16(-3), True):
            acc.step(v)
        registers.add(acc.get())
    rbits = 64 if cls is arith.AccQ15 else 32
    sbits = 16 if cls is arith.AccQ15 else 8
    steps = sum(model.wrap(v, sbits) for v in (7, -40000, 2**31 - 1, -3, 1))
    want = model.wrap(5 + model.dot(a.tolist(), b.tolist(), rbits) + sum(a.tolist()) + steps, rbits)
    assert registers == {want}


# Calls that fail in the argument parser, in the forms a plain call is closest
# to: wrong counts, unknown or repeated keywords, counts the "i" format refuses.
A = np.arange(4, dtype=np.int16)
FAILING_CALLS = [
    ((), {}), ((A,), {}), ((A, A, A), {}), ((A,), {"c": A}), ((A, A), {"a": A}),
    ((A, A), {"b": A}), ((), {"a": A}),
]
FAILING_COUNTS = [2**31, -2**31 - 1, 2**64, 1.5, "3", None, np.float64(2.0)]


def parser_error(args, kwargs, fmt, kwlist):
    capi = pytest.importorskip("_testcapi")
    try:
        capi.parse_tuple_and_keywords(args, kwargs, fmt, kwlist)
    except Exception as exc:
        return type(exc), str(exc)
    return None


def raised(call):
    try:
        call()
    except Exception as exc:
        return type(exc), str(exc)
    return None


@pytest.mark.parametrize("name", ["add_q15", "mul_q15", "dot_q15", "shl_q15", "shr_q15"])
def test_parse_failures_in_the_parsers_words(name):
    func = getattr(arith, name)
    shift = name[:3] in ("shl", "shr")
    fmt, kwlist = ("Oi", ("a", "n")) if shift else ("OO", ("a", "b"))
    calls = [(args, {("n" if k == "b" and shift else k): v for k, v in kw.items()})
             for args, kw in FAILING_CALLS]
    if shift:
        calls += [((A, n), {}) for n in FAILING_COUNTS] + [((A,), {"n": n}) for n in FAILING_COUNTS]
    for args, kwargs in calls:
        want = parser_error(args, dict(kwargs), fmt, kwlist)
        assert want is not None
        assert raised(lambda: func(*args, **kwargs)) == want, (args, kwargs)


def positional_error(fmt, args):
    """PyArg_ParseTuple's failure for args: "i" through a METH_VARARGS function
    of CPython's test module, the object formats by their fixed wording."""
    if fmt == "i":
        return raised(lambda: pytest.importorskip("_testcapi").getargs_i(*args))
    n = len(fmt)
    return TypeError, f"function takes exactly {n} argument{'s' * (n > 1)} ({len(args)} given)"


@pytest.mark.parametrize("cls", [arith.AccQ15, arith.AccQ8])
@pytest.mark.parametrize("method,fmt", [("step", "i"), ("steps", "O"), ("madd", "OO")])
def test_method_parse_failures_in_the_parsers_words(cls, method, fmt):
    call = getattr(cls(), method)
    arity = len(fmt)
    calls = [(A,) * k for k in range(4) if k != arity]
    calls += [(n,) for n in FAILING_COUNTS] if fmt == "i" else []
    for args in calls:
        assert raised(lambda: call(*args)) == positional_error(fmt, args), args
    keyword_call = {"step": lambda acc: acc.step(x=A), "steps": lambda acc: acc.steps(x=A),
                    "madd": lambda acc: acc.madd(A, x=A)}[method]
    assert raised(lambda: keyword_call(cls())) == \
        (TypeError, f"{cls.__name__}.{method}() takes no keyword arguments")
