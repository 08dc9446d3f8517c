"""Leak and reference check of every module function and accumulator method.

For each entry, 10**5 calls (after a warm-up) cycle through succeeding and
failing argument sets: conversion errors, parse errors, rejected blobs, calls
on a destroyed object. Half of the calls use fresh (mortal) inputs, the other
half a fixed set of inputs whose reference counts must end where they began.
Resident memory and tracemalloc's traced total must not grow.

    python tools/leakcheck.py [calls per entry, default 100000]

Run it against an installed corvane (tools/ is first on sys.path, so the
source tree's corvane/ without the extension does not shadow it).
"""
import gc
import os
import sys
import tracemalloc

import numpy as np

from corvane import arith

CALLS = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
RSS_LIMIT = 1 << 20     # a leaked 8-byte record per call would be ~3 MB
TRACED_LIMIT = 64 << 10  # a leaked Python object per call would be megabytes

DTYPE = {"q15": np.int16, "q8": np.int8, "i64": np.int64}


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def blob_for(cls):
    return cls(7).get_state()


def function_cases(name):
    """Argument builders for one module function: (fresh) -> (args, kwargs)."""
    fmt = name.split("_")[1]
    dt = DTYPE[fmt]
    if name[:3] in ("shl", "shr"):
        return [
            lambda p: ((p["arr_" + fmt], 3), {}),
            lambda p: ((), {"a": p["arr_" + fmt], "n": 3}),
            lambda p: (([1, "x"], 1), {}),            # conversion error
            lambda p: ((p["arr_" + fmt], "n"), {}),   # parse error
            lambda p: ((p["arr_" + fmt], 2**40), {}),  # OverflowError
            lambda p: ((), {"a": p["arr_" + fmt], "m": 1}),
        ]
    wide = np.int64 if dt is not np.int64 else np.float64
    return [
        lambda p: ((p["arr_" + fmt], p["list"]), {}),
        lambda p: ((p["arr_" + fmt], p["arr_" + fmt]), {}),            # plain arrays: used as they are
        lambda p: ((), {"a": p["arr_" + fmt], "b": p["arr_" + fmt]}),
        lambda p: ((p["arr_" + fmt], p["str"]), {}),                # b fails after a converted
        lambda p: ((np.arange(5, dtype=wide), p["arr_" + fmt]), {}),  # a fails (unsafe cast)
        lambda p: ((p["arr_" + fmt],), {}),                          # missing argument
        lambda p: ((), {"a": p["arr_" + fmt], "b": p["list"], "c": 1}),
    ]


def method_cases(cls, method):
    """Builders (acc, inputs) -> args for one method, succeeding and failing."""
    fmt = "q15" if cls is arith.AccQ15 else "q8"
    arr = "arr_" + fmt
    noargs = [lambda acc, p: (), lambda acc, p: (p["list"],)]
    table = {
        "step": [lambda acc, p: (5,), lambda acc, p: (p["str"],), lambda acc, p: (2**40,)],
        "steps": [lambda acc, p: (p[arr],), lambda acc, p: (p["ragged"],), lambda acc, p: (p[arr], 1)],
        "set_acc": [lambda acc, p: (7,), lambda acc, p: (p["str"],)],
        "madd": [lambda acc, p: (p[arr], p["list"]), lambda acc, p: (p[arr], p[arr]),
                 lambda acc, p: (p[arr], p["str"]),
                 lambda acc, p: (p["str"], p[arr])],
        "set_state": [lambda acc, p: (p["blob_" + fmt],), lambda acc, p: (p["bad_blob_" + fmt],),
                      lambda acc, p: (p["blob_" + fmt][:-1],), lambda acc, p: (bytearray(p["blob_" + fmt]),),
                      lambda acc, p: ()],
        "__exit__": [lambda acc, p: (None, None, None)],
        "destroy": [lambda acc, p: (), lambda acc, p: (1,)],
    }
    return table.get(method, noargs)


def inputs(fresh):
    """Arguments; fresh ones are new objects each time, else the fixed set."""
    if not fresh:
        return FIXED
    blob15, blob8 = blob_for(arith.AccQ15), blob_for(arith.AccQ8)
    return {
        "arr_q15": np.arange(40, dtype=np.int16), "arr_q8": np.arange(40, dtype=np.int8),
        "arr_i64": np.arange(40, dtype=np.int64), "list": list(range(40)), "str": "x" * 3,
        "ragged": [[1, 2], [3]], "blob_q15": bytes(blob15), "blob_q8": bytes(blob8),
        "bad_blob_q15": b"X" + blob15[1:], "bad_blob_q8": b"X" + blob8[1:],
    }


FIXED = None


def measure(label, call):
    for i in range(2_000):
        call(i)
    gc.collect()
    counts = {k: sys.getrefcount(v) for k, v in FIXED.items()}
    traced0, rss0 = tracemalloc.get_traced_memory()[0], rss()
    for i in range(CALLS):
        call(i)
    gc.collect()
    traced, grown = tracemalloc.get_traced_memory()[0] - traced0, rss() - rss0
    refs = {k: sys.getrefcount(v) - counts[k] for k, v in FIXED.items() if sys.getrefcount(v) != counts[k]}
    ok = traced <= TRACED_LIMIT and grown <= RSS_LIMIT and not refs
    print(f"{label:24} {CALLS:>7} calls  rss {grown / 1024:+8.0f} KiB  traced {traced:+8d} B"
          f"  refs {refs or 'steady'}  {'ok' if ok else 'LEAK'}")
    return ok


def function_runner(name):
    func, cases = getattr(arith, name), function_cases(name)

    def call(i):
        args, kwargs = cases[i % len(cases)](inputs(i & 1))
        try:
            func(*args, **kwargs)
        except (TypeError, ValueError, OverflowError):
            pass
    return call


def method_runner(cls, method):
    cases = method_cases(cls, method)
    live = cls(1)
    dead = cls(1)
    dead.destroy()

    def call(i):
        # Lifecycle methods get a fresh object; every eighth call hits a destroyed one.
        acc = cls(i) if method in ("destroy", "__exit__", "__enter__") else live
        if i % 8 == 7:
            acc = dead
        args = cases[i % len(cases)](acc, inputs(i & 1))
        try:
            getattr(acc, method)(*args)
        except (TypeError, ValueError, OverflowError, RuntimeError):
            pass
        if acc is live and i % 64 == 0:
            live.set_acc(1)  # keep the register small
    return call


def fir_runner(name):
    """fir_q15 / fir_q8 of the package: one pass, streaming, channels, and each refusal."""
    import corvane

    func = getattr(corvane, name)
    fmt = name.split("_")[1]

    def cases(p):
        x = p["arr_" + fmt]
        taps = x[:5]
        return [
            ((x, taps), {}),
            ((x, taps), {"zi": x[:4]}),
            ((x.reshape(4, 10), taps), {"zi": x[:16].reshape(4, 4), "axis": 0}),
            ((x, p["list"][:3]), {}),                  # Python ints converted by value
            ((x, taps), {"zi": x[:3]}),                # zi of the wrong shape
            ((x, taps), {"zi": p["arr_i64"][:4]}),     # zi of an unsafe type
            ((x, x[:0]), {}),                          # empty taps
            ((x, [1, 1 << 40]), {}),                   # a tap out of range
            ((x, taps), {"zj": 1}),                    # unknown keyword
        ]

    def call(i):
        all_cases = cases(inputs(i & 1))
        args, kwargs = all_cases[i % len(all_cases)]
        try:
            func(*args, **kwargs)
        except (TypeError, ValueError, OverflowError):
            pass
    return call


def constructor_runner(cls):
    def call(i):
        try:
            cls(*[(i,), ("x",), (2**70,), (), (1, 2)][i % 5])
        except (TypeError, OverflowError):
            pass
    return call


def main():
    global FIXED
    FIXED = inputs(True)
    tracemalloc.start()
    ok = True
    for name in ("add_q15", "sub_q15", "mul_q15", "dot_q15", "shl_q15", "shr_q15",
                 "add_q8", "sub_q8", "mul_q8", "dot_q8", "shl_q8", "shr_q8", "shl_i64", "shr_i64"):
        ok &= measure(name, function_runner(name))
    for name in ("fir_q15", "fir_q8"):
        ok &= measure(name, fir_runner(name))
    for cls in (arith.AccQ15, arith.AccQ8):
        ok &= measure(f"{cls.__name__}()", constructor_runner(cls))
        for method in ("reset", "step", "steps", "get_acc", "set_acc", "get", "dump", "madd", "destroy",
                       "__enter__", "__exit__", "state_bytes", "get_state", "set_state",
                       "__reduce__", "__repr__"):
            ok &= measure(f"{cls.__name__}.{method}", method_runner(cls, method))
    tracemalloc.stop()
    print("leak check:", "clean" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
