# The filters of corvane._filters: functions along an axis, not ufuncs.
from typing import overload

import numpy as np
import numpy.typing as npt

@overload
def fir_q15(
    x: npt.ArrayLike, taps: npt.ArrayLike, shift: int = 15, *, zi: None = None, axis: int = -1,
    rounding: str = "nearest", overflow: str = "saturate"
) -> npt.NDArray[np.int16]: ...
@overload
def fir_q15(
    x: npt.ArrayLike, taps: npt.ArrayLike, shift: int = 15, *, zi: npt.ArrayLike, axis: int = -1,
    rounding: str = "nearest", overflow: str = "saturate"
) -> tuple[npt.NDArray[np.int16], npt.NDArray[np.int16]]: ...
@overload
def fir_q8(
    x: npt.ArrayLike, taps: npt.ArrayLike, shift: int = 7, *, zi: None = None, axis: int = -1,
    rounding: str = "nearest", overflow: str = "saturate"
) -> npt.NDArray[np.int8]: ...
@overload
def fir_q8(
    x: npt.ArrayLike, taps: npt.ArrayLike, shift: int = 7, *, zi: npt.ArrayLike, axis: int = -1,
    rounding: str = "nearest", overflow: str = "saturate"
) -> tuple[npt.NDArray[np.int8], npt.NDArray[np.int8]]: ...
