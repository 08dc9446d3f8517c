// The shift ufuncs: samples and a count, both broadcast like any operand (one
// count for all, per channel, or per sample).
#include "ufuncs.h"

#include <iterator>

#include "fixedpoint.h"
#include "shift_rules.h"
#include "strided.h"

namespace {

template <typename T>
using ShiftRule = T (*)(T, int32_t);

// The inner loop of a shift ufunc: samples, counts and results at any strides.
template <typename T, typename Count, corvane::ShiftKernel<T> Kernel, ShiftRule<T> Rule>
void
shift_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *)
{
    corvane::apply_shift<T, Kernel, ShiftRule<T>, Count>(args[0], steps[0], args[1], steps[1], args[2],
                                                         steps[2], static_cast<size_t>(dimensions[0]), Rule);
}

// Two loops per shift, the int64 count first: a Python int count resolves to
// the first loop whose count type takes it, and a list of Python ints is
// int64; counts past the int32 range act as its ends. int32 count arrays
// match the second loop exactly, without a cast.
template <typename T, corvane::ShiftKernel<T> Kernel, ShiftRule<T> Rule>
struct ShiftLoops {
    static inline PyUFuncGenericFunction loops[] = {shift_loop<T, int64_t, Kernel, Rule>,
                                                    shift_loop<T, int32_t, Kernel, Rule>};
};

void *no_data[] = {NULL, NULL};
char q15_types[] = {NPY_INT16, NPY_INT64, NPY_INT16, NPY_INT16, NPY_INT32, NPY_INT16};
char q8_types[] = {NPY_INT8, NPY_INT64, NPY_INT8, NPY_INT8, NPY_INT32, NPY_INT8};
char i64_types[] = {NPY_INT64, NPY_INT64, NPY_INT64, NPY_INT64, NPY_INT32, NPY_INT64};

PyUFuncGenericFunction *const shl_q15_loops = ShiftLoops<int16_t, shl_q15, corvane::shl_q15_by>::loops;
PyUFuncGenericFunction *const shr_q15_loops = ShiftLoops<int16_t, shr_q15, corvane::shr_q15_by>::loops;
PyUFuncGenericFunction *const shl_q8_loops = ShiftLoops<int8_t, shl_q8, corvane::shl_q8_by>::loops;
PyUFuncGenericFunction *const shr_q8_loops = ShiftLoops<int8_t, shr_q8, corvane::shr_q8_by>::loops;
PyUFuncGenericFunction *const shl_i64_loops = ShiftLoops<int64_t, shl_i64, corvane::shl_i64_by>::loops;
PyUFuncGenericFunction *const shr_i64_loops = ShiftLoops<int64_t, shr_i64, corvane::shr_i64_by>::loops;

const UfuncSpec shift_ufuncs[] = {
    {"shl_q15",
     "Q15 samples (int16) times 2**count, saturated; count is int32 or int64 (a\n"
     "list of Python ints too) and broadcasts like the samples. A count of 0 or\n"
     "less leaves the sample as it is; counts past the int32 range act as its ends.\n\n"
     ">>> shl_q15(np.array([1000, -1000], np.int16), np.array([[3], [6]], np.int32))\n"
     "array([[  8000,  -8000],\n"
     "       [ 32767, -32768]], dtype=int16)\n",
     shl_q15_loops, no_data, q15_types, 2, 2, 1, NULL},
    {"shr_q15",
     "Q15 samples (int16) divided by 2**count, rounded half up; count is int32\n"
     "or int64, as for shl_q15.\n"
     "A count of 0 or less leaves the sample as it is; from 16 on the result is\n"
     "0 or -1 by sign.\n\n"
     ">>> shr_q15(np.array([3, -3, 1000], np.int16), 1)\n"
     "array([  2,  -1, 500], dtype=int16)\n",
     shr_q15_loops, no_data, q15_types, 2, 2, 1, NULL},
    {"shl_q8",
     "Q8 samples (int8) times 2**count, saturated; count is int32 or int64, as\n"
     "for shl_q15. A count of 0 or less leaves the sample as it is.\n\n"
     ">>> shl_q8(np.array([20, -20], np.int8), np.array([1, 3], np.int32))\n"
     "array([  40, -128], dtype=int8)\n",
     shl_q8_loops, no_data, q8_types, 2, 2, 1, NULL},
    {"shr_q8",
     "Q8 samples (int8) divided by 2**count, rounded half up; count is int32 or\n"
     "int64, as for shl_q15.\n"
     "A count of 0 or less leaves the sample as it is; from 8 on the result is\n"
     "0 or -1 by sign.\n\n"
     ">>> shr_q8(np.array([3, -3, 100], np.int8), 1)\n"
     "array([ 2, -1, 50], dtype=int8)\n",
     shr_q8_loops, no_data, q8_types, 2, 2, 1, NULL},
    {"shl_i64",
     "int64 values shifted left by count (int32 or int64), wrapping; from 63 on\n"
     "the result is 0. A count of 0 or less leaves the value as it is.\n\n"
     ">>> shl_i64(np.array([1, -1], np.int64), 62)\n"
     "array([ 4611686018427387904, -4611686018427387904])\n",
     shl_i64_loops, no_data, i64_types, 2, 2, 1, NULL},
    {"shr_i64",
     "int64 values divided by 2**count (int32 or int64), rounded half up, the\n"
     "rounding addition wrapping. A count of 0 or less leaves the value as it is;\n"
     "from 63 on the result is 0 or -1 by sign. A raw Q30 sum shifted by 15 is Q15.\n\n"
     ">>> shr_i64(np.array([1 << 30, 3], np.int64), 15)\n"
     "array([32768,     0])\n",
     shr_i64_loops, no_data, i64_types, 2, 2, 1, NULL},
};

}  // namespace

int
register_shifts(PyObject *module)
{
    return ufuncs_add(module, shift_ufuncs, std::size(shift_ufuncs));
}
