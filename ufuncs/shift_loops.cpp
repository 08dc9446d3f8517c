// The shift ufuncs: samples and a 32-bit count, both broadcast like any
// operand (one count for all, per channel, or per sample).
#include "ufuncs.h"

#include <iterator>

#include "fixedpoint.h"
#include "shift_rules.h"
#include "strided.h"

namespace {

template <typename T>
using ShiftRule = T (*)(T, int32_t);

// The inner loop of a shift ufunc: samples, counts and results at any strides.
template <typename T, corvane::ShiftKernel<T> Kernel, ShiftRule<T> Rule>
void
shift_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *)
{
    corvane::apply_shift<T, Kernel>(args[0], steps[0], args[1], steps[1], args[2], steps[2],
                                    static_cast<size_t>(dimensions[0]), Rule);
}

PyUFuncGenericFunction shl_q15_loops[] = {shift_loop<int16_t, shl_q15, corvane::shl_q15_by>};
PyUFuncGenericFunction shr_q15_loops[] = {shift_loop<int16_t, shr_q15, corvane::shr_q15_by>};
PyUFuncGenericFunction shl_q8_loops[] = {shift_loop<int8_t, shl_q8, corvane::shl_q8_by>};
PyUFuncGenericFunction shr_q8_loops[] = {shift_loop<int8_t, shr_q8, corvane::shr_q8_by>};
PyUFuncGenericFunction shl_i64_loops[] = {shift_loop<int64_t, shl_i64, corvane::shl_i64_by>};
PyUFuncGenericFunction shr_i64_loops[] = {shift_loop<int64_t, shr_i64, corvane::shr_i64_by>};

void *no_data[] = {NULL};
char q15_types[] = {NPY_INT16, NPY_INT32, NPY_INT16};
char q8_types[] = {NPY_INT8, NPY_INT32, NPY_INT8};
char i64_types[] = {NPY_INT64, NPY_INT32, NPY_INT64};

// The count operand is int32: NumPy makes a list of Python ints int64, which
// does not cast safely, so per-sample counts come as int32 arrays.
const UfuncSpec shift_ufuncs[] = {
    {"shl_q15",
     "Q15 samples (int16) times 2**count, saturated; count is int32 and broadcasts\n"
     "like the samples. A count of 0 or less leaves the sample as it is.\n\n"
     ">>> shl_q15(np.array([1000, -1000], np.int16), np.array([[3], [6]], np.int32))\n"
     "array([[  8000,  -8000],\n"
     "       [ 32767, -32768]], dtype=int16)\n",
     shl_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"shr_q15",
     "Q15 samples (int16) divided by 2**count, rounded half up; count is int32.\n"
     "A count of 0 or less leaves the sample as it is; from 16 on the result is\n"
     "0 or -1 by sign.\n\n"
     ">>> shr_q15(np.array([3, -3, 1000], np.int16), 1)\n"
     "array([  2,  -1, 500], dtype=int16)\n",
     shr_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"shl_q8",
     "Q8 samples (int8) times 2**count, saturated; count is int32. A count of 0\n"
     "or less leaves the sample as it is.\n\n"
     ">>> shl_q8(np.array([20, -20], np.int8), np.array([1, 3], np.int32))\n"
     "array([  40, -128], dtype=int8)\n",
     shl_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
    {"shr_q8",
     "Q8 samples (int8) divided by 2**count, rounded half up; count is int32.\n"
     "A count of 0 or less leaves the sample as it is; from 8 on the result is\n"
     "0 or -1 by sign.\n\n"
     ">>> shr_q8(np.array([3, -3, 100], np.int8), 1)\n"
     "array([ 2, -1, 50], dtype=int8)\n",
     shr_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
    {"shl_i64",
     "int64 values shifted left by count (int32), wrapping; from 63 on the result\n"
     "is 0. A count of 0 or less leaves the value as it is.\n\n"
     ">>> shl_i64(np.array([1, -1], np.int64), 62)\n"
     "array([ 4611686018427387904, -4611686018427387904])\n",
     shl_i64_loops, no_data, i64_types, 1, 2, 1, NULL},
    {"shr_i64",
     "int64 values divided by 2**count (int32), rounded half up, the rounding\n"
     "addition wrapping. A count of 0 or less leaves the value as it is; from 63\n"
     "on the result is 0 or -1 by sign. A raw Q30 sum shifted by 15 is Q15.\n\n"
     ">>> shr_i64(np.array([1 << 30, 3], np.int64), 15)\n"
     "array([32768,     0])\n",
     shr_i64_loops, no_data, i64_types, 1, 2, 1, NULL},
};

}  // namespace

int
register_shifts(PyObject *module)
{
    return ufuncs_add(module, shift_ufuncs, std::size(shift_ufuncs));
}
