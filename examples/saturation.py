"""A few saturating and rounding results from corvane.arith."""
import numpy as np

from corvane.arith import add_q15, mul_q15, add_q8

a = np.array([100, 20000, -20000], dtype=np.int16)
b = np.array([50, 20000, -20000], dtype=np.int16)
print("add_q15", a.tolist(), "+", b.tolist(), "=", add_q15(a, b).tolist())
print("mul_q15 -32768 * -32768 =", mul_q15([-32768], [-32768]).tolist())
print("add_q8  127 + 1 =", add_q8([127], [1]).tolist())
