"""Cost of a call against its floor: the cheapest Python call of the same shape.

The floor is a small probe extension (benchmarks/floor_probe.c, built here into
a temporary directory with the interpreter's C compiler) whose METH_FASTCALL
functions take exact arrays as they are, allocate the same fresh output and
move the same bytes. "floor/ours" near 1.00x means the call costs nothing
beyond the work (0.50x: twice the floor's time). AccQ15.step is held against
`s += x` on Python ints.

Rows: each corvane.arith function and accumulator method at each size n. Both
sides are timed as timeit statements (no wrapper function per call); a row
named "name*K" times K statements at once, so "ours" is the time of K calls,
the ratio that of one. No ns/elem: these rows time calls, not samples.
"""
import functools
import hashlib
import importlib.util
import os
import pathlib
import shlex
import subprocess
import sys
import sysconfig
import tempfile
import timeit

import numpy as np

from corvane import arith

TITLE = "calls: ours against the floor of a call of the same shape"
PER_ELEMENT = False
BASELINES = {
    "floor": "the probe's call of the same shape: same inputs, same fresh output, same bytes moved",
    "s+=x": "adding a Python int to a Python int, for AccQ15.step",
}
HERE = pathlib.Path(__file__).resolve().parent

FUNCTIONS = [f"{op}_{fmt}" for fmt in ("q15", "q8") for op in ("add", "sub", "mul", "dot", "shl", "shr")]
FUNCTIONS += ["shl_i64", "shr_i64"]
DTYPE = {"q15": np.int16, "q8": np.int8, "i64": np.int64}
STATEMENT_BYTES = 1 << 22  # a row times about this many bytes of input per call


@functools.lru_cache(maxsize=None)
def floor_probe():
    """Builds (once per source, interpreter and NumPy) and imports the probe."""
    src = HERE / "floor_probe.c"
    key = hashlib.sha256(src.read_bytes() + sys.version.encode() + np.__version__.encode())
    outdir = pathlib.Path(tempfile.gettempdir()) / f"corvane-floor-{key.hexdigest()[:16]}"
    lib = outdir / f"floor_probe{sysconfig.get_config_var('EXT_SUFFIX')}"
    if not lib.exists():
        outdir.mkdir(parents=True, exist_ok=True)
        partial = outdir / f"build-{os.getpid()}.so"
        cc = shlex.split(sysconfig.get_config_var("CC") or "cc")
        subprocess.run(cc + ["-O3", "-march=native", "-shared", "-fPIC",
                             "-I", sysconfig.get_paths()["include"], "-I", np.get_include(),
                             str(src), "-o", str(partial)], check=True)
        os.replace(partial, lib)
    spec = importlib.util.spec_from_file_location("floor_probe", lib)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def statements(stmt, names, number):
    """A callable running `stmt` number times, its names local as in timeit."""
    setup = "; ".join(f"{name} = _ns['{name}']" for name in names)
    timer = timeit.Timer(stmt, setup, globals={"_ns": names})
    return functools.partial(timer.timeit, number)


def samples(dtype, size, seed):
    info = np.iinfo(dtype)
    return np.random.default_rng(seed).integers(info.min, info.max, size, dtype=dtype, endpoint=True)


def cases(size):
    """(name, our statement and names, baseline label, statement and names)."""
    probe = floor_probe()
    for name in FUNCTIONS:
        op, fmt = name.split("_")
        a = samples(DTYPE[fmt], size, 1)
        second = 3 if op in ("shl", "shr") else samples(DTYPE[fmt], size, 2)
        floor = probe.shift if op in ("shl", "shr") else probe.dot if op == "dot" else probe.binary
        yield (name, "f(a, b)", {"f": getattr(arith, name), "a": a, "b": second},
               "floor", "f(a, b)", {"f": floor, "a": a, "b": second})
    for cls, dtype in ((arith.AccQ15, np.int16), (arith.AccQ8, np.int8)):
        a, b = samples(dtype, size, 3), samples(dtype, size, 4)
        for method, stmt in (("madd", "acc.madd(a, b)"), ("steps", "acc.steps(a)")):
            yield (f"{cls.__name__}.{method}", stmt, {"acc": cls(), "a": a, "b": b},
                   "floor", stmt, {"acc": probe.Sink(), "a": a, "b": b})
    if size == 16:
        yield ("AccQ15.step", "acc.step(x)", {"acc": arith.AccQ15(), "x": 1234},
               "s+=x", "s += x", {"s": 0, "x": 1234})


def repeats(size, total_bytes):
    """Statements per timed run: about total_bytes of input, at least one."""
    return 1 if size == 0 else max(1, total_bytes // size)


def rows(size):
    number = repeats(size, STATEMENT_BYTES)
    for name, stmt, ours, label, base_stmt, base in cases(size):
        n = number * (16 if name.endswith(".step") else 1)
        yield (f"{name}*{n}" if n > 1 else name, statements(stmt, ours, n),
               {label: statements(base_stmt, base, n)})


def interleaved(stmt, ours, base_stmt, base, number, rounds):
    """Best per-statement times of ours and the baseline, timed in turns over
    many short runs, so that a busy machine slows both alike and the minimum
    finds the quiet moments."""
    run_ours, run_base = statements(stmt, ours, number), statements(base_stmt, base, number)
    best_ours = best_base = float("inf")
    for _ in range(rounds):
        best_ours = min(best_ours, run_ours())
        best_base = min(best_base, run_base())
    return best_ours / number, best_base / number


def time_text(t):
    for unit, scale in (("ms", 1e-3), ("us", 1e-6)):
        if t >= scale:
            return f"{t / scale:8.2f} {unit}"
    return f"{t * 1e9:8.1f} ns"


def main():
    """Prints baseline/ours for every entry and size from interleaved runs."""
    sizes = [int(x) for x in sys.argv[1:]] or [16, 4096, 1 << 20, 16 << 20]
    print(f"{'entry':14s} {'n':>9s} {'ours':>11s} {'baseline':>11s}  ratio  (baseline/ours)")
    for size in sizes:
        number = repeats(size, 1 << 15)
        rounds = 300 if size <= 4096 else 40
        for name, stmt, ours, label, base_stmt, base in cases(size):
            t_ours, t_base = interleaved(stmt, ours, base_stmt, base, number, rounds)
            print(f"{name:14s} {size:9d} {time_text(t_ours)} {time_text(t_base)}  "
                  f"{t_base / t_ours:5.2f}x  ({label})", flush=True)


if __name__ == "__main__":
    main()
