// The narrowing and conversion ufuncs: raw sums back to Q15/Q8 samples by a
// broadcast count, floats to Q15/Q8 and Q15/Q8 to float64.
#include "ufuncs.h"

#include <cfenv>
#include <iterator>

#include "narrow.h"
#include "narrow_rules.h"
#include "strided.h"

namespace {

template <typename Sample>
using NarrowKernel = void (*)(const int64_t *, size_t, Sample *, int);
template <typename Sample>
using NarrowRule = Sample (*)(int64_t, int);

// int64 values with one count for the whole run, all contiguous, are the
// kernel's case; everything else goes element by element through the rule.
template <typename Wide, typename Count, typename Sample, NarrowKernel<Sample> Kernel, NarrowRule<Sample> Rule>
void
narrow_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *)
{
    const size_t n = static_cast<size_t>(dimensions[0]);
    if (n == 0) {
        return;
    }
    if (sizeof(Wide) == sizeof(int64_t) && steps[0] == sizeof(Wide) && steps[1] == 0 &&
        steps[2] == sizeof(Sample)) {
        Kernel(reinterpret_cast<const int64_t *>(args[0]), n, reinterpret_cast<Sample *>(args[2]),
               corvane::load_count<Count>(args[1]));
        return;
    }
    const char *x = args[0];
    const char *count = args[1];
    char *out = args[2];
    for (size_t i = 0; i < n; ++i, x += steps[0], count += steps[1], out += steps[2]) {
        corvane::store_at<Sample>(out, Rule(corvane::load_at<Wide>(x), corvane::load_count<Count>(count)));
    }
}

template <typename Float, typename Sample>
using ToFixedKernel = size_t (*)(const Float *, size_t, Sample *);
template <typename Sample>
using ToFixedRule = Sample (*)(double);

// A NaN gives 0 and raises the invalid flag, which NumPy reports after the
// loop under its error state (a RuntimeWarning by default).
template <typename Float, typename Sample, ToFixedKernel<Float, Sample> Kernel, ToFixedRule<Sample> Rule>
void
to_fixed_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *)
{
    const size_t n = static_cast<size_t>(dimensions[0]);
    size_t nans = 0;
    if (steps[0] == sizeof(Float) && steps[1] == sizeof(Sample)) {
        nans = Kernel(reinterpret_cast<const Float *>(args[0]), n, reinterpret_cast<Sample *>(args[1]));
    } else {
        const char *x = args[0];
        char *out = args[1];
        for (size_t i = 0; i < n; ++i, x += steps[0], out += steps[1]) {
            const double v = corvane::load_at<Float>(x);
            nans += v != v;
            corvane::store_at<Sample>(out, Rule(v));
        }
    }
    if (nans != 0) {
        std::feraiseexcept(FE_INVALID);
    }
}

template <typename Sample>
using FromFixedKernel = void (*)(const Sample *, size_t, double *);
template <typename Sample>
using FromFixedRule = double (*)(Sample);

template <typename Sample, FromFixedKernel<Sample> Kernel, FromFixedRule<Sample> Rule>
void
from_fixed_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *)
{
    const size_t n = static_cast<size_t>(dimensions[0]);
    if (steps[0] == sizeof(Sample) && steps[1] == sizeof(double)) {
        Kernel(reinterpret_cast<const Sample *>(args[0]), n, reinterpret_cast<double *>(args[1]));
        return;
    }
    const char *y = args[0];
    char *out = args[1];
    for (size_t i = 0; i < n; ++i, y += steps[0], out += steps[1]) {
        corvane::store_at<double>(out, Rule(corvane::load_at<Sample>(y)));
    }
}

// The int64-count loops come first: a Python int count resolves to the first
// loop whose count type takes it, and only int64 holds every count the
// docstrings promise (2**40 acts as INT32_MAX). int32 sums come before int64
// ones, so that int8/int16/int32 inputs take no cast to int64. The int32-count
// loops match int32 count arrays exactly, without a cast.
PyUFuncGenericFunction narrow_q15_loops[] = {
    narrow_loop<int32_t, int64_t, int16_t, narrow_q15, corvane::narrow_q15_rule>,
    narrow_loop<int64_t, int64_t, int16_t, narrow_q15, corvane::narrow_q15_rule>,
    narrow_loop<int32_t, int32_t, int16_t, narrow_q15, corvane::narrow_q15_rule>,
    narrow_loop<int64_t, int32_t, int16_t, narrow_q15, corvane::narrow_q15_rule>,
};
PyUFuncGenericFunction narrow_q8_loops[] = {
    narrow_loop<int32_t, int64_t, int8_t, narrow_q8, corvane::narrow_q8_rule>,
    narrow_loop<int64_t, int64_t, int8_t, narrow_q8, corvane::narrow_q8_rule>,
    narrow_loop<int32_t, int32_t, int8_t, narrow_q8, corvane::narrow_q8_rule>,
    narrow_loop<int64_t, int32_t, int8_t, narrow_q8, corvane::narrow_q8_rule>,
};
PyUFuncGenericFunction to_q15_loops[] = {
    to_fixed_loop<float, int16_t, to_q15_f32, corvane::to_q15_rule>,
    to_fixed_loop<double, int16_t, to_q15_f64, corvane::to_q15_rule>,
};
PyUFuncGenericFunction to_q8_loops[] = {
    to_fixed_loop<float, int8_t, to_q8_f32, corvane::to_q8_rule>,
    to_fixed_loop<double, int8_t, to_q8_f64, corvane::to_q8_rule>,
};
PyUFuncGenericFunction from_q15_loops[] = {from_fixed_loop<int16_t, from_q15, corvane::from_q15_rule>};
PyUFuncGenericFunction from_q8_loops[] = {from_fixed_loop<int8_t, from_q8, corvane::from_q8_rule>};

void *no_data[] = {NULL, NULL, NULL, NULL};
char narrow_q15_types[] = {NPY_INT32, NPY_INT64, NPY_INT16, NPY_INT64, NPY_INT64, NPY_INT16,
                           NPY_INT32, NPY_INT32, NPY_INT16, NPY_INT64, NPY_INT32, NPY_INT16};
char narrow_q8_types[] = {NPY_INT32, NPY_INT64, NPY_INT8, NPY_INT64, NPY_INT64, NPY_INT8,
                          NPY_INT32, NPY_INT32, NPY_INT8, NPY_INT64, NPY_INT32, NPY_INT8};
char to_q15_types[] = {NPY_FLOAT32, NPY_INT16, NPY_FLOAT64, NPY_INT16};
char to_q8_types[] = {NPY_FLOAT32, NPY_INT8, NPY_FLOAT64, NPY_INT8};
char from_q15_types[] = {NPY_INT16, NPY_FLOAT64};
char from_q8_types[] = {NPY_INT8, NPY_FLOAT64};

const UfuncSpec convert_ufuncs[] = {
    {"narrow_q15",
     "A raw sum back to a Q15 sample: floor((x + 2**(s-1)) / 2**s) computed exactly,\n"
     "then saturated to int16. A count s of 0 or less only saturates.\n"
     "narrow_q15(dot_q15(a, b), 15) is the rounded Q15 inner product; unlike\n"
     "shr_i64, the rounding addition never wraps. x is int32 or int64, s int32\n"
     "or int64 (a list of Python ints too): counts past the int32 range act as\n"
     "its ends do.\n\n"
     ">>> narrow_q15(np.array([1 << 20, -(1 << 40), 49152], np.int64), 15)\n"
     "array([    32, -32768,      2], dtype=int16)\n",
     narrow_q15_loops, no_data, narrow_q15_types, 4, 2, 1, NULL},
    {"narrow_q8",
     "A raw sum back to a Q8 sample: floor((x + 2**(s-1)) / 2**s) computed exactly,\n"
     "then saturated to int8. A count s of 0 or less only saturates. x is int32\n"
     "or int64, s int32 (or int64, as for narrow_q15).\n\n"
     ">>> narrow_q8(np.array([300, -300, 192], np.int64), np.array([0, 1, 7], np.int32))\n"
     "array([ 127, -128,    2], dtype=int8)\n",
     narrow_q8_loops, no_data, narrow_q8_types, 4, 2, 1, NULL},
    {"to_q15",
     "Floats to Q15: floor(x * 2**15 + 1/2) saturated to int16, exact for every\n"
     "finite x; +-inf saturate; NaN gives 0 and raises the invalid floating-point\n"
     "flag (a RuntimeWarning under NumPy's default error state).\n\n"
     ">>> to_q15(np.array([0.5, -1.0, 1.0, 0.25 / 32768]))\n"
     "array([ 16384, -32768,  32767,      0], dtype=int16)\n",
     to_q15_loops, no_data, to_q15_types, 2, 1, 1, NULL},
    {"to_q8",
     "Floats to Q8: floor(x * 2**7 + 1/2) saturated to int8, exact for every finite\n"
     "x; +-inf saturate; NaN gives 0 and raises the invalid floating-point flag.\n\n"
     ">>> to_q8(np.array([0.5, -2.0, 0.99], np.float32))\n"
     "array([  64, -128,  127], dtype=int8)\n",
     to_q8_loops, no_data, to_q8_types, 2, 1, 1, NULL},
    {"from_q15",
     "Q15 samples (int16) as float64: y / 2**15, exact.\n\n"
     ">>> from_q15(np.array([16384, -32768], np.int16))\n"
     "array([ 0.5, -1. ])\n",
     from_q15_loops, no_data, from_q15_types, 1, 1, 1, NULL},
    {"from_q8",
     "Q8 samples (int8) as float64: y / 2**7, exact.\n\n"
     ">>> from_q8(np.array([64, -128], np.int8))\n"
     "array([ 0.5, -1. ])\n",
     from_q8_loops, no_data, from_q8_types, 1, 1, 1, NULL},
};

}  // namespace

int
register_conversions(PyObject *module)
{
    return ufuncs_add(module, convert_ufuncs, std::size(convert_ufuncs));
}
