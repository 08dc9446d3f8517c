"""A/B of the elementwise kernels of two builds, called natively.

    python benchmarks/ab_kernels.py OLD.so NEW.so

Times each kernel of both shared objects through ctypes on preallocated
buffers (no conversion, no allocation), so only the kernels differ; prints
old/new. Used to check that the hand-written block paths beat the plain loops
the compiler vectorises by itself (build those from the same sources with the
block paths removed, or with -fno-tree-vectorize for the scalar floor).
"""
import ctypes
import sys

import numpy as np

from bench import best_time, fmt_time

KERNELS = (("add_q15", np.int16), ("sub_q15", np.int16), ("mul_q15", np.int16),
           ("add_q8", np.int8), ("sub_q8", np.int8), ("mul_q8", np.int8))
SIZES = (16, 4096, 1 << 20)


def timer(lib, name, a, b, out):
    kernel = getattr(lib, name)
    kernel.restype = None
    kernel.argtypes = [ctypes.c_void_p, ctypes.c_size_t] * 2 + [ctypes.c_void_p]
    args = (a.ctypes.data, a.size, b.ctypes.data, b.size, out.ctypes.data)
    return lambda: kernel(*args)


def main():
    old, new = (ctypes.CDLL(path) for path in sys.argv[1:3])
    rng = np.random.default_rng(0)
    for size in SIZES:
        for name, dtype in KERNELS:
            info = np.iinfo(dtype)
            a, b = (rng.integers(info.min, info.max, size, dtype=dtype, endpoint=True) for _ in "ab")
            out = np.empty_like(a)
            t_old = best_time(timer(old, name, a, b, out))
            t_new = best_time(timer(new, name, a, b, out))
            print(f"{name:8s} n={size:<8d} old {fmt_time(t_old)}  new {fmt_time(t_new)}  "
                  f"old/new {t_old / t_new:5.2f}x")


if __name__ == "__main__":
    main()
