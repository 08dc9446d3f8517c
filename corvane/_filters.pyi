# The filters of corvane._filters: functions along an axis, not ufuncs.
from typing import final, overload

import numpy as np
import numpy.typing as npt

@overload
def fir_q15(
    x: npt.ArrayLike, taps: npt.ArrayLike, shift: int = 15, *, zi: None = None, axis: int = -1
) -> npt.NDArray[np.int16]: ...
@overload
def fir_q15(
    x: npt.ArrayLike, taps: npt.ArrayLike, shift: int = 15, *, zi: npt.ArrayLike, axis: int = -1
) -> tuple[npt.NDArray[np.int16], npt.NDArray[np.int16]]: ...
@overload
def fir_q8(
    x: npt.ArrayLike, taps: npt.ArrayLike, shift: int = 7, *, zi: None = None, axis: int = -1
) -> npt.NDArray[np.int8]: ...
@overload
def fir_q8(
    x: npt.ArrayLike, taps: npt.ArrayLike, shift: int = 7, *, zi: npt.ArrayLike, axis: int = -1
) -> tuple[npt.NDArray[np.int8], npt.NDArray[np.int8]]: ...
@overload
def sosfilt_q15(
    sos: npt.ArrayLike, x: npt.ArrayLike, *, zi: None = None, axis: int = -1,
    rounding: str = "nearest", overflow: str = "saturate", accumulator: str = "exact",
) -> npt.NDArray[np.int16]: ...
@overload
def sosfilt_q15(
    sos: npt.ArrayLike, x: npt.ArrayLike, *, zi: npt.ArrayLike, axis: int = -1,
    rounding: str = "nearest", overflow: str = "saturate", accumulator: str = "exact",
) -> tuple[npt.NDArray[np.int16], npt.NDArray[np.int16]]: ...

@final
class SosFilter:
    def __new__(
        cls, sos: npt.ArrayLike, *, axis: int = -1, rounding: str = "nearest",
        overflow: str = "saturate", accumulator: str = "exact",
    ) -> SosFilter: ...
    def __call__(self, x: npt.ArrayLike, /) -> npt.NDArray[np.int16]: ...
    def reset(self) -> None: ...
    def __setstate__(self, state: tuple[int, str, str, str, npt.NDArray[np.int16] | None], /) -> None: ...
    @property
    def sos(self) -> npt.NDArray[np.int32]: ...
