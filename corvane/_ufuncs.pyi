# The ufuncs of corvane._ufuncs. Their loops (inputs -> output), operands
# cast only safely unless the call says casting="unsafe":
#   add/sub/mul_q15: int16, int16 -> int16     add/sub/mul_q8: int8, int8 -> int8
#   shl/shr_q15: int16, int64/int32 -> int16   shl/shr_q8: int8, int64/int32 -> int8
#   shl/shr_i64: int64, int64/int32 -> int64   (counts clamped to the int32 range)
#   dot_q15: (n),(n)->(), int16 -> int64       dot_q8: (n),(n)->(), int8 -> int32
#   narrow_q15: int32/int64, int64/int32 -> int16
#   narrow_q8: int32/int64, int64/int32 -> int8
#   to_q15: float32/float64 -> int16           to_q8: float32/float64 -> int8
#   from_q15: int16 -> float64                 from_q8: int8 -> float64

import numpy.typing as npt
import numpy as np

add_q15: np.ufunc
sub_q15: np.ufunc
mul_q15: np.ufunc
add_q8: np.ufunc
sub_q8: np.ufunc
mul_q8: np.ufunc
shl_q15: np.ufunc
shr_q15: np.ufunc
shl_q8: np.ufunc
shr_q8: np.ufunc
shl_i64: np.ufunc
shr_i64: np.ufunc
dot_q15: np.ufunc
dot_q8: np.ufunc
narrow_q15: np.ufunc
narrow_q8: np.ufunc
to_q15: np.ufunc
to_q8: np.ufunc
from_q15: np.ufunc
from_q8: np.ufunc
