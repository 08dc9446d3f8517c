"""What NumPy users expect of any extension: signatures, repr, pickling, copying,
and a clear message when the extension is not built."""
import copy
import inspect
import multiprocessing
import pathlib
import pickle
import pydoc
import shutil
import subprocess
import sys

import numpy as np
import pytest

import corvane
from corvane import arith
from corvane.arith import AccQ8, AccQ15

BINARY = ["add_q15", "sub_q15", "mul_q15", "dot_q15", "add_q8", "sub_q8", "mul_q8", "dot_q8"]
SHIFTS = ["shl_q15", "shr_q15", "shl_q8", "shr_q8", "shl_i64", "shr_i64"]

# Per family: the type and register values at both ends of its range.
FAMILIES = [
    (AccQ15, [0, 1, -1, 12345, 2**63 - 1, -(2**63)]),
    (AccQ8, [0, 1, -1, -7, 2**31 - 1, -(2**31)]),
]


# ---- signatures -----------------------------------------------------------------

@pytest.mark.parametrize("name", BINARY + SHIFTS)
def test_function_signature_names_the_keywords_it_accepts(name):
    fn = getattr(arith, name)
    params = inspect.signature(fn).parameters
    assert [p.kind for p in params.values()] == [inspect.Parameter.POSITIONAL_OR_KEYWORD] * 2
    a = np.array([3, -100, 7, 120], dtype=np.int64 if name.endswith("i64") else
                 np.int16 if name.endswith("q15") else np.int8)
    second = 2 if name in SHIFTS else a[::-1].copy()
    first_name, second_name = params
    expected = fn(a, second)
    got = fn(**{first_name: a, second_name: second})
    np.testing.assert_array_equal(got, expected)
    assert f"{name}(a, {second_name})" in pydoc.render_doc(fn, renderer=pydoc.plaintext)


# method: arguments its signature must bind and the call must accept.
METHOD_ARGS = {
    "reset": (), "step": (5,), "steps": ([1, 2],), "get_acc": (), "set_acc": (9,), "get": (),
    "dump": (), "madd": ([1, 2], [3, 4]), "state_bytes": (), "get_state": (),
    "set_state": (None,), "__enter__": (), "__exit__": (None, None, None), "destroy": (),
    "__reduce__": (),
}


@pytest.mark.parametrize("method", METHOD_ARGS)
@pytest.mark.parametrize("cls", [AccQ15, AccQ8])
def test_method_signature_matches_its_calling_convention(cls, method):
    acc = cls(3)
    args = tuple(acc.get_state() if a is None and method == "set_state" else a
                 for a in METHOD_ARGS[method])
    bound = getattr(acc, method)
    sig = inspect.signature(bound)
    sig.bind(*args)
    fixed = [p for p in sig.parameters.values() if p.kind != inspect.Parameter.VAR_POSITIONAL]
    assert all(p.kind == inspect.Parameter.POSITIONAL_ONLY for p in fixed)
    if len(fixed) == len(sig.parameters):  # no *args: one argument too many is refused
        with pytest.raises(TypeError):
            sig.bind(*args, 0)
        with pytest.raises(TypeError):
            bound(*args, 0)
    bound(*args)
    assert str(inspect.signature(getattr(cls, method))).startswith("(self")


@pytest.mark.parametrize("cls", [AccQ15, AccQ8])
def test_type_signature_default_is_the_constructor_default(cls):
    param = inspect.signature(cls).parameters["acc"]
    assert cls().get() == param.default
    assert cls(**{param.name: 17}).get() == 17
    assert f"{cls.__name__}(acc=0)" in pydoc.render_doc(cls, renderer=pydoc.plaintext)


# ---- repr -----------------------------------------------------------------------

@pytest.mark.parametrize("cls,values", FAMILIES)
def test_repr_shows_the_register_and_evaluates_back(cls, values):
    for v in values:
        acc = cls(v)
        assert repr(acc) == f"{cls.__name__}({v})"
        assert eval(repr(acc), {cls.__name__: cls}).get() == v
    acc.destroy()
    assert repr(acc) == f"<{cls.__name__} destroyed>"
    assert repr(cls.__new__(cls)) == f"<{cls.__name__} destroyed>"


# ---- pickle and copy ------------------------------------------------------------

def _copies(acc):
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        yield f"pickle{protocol}", pickle.loads(pickle.dumps(acc, protocol))
    yield "copy", copy.copy(acc)
    yield "deepcopy", copy.deepcopy(acc)
    yield "deepcopy-in-list", copy.deepcopy([acc, acc])[1]


@pytest.mark.parametrize("cls,values", FAMILIES)
def test_pickle_and_copy_give_an_equal_independent_register(cls, values):
    for v in values:
        acc = cls(v)
        for how, twin in _copies(acc):
            assert type(twin) is cls and twin is not acc, how
            assert twin.get() == v and twin.get_state() == acc.get_state(), how
            twin.step(1)  # the twin owns its own record
            assert acc.get() == v, how


def test_pickled_form_names_the_restore_function_not_the_type():
    data = pickle.dumps(AccQ15(5), 2)
    assert b"corvane._pickle" in data and b"restore_accumulator" in data
    assert b"arith" not in data


@pytest.mark.parametrize("cls", [AccQ15, AccQ8])
def test_destroyed_or_uninitialised_refuses_to_pickle(cls):
    dead = cls(1)
    dead.destroy()
    for obj in (dead, cls.__new__(cls)):
        for dump in (pickle.dumps, copy.copy, copy.deepcopy):
            with pytest.raises(RuntimeError, match="^destroyed$"):
                dump(obj)


def test_restore_rejects_other_names_and_bad_blobs():
    from corvane._pickle import restore_accumulator
    with pytest.raises(ValueError, match="not an accumulator type"):
        restore_accumulator("object", AccQ15().get_state())
    with pytest.raises(ValueError):
        restore_accumulator("AccQ8", AccQ15().get_state())  # other family's length


def test_multiprocessing_pool_round_trip():
    accs = [cls(v) for cls, values in FAMILIES for v in values]
    # spawn: the children import corvane afresh, as pickles read elsewhere do.
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        back = pool.map(copy.deepcopy, accs)
    assert [(type(b), b.get()) for b in back] == [(type(a), a.get()) for a in accs]


# ---- the package folder without its extension ------------------------------------

def test_import_from_a_folder_without_the_extension_says_what_to_do(tmp_path):
    source_like = tmp_path / "corvane"
    source_like.mkdir()
    shutil.copy(pathlib.Path(corvane.__file__), source_like / "__init__.py")
    proc = subprocess.run([sys.executable, "-c", "import corvane.arith"], cwd=tmp_path,
                          capture_output=True, text=True, timeout=60)
    last = proc.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: Python imported the source folder " + str(source_like))
    assert "pip install ." in last and "PYTHONPATH=<repository>/build" in last
