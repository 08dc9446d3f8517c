"""Unpickling of the accumulators.

``AccQ15`` and ``AccQ8`` pickle as a call of :func:`restore_accumulator` on the
type's name and the register's state blob (``get_state()``), the serialised
form whose layout is kept stable across versions. This module's path and the
function's name are therefore part of every stored pickle: keep both.
"""
from . import arith

_TYPES = {"AccQ15": arith.AccQ15, "AccQ8": arith.AccQ8}


def restore_accumulator(type_name, blob):
    """A new accumulator of the named type holding the blob's register."""
    try:
        cls = _TYPES[type_name]
    except KeyError:
        raise ValueError(f"not an accumulator type: {type_name!r}") from None
    acc = cls()
    acc.set_state(blob)
    return acc


def restore_fir_filter(taps, shift, up, down, axis, rounding, overflow, state):
    """A FirFilter with the given settings continuing the stream in `state`."""
    from ._filters import FirFilter

    f = FirFilter(taps, shift, up=up, down=down, axis=axis, rounding=rounding, overflow=overflow)
    f._set_state(state)
    return f
