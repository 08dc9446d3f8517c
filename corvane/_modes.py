"""``narrow`` and ``quantize``: the keyword front of the mode ufuncs.

Each (rounding, overflow) pair and sample type has a ufunc of its own in
``corvane._ufuncs`` (``narrow_q15__floor__wrap`` ...), with the modes bound in
its loops; these functions only pick it, so that broadcasting, ``out=`` and
Dask arrays work as for every other ufunc.
"""
import numpy as np

from corvane import _ufuncs

ROUNDINGS = ("nearest", "floor", "ceiling", "zero", "round", "convergent")
OVERFLOWS = ("saturate", "wrap")
_FAMILIES = {np.dtype(np.int16): "q15", np.dtype(np.int8): "q8"}


def _ufunc(kind, dtype, rounding, overflow):
    for keyword, name, valid in (("rounding", rounding, ROUNDINGS), ("overflow", overflow, OVERFLOWS)):
        if not isinstance(name, str) or name not in valid:
            names = ", ".join(f'"{v}"' for v in valid)
            raise ValueError(f"{keyword} must be one of {names}, not {name!r}")
    try:
        family = _FAMILIES[np.dtype(dtype)]
    except (TypeError, KeyError):
        raise ValueError(f"{kind}: dtype must be int16 or int8, not {dtype!r}") from None
    return getattr(_ufuncs, f"{kind}_{family}__{rounding}__{overflow}")


def narrow(x, s, dtype=np.int16, *, rounding="nearest", overflow="saturate", out=None):
    """Wide integers x shifted right by s, rounded, then brought to samples.

    For s >= 1 the exact quotient x / 2**s is rounded by `rounding`:
    "nearest" (ties towards plus infinity, the default), "floor", "ceiling",
    "zero" (towards zero), "round" (ties away from zero) or "convergent"
    (ties to even); for s <= 0 x is taken as it is. `overflow` then
    "saturate"s to the range of `dtype` (int16 or int8) or "wrap"s (keeps the
    low bits). Exact for every int64 x and every count, with nothing wrapping
    on the way. x is any signed integer type up to int64, s int32 or int64
    (counts past int32 act as its ends do), broadcast together.

    >>> narrow(np.array([5, 6, 7, -6]), 2)
    array([ 1,  2,  2, -1], dtype=int16)
    >>> narrow(np.array([5, 6, 7, -6]), 2, rounding="floor")
    array([ 1,  1,  1, -2], dtype=int16)
    >>> narrow(np.array([6, 10, -6]), 2, rounding="convergent")
    array([ 2,  2, -2], dtype=int16)
    >>> narrow(np.array([40000, 300]), 0, np.int8, overflow="wrap")
    array([ 64,  44], dtype=int8)
    """
    return _ufunc("narrow", dtype, rounding, overflow)(x, s, out=out)


def quantize(x, dtype=np.int16, *, rounding="nearest", overflow="saturate", out=None):
    """Floats to Q15 (int16, x * 2**15) or Q7 (int8, x * 2**7) samples.

    The exact scaled value is rounded by `rounding` and brought to the
    sample range by `overflow`, as for :func:`narrow`, exactly for every
    finite float32 or float64 x. NaN gives 0 and raises NumPy's "invalid"
    floating-point flag; +-inf saturate, or with "wrap" give 0 and raise
    "invalid". "wrap" keeps the low bits of the exact rounded integer, also
    for huge values. The defaults give what to_q15 / to_q8 give.

    >>> quantize(np.array([0.5, -1.0, 1.0, 2.0**-16]))
    array([ 16384, -32768,  32767,      1], dtype=int16)
    >>> quantize(np.array([0.5, -1.0, 1.0, 2.0**-16]), rounding="floor", overflow="wrap")
    array([ 16384, -32768, -32768,      0], dtype=int16)
    >>> quantize(np.array([0.3, -0.3]), np.int8, rounding="zero")
    array([ 38, -38], dtype=int8)
    """
    return _ufunc("quantize", dtype, rounding, overflow)(x, out=out)
