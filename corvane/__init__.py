"""corvane: bit-exact Q15/Q8 fixed-point arithmetic for NumPy pipelines.

The native functions and accumulator types live in :mod:`corvane.arith`.
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

__version__ = "0.1.0"
