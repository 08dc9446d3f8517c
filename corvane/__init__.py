"""corvane: bit-exact Q15/Q8 fixed-point arithmetic for NumPy pipelines.

The native functions and accumulator types live in :mod:`corvane.arith`.
"""

__version__ = "0.1.0"
