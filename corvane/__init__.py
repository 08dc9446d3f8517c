"""corvane: bit-exact Q15/Q8 fixed-point arithmetic for NumPy pipelines.

The native functions and accumulator types live in :mod:`corvane.arith`
(``corvane.arith.add_q15``; ``AccQ15`` and ``AccQ8`` are also here). The same
arithmetic as NumPy ufuncs (shapes, broadcasting, ``out=``, any strides, Dask
arrays; operands cast only safely) is importable from the package itself:
``from corvane import add_q15``. The filters along an axis (``fir_q15``,
``fir_q8``) are functions of :mod:`corvane._filters`, re-exported here too.
"""
from importlib.util import find_spec as _find_spec

# Started in the repository root, Python finds this source folder, which has
# no compiled extension; say so before any import fails without a reason.
if _find_spec(f"{__name__}.arith") is None:
    raise ImportError(
        f"Python imported the source folder {__path__[0]}, which has no compiled "
        "extension corvane.arith: that happens when Python starts in the repository "
        "root (python -c, python -m, the interactive prompt). Either install the "
        "package (pip install .) or build it in place (cmake -S . -B build -G Ninja "
        "&& cmake --build build, then set PYTHONPATH=<repository>/build), and start "
        "Python from another directory.",
        name=f"{__name__}.arith",
    )

from corvane import arith
from corvane.arith import AccQ15, AccQ8
from corvane._ufuncs import (
    add_q15,
    add_q8,
    dot_q15,
    dot_q8,
    from_q15,
    from_q8,
    mul_q15,
    mul_q8,
    narrow_q15,
    narrow_q8,
    shl_i64,
    shl_q15,
    shl_q8,
    shr_i64,
    shr_q15,
    shr_q8,
    sub_q15,
    sub_q8,
    to_q15,
    to_q8,
)
from corvane._filters import fir_q15, fir_q8

__version__ = "0.1.0"

__all__ = [
    "add_q15", "sub_q15", "mul_q15", "add_q8", "sub_q8", "mul_q8",
    "shl_q15", "shr_q15", "shl_q8", "shr_q8", "shl_i64", "shr_i64",
    "dot_q15", "dot_q8",
    "narrow_q15", "narrow_q8", "to_q15", "to_q8", "from_q15", "from_q8",
    "fir_q15", "fir_q8",
    "AccQ15", "AccQ8",
]
