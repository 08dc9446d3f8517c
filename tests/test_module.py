"""Start-up, the function table, docstrings and exports of corvane.arith."""
import ctypes
import doctest
import json
import os
import pathlib
import shutil
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import corvane.arith as arith
import model

FUNCTIONS = [
    "add_q15", "sub_q15", "mul_q15", "dot_q15", "shl_q15", "shr_q15",
    "add_q8", "sub_q8", "mul_q8", "dot_q8", "shl_q8", "shr_q8",
    "shl_i64", "shr_i64",
]
EXPECTED_DOCS = json.loads((pathlib.Path(__file__).parent / "data" / "docstrings.json").read_text())


def test_function_table_order_then_types():
    names = [n for n in vars(arith) if not n.startswith("__")]
    assert names == FUNCTIONS + ["AccQ15", "AccQ8"]


@pytest.mark.parametrize("name", FUNCTIONS + ["__module__"])
def test_docstring_exact(name):
    obj = arith if name == "__module__" else getattr(arith, name)
    assert obj.__doc__ == EXPECTED_DOCS[name]


def _documented_objects():
    yield "arith", arith
    for name in FUNCTIONS:
        yield name, getattr(arith, name)
    for tname in ("AccQ15", "AccQ8"):
        tp = getattr(arith, tname, None)
        if tp is None:
            continue
        yield tname, tp
        for mname, member in vars(tp).items():
            if not mname.startswith("__") or mname in ("__enter__", "__exit__"):
                yield f"{tname}.{mname}", member


@pytest.mark.parametrize("name,obj", list(_documented_objects()), ids=lambda v: v if isinstance(v, str) else "")
def test_docstring_examples_run(name, obj):
    doc = obj.__doc__ or ""
    test = doctest.DocTestParser().get_doctest(doc, {}, name, None, 0)
    if not test.examples:
        pytest.skip("no examples")
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test, out=lambda s: pytest.fail(s))
    assert runner.failures == 0 and runner.tries == len(test.examples)


EXPORT_SAMPLES = {
    "q15": ([-32768, -32767, -1, 0, 1, 16384, 32767], ctypes.c_int16, 16),
    "q8": ([-128, -127, -1, 0, 1, 64, 127], ctypes.c_int8, 8),
    "i64": ([-2**63, -1, 0, 1, 2**62, 2**63 - 1], ctypes.c_int64, 64),
}


def _exported_result(lib, name):
    """Calls the kernel `name` through the module's dynamic symbol table."""
    op, fmt = name.split("_")
    values, ctype, _ = EXPORT_SAMPLES[fmt]
    n = len(values)
    a, b, out = (ctype * n)(*values), (ctype * n)(*values[::-1]), (ctype * n)()
    kernel = getattr(lib, name)
    if op == "dot":
        kernel.restype = ctypes.c_int64 if fmt == "q15" else ctypes.c_int32
        return kernel(a, ctypes.c_size_t(n), b, ctypes.c_size_t(n))
    if op in ("shl", "shr"):
        kernel(a, ctypes.c_size_t(n), out, ctypes.c_int(3))
    else:
        kernel(a, ctypes.c_size_t(n), b, ctypes.c_size_t(n), out)
    return list(out)


def _model_result(name):
    op, fmt = name.split("_")
    values, _, bits = EXPORT_SAMPLES[fmt]
    pairs = list(zip(values, values[::-1]))
    if op == "dot":
        return model.dot(values, values[::-1], 64 if bits == 16 else 32)
    if op in ("add", "sub", "mul"):
        return [getattr(model, op)(x, y, bits) for x, y in pairs]
    if bits == 64:
        return [getattr(model, f"{op}_i64")(x, 3) for x in values]
    rule = model.shl_sat if op == "shl" else model.shr_round
    return [rule(x, 3, bits) for x in values]


def test_kernels_exported_by_name():
    lib = ctypes.CDLL(arith.__file__)
    missing = [name for name in FUNCTIONS if not hasattr(lib, name)]
    assert missing == []
    assert {name: _exported_result(lib, name) for name in FUNCTIONS} == \
        {name: _model_result(name) for name in FUNCTIONS}
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm not available to list the dynamic symbol table")
    out = subprocess.run([nm, "-D", "--defined-only", arith.__file__],
                         capture_output=True, text=True, check=True).stdout
    exported = {line.split()[-1] for line in out.splitlines()}
    exported -= {"_init", "_fini", "_edata", "_end", "__bss_start"}
    acc_ops = ["create", "destroy", "reset", "steps", "get_acc", "set_acc", "get", "dump",
               "madd", "state_bytes", "get_state", "set_state"]
    acc_names = {f"acc_{fam}_{op}" for fam in ("q15", "q8") for op in acc_ops}
    # corvane_path hands out each kernel's block paths to the path tests, and
    # corvane_fir_*_on run the filters on a given sums path for them.
    signal_names = {"fir_q15", "fir_q8", "narrow_q15", "narrow_q8", "to_q15_f64", "to_q15_f32",
                    "to_q8_f64", "to_q8_f32", "from_q15", "from_q8",
                    "narrow_q15_modes", "narrow_q8_modes", "corvane_rounding_name", "corvane_overflow_name",
                    "upfirdn_plan_q15", "upfirdn_plan_q8", "upfirdn_plan_free", "upfirdn_history",
                    "upfirdn_outputs", "upfirdn_next_phase", "upfirdn_q15", "upfirdn_q8",
                    "sosfilt_q15", "sos_check_q15",
                    "fir_q15_modes", "fir_q8_modes", "quantize_q15_f64", "quantize_q15_f32",
                    "quantize_q8_f64", "quantize_q8_f32"}
    test_hooks = {"corvane_path", "corvane_fir_q15_on", "corvane_fir_q8_on"}
    assert exported == set(FUNCTIONS) | acc_names | signal_names | test_hooks | {"PyInit_arith"}


def _arg_for(name, typecode):
    if name.startswith("dot") or name[:3] in ("add", "sub", "mul"):
        return (np.arange(5, dtype=typecode), np.arange(5, dtype=typecode))
    return (np.arange(5, dtype=typecode), 3)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_c_contiguous_input_reference_count_unchanged(name):
    typecode = np.int64 if name.endswith("i64") else np.int16 if name.endswith("q15") else np.int8
    args = _arg_for(name, typecode)
    arrays = [a for a in args if isinstance(a, np.ndarray)]
    before = [sys.getrefcount(a) for a in arrays]
    for _ in range(100):
        result = getattr(arith, name)(*args)
    assert [sys.getrefcount(a) for a in arrays] == before
    if isinstance(result, np.ndarray):
        assert all(result is not a for a in arrays)


def _entry(name):
    if "." in name:
        cls, method = name.split(".")
        return getattr(getattr(arith, cls)(), method), np.int16 if cls == "AccQ15" else np.int8
    fmt = name.split("_")[1]
    return getattr(arith, name), {"q15": np.int16, "q8": np.int8, "i64": np.int64}[fmt]


# Failing second arguments: after the first has converted (b refused, or an
# unsafe cast), or a count the parser refuses.
FAILING_SECOND = {"array": ["x", np.arange(3, dtype=np.float64), [1, [2]], None],
                  "count": ["n", 2**40, 1.5, None]}


@pytest.mark.parametrize("name", FUNCTIONS +
                         ["AccQ15.madd", "AccQ8.madd"])
def test_reference_counts_after_failing_calls(name):
    func, dtype = _entry(name)
    kind = "count" if name[:3] in ("shl", "shr") else "array"
    a, b = np.arange(5, dtype=dtype), np.arange(5, dtype=dtype)  # fresh: counts are real
    before = sys.getrefcount(a), sys.getrefcount(b)
    for bad in FAILING_SECOND[kind]:
        with pytest.raises((TypeError, ValueError, OverflowError)):
            func(a, bad)
        if kind == "array":
            with pytest.raises(TypeError):
                func(np.arange(3, dtype=np.float64), b)
    assert (sys.getrefcount(a), sys.getrefcount(b)) == before


def test_import_without_numpy_reports_cause():
    code = textwrap.dedent(
        """
        import sys
        sys.modules["numpy"] = None
        try:
            import corvane.arith
        except ImportError as exc:
            print("RAISED", type(exc).__name__, exc)
        """
    )
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60,
                          cwd=pathlib.Path(arith.__file__).parent.parent)
    assert "RAISED ImportError numpy._core.multiarray failed to import" in proc.stdout
    assert "ModuleNotFoundError" in proc.stderr


@pytest.fixture(scope="module")
def numpy1_python(tmp_path_factory):
    """A venv with NumPy 1.26 and, on its path, a copy of the built package."""
    if sys.version_info >= (3, 13):
        pytest.skip("NumPy 1.26 has no wheels for this Python")
    root = tmp_path_factory.mktemp("np1")
    venv = root / "venv"
    subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True, timeout=300)
    py = venv / "bin" / "python"
    pip = subprocess.run(
        [str(py), "-m", "pip", "install", "-q", "--only-binary=:all:", "numpy==1.26.*"],
        capture_output=True, text=True, timeout=600,
    )
    if pip.returncode != 0:
        pytest.skip(f"NumPy 1.26 wheel unavailable: {pip.stderr.strip()[-300:]}")
    pkg = root / "pkg"
    shutil.copytree(pathlib.Path(arith.__file__).parent, pkg / "corvane")
    return py, pkg


def test_loads_and_computes_on_numpy1(numpy1_python):
    py, pkg = numpy1_python
    code = textwrap.dedent(
        """
        import numpy as np
        from corvane import arith
        assert np.__version__.startswith("1.26"), np.__version__
        print(arith.add_q15([32767, -32768, 5], [1, -1, 5]).tolist())
        print(arith.mul_q8(np.array([-128, 64], dtype=np.int8), [-128, 64]).tolist())
        print(arith.dot_q15([100, 200, 300], [1, 2, 3]), arith.shr_i64([5, -5], 1).tolist())
        """
    )
    env = {"PYTHONPATH": str(pkg), "PATH": "/usr/bin:/bin"}
    # A sanitizer-instrumented build needs its runtime preloaded in the child too.
    env.update({k: v for k, v in os.environ.items() if k in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")})
    proc = subprocess.run([str(py), "-c", code], capture_output=True, text=True, env=env,
                          cwd=pkg, timeout=120)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split("\n")[:3] == ["[32767, -32768, 10]", "[127, 32]", "1400 [3, -2]"]


@pytest.mark.parametrize("make, copied", [
    (lambda a: a, False),                              # matching, read-only: used in place
    (lambda a: a.astype(np.int8).astype(np.int16)[::-1], True),  # reversed view: copied
])
def test_matching_input_used_in_place(make, copied):
    import tracemalloc

    a = make(np.arange(1 << 20, dtype=np.int16))
    a.flags.writeable = False
    tracemalloc.start()
    try:
        arith.dot_q15(a, a)  # no output array: any traced allocation is a converted input
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert (peak >= a.nbytes) == copied
