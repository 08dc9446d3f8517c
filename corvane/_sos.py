"""Quantisation of float second-order sections to the integer rows that
:func:`corvane.sosfilt_q15` runs."""
import numpy as np

__all__ = ["quantize_sos"]

_ROUNDINGS = ("nearest", "floor", "ceiling", "zero", "round", "convergent")
_MAX_FRAC = 15
_LO, _HI = -32768, 32767


def _round(v, rounding):
    """v (float64, scaled by a power of two: exact) rounded to integers."""
    low = np.floor(v)
    r = v - low  # exact, 0 <= r < 1
    if rounding == "floor":
        up = np.zeros(v.shape, bool)
    elif rounding == "ceiling":
        up = r > 0
    elif rounding == "zero":
        up = (r > 0) & (v < 0)
    elif rounding == "nearest":
        up = r >= 0.5
    elif rounding == "round":
        up = (r > 0.5) | ((r == 0.5) & (v >= 0))
    else:
        up = (r > 0.5) | ((r == 0.5) & (low % 2 == 1))
    return low + up


def quantize_sos(sos, frac_bits=None, *, rounding="nearest"):
    """Float second-order sections (SciPy's rows [b0, b1, b2, a0, a1, a2]) as
    the int32 rows of :func:`corvane.sosfilt_q15`: each coefficient divided by
    a0, times 2**f, rounded by `rounding`; a0 becomes 2**f.

    f is, per section, the largest f <= 15 for which all five coefficients fit
    the int16 range after rounding, or `frac_bits` for every section (a
    ValueError naming the row and the column when one does not fit).

    >>> quantize_sos([[0.5, 1.0, 0.5, 1.0, -0.25, 0.125]])
    array([[16384, 32767, 16384, 32768, -8192,  4096]], dtype=int32)
    """
    if rounding not in _ROUNDINGS:
        raise ValueError(f"rounding must be one of {', '.join(map(repr, _ROUNDINGS))}, not {rounding!r}")
    arr = np.asarray(sos)
    if arr.dtype.kind not in "biuf":
        raise TypeError(f"quantize_sos: sos must hold real numbers, not {arr.dtype}")
    arr = arr.astype(np.float64)
    if arr.ndim != 2 or arr.shape[1] != 6 or arr.shape[0] == 0:
        raise ValueError(f"quantize_sos: sos must have shape (n_sections, 6), not {arr.shape}")
    if not np.all(np.isfinite(arr)):
        row, col = np.argwhere(~np.isfinite(arr))[0]
        raise ValueError(f"quantize_sos: sos[{row}, {col}] is not finite")
    if np.any(arr[:, 3] == 0):
        raise ValueError(f"quantize_sos: sos[{int(np.argmax(arr[:, 3] == 0))}, 3] (a0) is zero")
    if frac_bits is not None:
        if isinstance(frac_bits, bool) or not isinstance(frac_bits, (int, np.integer)) \
                or not 0 <= frac_bits <= _MAX_FRAC:
            raise ValueError(f"quantize_sos: frac_bits must be an integer in 0..{_MAX_FRAC}, not {frac_bits!r}")
    coef = arr[:, [0, 1, 2, 4, 5]] / arr[:, 3:4]
    out = np.empty(arr.shape, np.int64)
    for row, c in enumerate(coef):
        for f in ([int(frac_bits)] if frac_bits is not None else range(_MAX_FRAC, -1, -1)):
            q = _round(np.ldexp(c, f), rounding)
            bad = (q < _LO) | (q > _HI)
            if not bad.any():
                break
        else:
            col = [0, 1, 2, 4, 5][int(np.argmax(bad))]
            why = f"with {frac_bits} fraction bits" if frac_bits is not None else "even with 0 fraction bits"
            raise ValueError(f"quantize_sos: sos[{row}, {col}] = {arr[row, col]!r} does not fit int16 {why}")
        out[row, [0, 1, 2, 4, 5]] = q
        out[row, 3] = 1 << f
    return out.astype(np.int32)
