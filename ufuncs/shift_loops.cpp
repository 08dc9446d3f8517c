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

const UfuncSpec shift_ufuncs[] = {
    {"shl_q15",
     "Q15 samples times 2**count, saturated. A count of 0 or less leaves the sample\n"
     "as it is.\n",
     shl_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"shr_q15",
     "Q15 samples divided by 2**count, rounded half up. A count of 0 or less leaves\n"
     "the sample as it is; from 16 on the result is 0 or -1 by sign.\n",
     shr_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"shl_q8",
     "Q8 samples times 2**count, saturated. A count of 0 or less leaves the sample\n"
     "as it is.\n",
     shl_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
    {"shr_q8",
     "Q8 samples divided by 2**count, rounded half up. A count of 0 or less leaves\n"
     "the sample as it is; from 8 on the result is 0 or -1 by sign.\n",
     shr_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
    {"shl_i64",
     "64-bit integers shifted left by count, wrapping; from 63 on the result is 0.\n"
     "A count of 0 or less leaves the value as it is.\n",
     shl_i64_loops, no_data, i64_types, 1, 2, 1, NULL},
    {"shr_i64",
     "64-bit integers divided by 2**count, rounded half up (the rounding addition\n"
     "wraps). A count of 0 or less leaves the value as it is; from 63 on the result\n"
     "is 0 or -1 by sign. shr_i64(dot_q15(a, b), 15) brings a Q30 sum back to Q15.\n",
     shr_i64_loops, no_data, i64_types, 1, 2, 1, NULL},
};

}  // namespace

int
register_shifts(PyObject *module)
{
    return ufuncs_add(module, shift_ufuncs, std::size(shift_ufuncs));
}
