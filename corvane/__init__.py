"""corvane: bit-exact Q15/Q8 fixed-point arithmetic for NumPy pipelines.

The native functions and accumulator types live in :mod:`corvane.arith`.
"""

__version__ = "0.1.0"

_NOT_BUILT = (
    "Python imported the source folder {path}, which has no compiled extension "
    "corvane.arith: that happens when Python starts in the repository root "
    "(python -c, python -m, the interactive prompt). Either install the package "
    "(pip install .) or build it in place (cmake -S . -B build -G Ninja && "
    "cmake --build build, then set PYTHONPATH=<repository>/build), and start "
    "Python from another directory."
)

try:
    from . import arith
except ImportError:
    from importlib.util import find_spec

    if find_spec(f"{__name__}.arith") is not None:
        raise
    raise ImportError(_NOT_BUILT.format(path=__path__[0]), name=f"{__name__}.arith") from None
