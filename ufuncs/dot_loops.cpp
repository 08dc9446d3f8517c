// The inner-product gufuncs dot_q15 and dot_q8, signature (n),(n)->().
#include "ufuncs.h"

#include <iterator>

#include "fixedpoint.h"
#include "strided.h"

namespace {

template <typename T, typename R>
using DotKernel = R (*)(const T *, size_t, const T *, size_t);
template <typename T, typename R>
using StridedDot = R (*)(const char *, ptrdiff_t, const char *, ptrdiff_t, size_t);

// dimensions: the outer count, then n. steps: the outer strides of a, b and
// the result, then the strides of a and b along n. Contiguous pairs (rows of a
// sliding window among them) go straight to the kernel.
template <typename T, typename R, DotKernel<T, R> Kernel, StridedDot<T, R> Strided>
void
dot_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *)
{
    const npy_intp outer = dimensions[0];
    const size_t n = static_cast<size_t>(dimensions[1]);
    const npy_intp item = sizeof(T);
    const bool contiguous = steps[3] == item && steps[4] == item;
    const char *a = args[0];
    const char *b = args[1];
    char *out = args[2];
    for (npy_intp i = 0; i < outer; ++i, a += steps[0], b += steps[1], out += steps[2]) {
        const R sum = contiguous ? Kernel(reinterpret_cast<const T *>(a), n, reinterpret_cast<const T *>(b), n)
                                 : Strided(a, steps[3], b, steps[4], n);
        corvane::store_at<R>(out, sum);
    }
}

PyUFuncGenericFunction dot_q15_loops[] = {dot_loop<int16_t, int64_t, dot_q15, corvane::strided_dot_q15>};
PyUFuncGenericFunction dot_q8_loops[] = {dot_loop<int8_t, int32_t, dot_q8, corvane::strided_dot_q8>};

void *no_data[] = {NULL};
char q15_types[] = {NPY_INT16, NPY_INT16, NPY_INT64};
char q8_types[] = {NPY_INT8, NPY_INT8, NPY_INT32};

const UfuncSpec dot_ufuncs[] = {
    {"dot_q15",
     "Raw Q30 inner product of Q15 samples (int16) over the core dimension n:\n"
     "the exact sum of a[i] * b[i] as int64, no rounding or saturation.\n"
     "Over np.lib.stride_tricks.sliding_window_view(x, k) against k taps it is\n"
     "a whole FIR in one call; shr_i64(..., 15) brings the sums back to Q15.\n\n"
     ">>> dot_q15(np.array([[16384, 16384], [-32768, -32768]], np.int16),\n"
     "...         np.array([16384, -32768], np.int16))\n"
     "array([-268435456,  536870912])\n",
     dot_q15_loops, no_data, q15_types, 1, 2, 1, "(n),(n)->()"},
    {"dot_q8",
     "Raw Q14 inner product of Q8 samples (int8) over the core dimension n: the\n"
     "sum of a[i] * b[i] wrapping at 32 bits, as int32, no rounding or\n"
     "saturation.\n\n"
     ">>> dot_q8(np.full((2, 3), -128, np.int8), np.full(3, -128, np.int8))\n"
     "array([49152, 49152], dtype=int32)\n",
     dot_q8_loops, no_data, q8_types, 1, 2, 1, "(n),(n)->()"},
};

}  // namespace

int
register_dots(PyObject *module)
{
    return ufuncs_add(module, dot_ufuncs, std::size(dot_ufuncs));
}
