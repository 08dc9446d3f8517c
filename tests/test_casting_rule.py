"""The ufuncs' casting rule: safe casts only unless casting="unsafe" is said,
refusals that name the fix, counts of any width, and the package's imports."""
import pickle

import numpy as np
import pytest

import corvane
import model
from model import Q8, Q15, wrap

I16, I32 = np.int16, np.int32

# Calls whose operands or result NumPy's default same_kind rule would cast with
# a wrap, and the result the wrap gives when the caller asks for it.
WRAPS = {
    "inputs cast by dtype=": (
        lambda **kw: corvane.add_q15(np.array([70000, 40000], I32), np.zeros(2, I32), dtype=I16, **kw),
        [model.add(wrap(70000, 16), 0, Q15), model.add(wrap(40000, 16), 0, Q15)]),
    "saturated sample into an int8 out=": (
        lambda **kw: corvane.add_q15(np.int16(30000), np.int16(30000), out=np.zeros((), np.int8), **kw),
        wrap(model.add(30000, 30000, Q15), 8)),
    "Q8 inputs cast by dtype=": (
        lambda **kw: corvane.mul_q8(np.array([300], I16), np.array([64], I16), dtype=np.int8, **kw),
        [model.mul(wrap(300, 8), 64, Q8)]),
    "inner product into an int32 out=": (
        lambda **kw: corvane.dot_q15(np.full(4, -32768, I16), np.full(4, -32768, I16), out=np.zeros((), I32), **kw),
        wrap(model.dot([-32768] * 4, [-32768] * 4, 64), 32)),
    "count cast by signature=": (
        lambda **kw: corvane.shl_q15(np.array([1], I16), np.array([(1 << 33) + 2], np.int64),
                                     signature=(I16, I32, I16), **kw),
        [model.shl_sat(1, wrap((1 << 33) + 2, 32), Q15)]),
}


@pytest.mark.parametrize("casting", [None, "same_kind", "safe", "unsafe"])
@pytest.mark.parametrize("case", WRAPS)
def test_casts_that_wrap_refused_unless_unsafe(case, casting):
    call, wrapped = WRAPS[case]
    kwargs = {} if casting is None else {"casting": casting}
    if casting != "unsafe":
        with pytest.raises(TypeError, match="cast"):
            call(**kwargs)
    else:
        assert np.asarray(call(**kwargs)).tolist() == wrapped


def test_casts_that_lose_nothing_still_work():
    a = np.array([30000, -30000, 5], I16)
    want = [model.add(v, 10, Q15) for v in a.tolist()]
    assert corvane.add_q15(a, 10).tolist() == want
    wide = np.zeros(3, I32)
    assert corvane.add_q15(a, np.int8(10), out=wide) is wide and wide.tolist() == want
    assert corvane.add_q15(a, a, casting="no").tolist() == [model.add(v, v, Q15) for v in a.tolist()]


Q15_FIX = r"int16.*np\.asarray\(x, dtype=np\.int16\)"
Q8_FIX = r"int8.*np\.asarray\(x, dtype=np\.int8\)"
LIST_INPUT = [
    *[(name, ([16384], [16384]), Q15_FIX) for name in ("add_q15", "sub_q15", "mul_q15", "dot_q15")],
    *[(name, ([64], [64]), Q8_FIX) for name in ("add_q8", "sub_q8", "mul_q8", "dot_q8")],
    *[(name, ([1000], 1), Q15_FIX) for name in ("shl_q15", "shr_q15")],
    *[(name, ([100], 1), Q8_FIX) for name in ("shl_q8", "shr_q8")],
    ("from_q15", ([16384],), Q15_FIX),
    ("from_q8", ([64],), Q8_FIX),
    ("add_q15", (np.zeros(2, I16), np.zeros(2, I32)), r"input 1 is int32.*narrow_q15\(x, 0\)"),
    ("mul_q8", (np.zeros(2, np.float32), np.zeros(2, np.int8)), r"input 0 is float32.*to_q8"),
    ("shl_i64", (np.zeros(2, np.uint64), 1), r"takes int64 as input 0"),
    ("shr_q15", (np.zeros(2, I16), np.zeros(2, np.float64)), r"takes int64 or int32 as input 1"),
    ("narrow_q15", (np.zeros(2, np.float64), 15), r"takes int32 or int64 as input 0"),
    ("to_q15", (np.array([1000, -1000], I16),), r"already are fixed point.*from_q15"),
    ("to_q8", ([1, 2],), r"already are fixed point.*from_q8"),
]


@pytest.mark.parametrize("name,args,message", LIST_INPUT, ids=[f"{n}-{i}" for i, (n, _, _) in enumerate(LIST_INPUT)])
def test_refusals_name_the_expected_type_and_the_fix(name, args, message):
    with pytest.raises(TypeError, match=f"^{name} .*{message}"):
        getattr(corvane, name)(*args)


# Counts past the int32 range act as its ends: as lists, int64 arrays and
# Python ints, for every count operand.
WIDE_COUNTS = [[-(1 << 40), -1, 0, 3, 15, 1 << 33], np.array([-(1 << 62), 2, 1 << 40], np.int64), 1 << 40]
COUNTED = {
    "shl_q15": (I16, lambda x, s: model.shl_sat(x, s, Q15)),
    "shr_q8": (np.int8, lambda x, s: model.shr_round(x, s, Q8)),
    "shr_i64": (np.int64, model.shr_i64),
    "narrow_q15": (np.int64, lambda x, s: model.narrow(x, s, Q15)),
    "narrow_q8": (I32, lambda x, s: model.narrow(x, s, Q8)),
}


@pytest.mark.parametrize("counts", WIDE_COUNTS, ids=["list", "int64", "python_int"])
@pytest.mark.parametrize("name", COUNTED)
def test_counts_of_any_width_clamp_to_int32(name, counts):
    dtype, rule = COUNTED[name]
    info = np.iinfo(dtype)
    x = np.array([info.min, -77, 77, info.max], dtype)[:, None]
    s = np.broadcast_to(np.asarray(counts, np.int64), (1, np.size(counts)))
    want = [[rule(v, model.count32(c)) for c in s[0].tolist()] for v in x[:, 0].tolist()]
    assert getattr(corvane, name)(x, counts).tolist() == want


def test_package_imports_and_pickles_the_accumulator_classes():
    import corvane.arith as arith
    assert corvane.arith is arith and corvane.arith.add_q15 is arith.add_q15
    for name in ("AccQ15", "AccQ8"):
        cls = getattr(corvane, name)
        assert cls is getattr(arith, name) and name in corvane.__all__
        assert cls.__module__ == "corvane.arith"
        assert pickle.loads(pickle.dumps(cls)) is cls
        acc = pickle.loads(pickle.dumps([cls, cls(-5)]))
        assert acc[0] is cls and acc[1].get_acc() == -5
