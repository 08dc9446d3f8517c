"""A/B of the kernels of two builds, called natively.

    python benchmarks/ab_kernels.py OLD.so NEW.so [NAME ...]

Times each kernel of both shared objects in a tight native loop on
preallocated buffers (kernel_timer.cpp, built here with the system C++
compiler; no ctypes call, conversion or allocation per call), so only the
kernels differ. Prints old/new: above 1 means NEW is faster. NAMEs pick
kernels (default: all). The two builds alternate over several rounds and the
best round of each counts, which keeps other load on the machine out of the
ratio. Used to check that a new block path beats the one it replaces, and that
the hand-written paths beat the plain loops the compiler vectorises by itself
(a build with -DCORVANE_PORTABLE=ON).
"""
import ctypes
import os
import subprocess
import sys
import tempfile

import numpy as np

C = ctypes
HERE = os.path.dirname(os.path.abspath(__file__))
BINARY, DOT64, DOT32, SHIFT = range(4)
# name, dtype, kind, shift count (the scaling regime, where the lanes work)
KERNELS = (("add_q15", np.int16, BINARY, 0), ("sub_q15", np.int16, BINARY, 0),
           ("mul_q15", np.int16, BINARY, 0), ("add_q8", np.int8, BINARY, 0),
           ("sub_q8", np.int8, BINARY, 0), ("mul_q8", np.int8, BINARY, 0),
           ("dot_q15", np.int16, DOT64, 0), ("dot_q8", np.int8, DOT32, 0),
           ("shl_q15", np.int16, SHIFT, 3), ("shr_q15", np.int16, SHIFT, 5),
           ("shl_q8", np.int8, SHIFT, 2), ("shr_q8", np.int8, SHIFT, 3),
           ("shl_i64", np.int64, SHIFT, 7), ("shr_i64", np.int64, SHIFT, 9))
SIZES = (16, 4096, 1 << 20)
ROUNDS = 100          # alternations of old and new
ROUND_SECONDS = 0.0005  # per build per round: short, to find slices without preemption


def build_timer(tmp):
    path = os.path.join(tmp, "kernel_timer.so")
    subprocess.run([os.environ.get("CXX", "c++"), "-O2", "-std=c++17", "-shared", "-fPIC",
                    os.path.join(HERE, "kernel_timer.cpp"), "-o", path], check=True)
    timer = C.CDLL(path)
    timer.kernel_best_ns.restype = C.c_double
    timer.kernel_best_ns.argtypes = [C.c_int, C.c_void_p, C.c_void_p, C.c_size_t, C.c_void_p,
                                     C.c_void_p, C.c_int, C.c_long, C.c_int]
    return timer


def fmt_ns(ns):
    return f"{ns / 1000:9.2f} us" if ns >= 1000 else f"{ns:9.1f} ns"


def main():
    libs = [C.CDLL(path) for path in sys.argv[1:3]]
    wanted = set(sys.argv[3:])
    rng = np.random.default_rng(0)
    with tempfile.TemporaryDirectory() as tmp:
        timer = build_timer(tmp)
        print(f"{'kernel':8s} {'n':>8s} {'old':>12s} {'new':>12s}  old/new (above 1: new is faster)")
        for size in SIZES:
            for name, dtype, kind, s in KERNELS:
                if wanted and name not in wanted:
                    continue
                info = np.iinfo(dtype)
                a, b = (rng.integers(info.min, info.max, size, dtype=dtype, endpoint=True) for _ in "ab")
                out = np.empty_like(a)
                fns = [C.cast(getattr(lib, name), C.c_void_p).value for lib in libs]
                args = (a.ctypes.data, size, b.ctypes.data, out.ctypes.data, s)
                probe = timer.kernel_best_ns(kind, fns[0], *args, 10, 1)
                reps = max(1, int(ROUND_SECONDS * 1e9 / max(probe, 1.0)))
                best = [float("inf")] * 2
                for _ in range(ROUNDS):
                    for k in (0, 1):
                        best[k] = min(best[k], timer.kernel_best_ns(kind, fns[k], *args, reps, 1))
                print(f"{name:8s} {size:8d} {fmt_ns(best[0])} {fmt_ns(best[1])}  {best[0] / best[1]:5.2f}x",
                      flush=True)


if __name__ == "__main__":
    main()
