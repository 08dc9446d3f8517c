// The saturating elementwise ufuncs add/sub/mul for Q15 and Q8.
#include "ufuncs.h"

#include <iterator>

#include "fixedpoint.h"
#include "sample_rules.h"
#include "strided.h"

namespace {

template <typename T>
using BinaryRule = T (*)(T, T);

// The inner loop of a two-input ufunc: strides in bytes, any layout.
template <typename T, corvane::BinaryKernel<T> Kernel, BinaryRule<T> Rule>
void
binary_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *)
{
    corvane::apply_binary<T, Kernel>(args[0], steps[0], args[1], steps[1], args[2], steps[2],
                                     static_cast<size_t>(dimensions[0]), Rule);
}

PyUFuncGenericFunction add_q15_loops[] = {binary_loop<int16_t, add_q15, corvane::add_q15_rule>};
PyUFuncGenericFunction sub_q15_loops[] = {binary_loop<int16_t, sub_q15, corvane::sub_q15_rule>};
PyUFuncGenericFunction mul_q15_loops[] = {binary_loop<int16_t, mul_q15, corvane::mul_q15_rule>};
PyUFuncGenericFunction add_q8_loops[] = {binary_loop<int8_t, add_q8, corvane::add_q8_rule>};
PyUFuncGenericFunction sub_q8_loops[] = {binary_loop<int8_t, sub_q8, corvane::sub_q8_rule>};
PyUFuncGenericFunction mul_q8_loops[] = {binary_loop<int8_t, mul_q8, corvane::mul_q8_rule>};

void *no_data[] = {NULL};
char q15_types[] = {NPY_INT16, NPY_INT16, NPY_INT16};
char q8_types[] = {NPY_INT8, NPY_INT8, NPY_INT8};

const UfuncSpec elementwise_ufuncs[] = {
    {"add_q15",
     "Saturating sum of Q15 samples (int16), element by element.\n\n"
     ">>> add_q15(np.array([30000, -30000], np.int16), 10000)\n"
     "array([ 32767, -20000], dtype=int16)\n",
     add_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"sub_q15",
     "Saturating difference of Q15 samples (int16), element by element.\n\n"
     ">>> sub_q15(np.array([-30000, 5], np.int16), 10000)\n"
     "array([-32768,  -9995], dtype=int16)\n",
     sub_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"mul_q15",
     "Product of Q15 samples (int16), rounded half up to Q15 and saturated:\n"
     "(a * b + 2**14) >> 15, where only -1 * -1 reaches the clamp.\n\n"
     ">>> mul_q15(np.array([16384, -32768], np.int16), np.array([16384, -32768], np.int16))\n"
     "array([ 8192, 32767], dtype=int16)\n",
     mul_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"add_q8",
     "Saturating sum of Q8 samples (int8), element by element.\n\n"
     ">>> add_q8(np.array([100, -100], np.int8), 50)\n"
     "array([127, -50], dtype=int8)\n",
     add_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
    {"sub_q8",
     "Saturating difference of Q8 samples (int8), element by element.\n\n"
     ">>> sub_q8(np.array([-100, 5], np.int8), 50)\n"
     "array([-128,  -45], dtype=int8)\n",
     sub_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
    {"mul_q8",
     "Product of Q8 samples (int8), rounded half up to Q8 and saturated:\n"
     "(a * b + 2**6) >> 7, where only -1 * -1 reaches the clamp.\n\n"
     ">>> mul_q8(np.array([64, -128], np.int8), np.array([64, -128], np.int8))\n"
     "array([ 32, 127], dtype=int8)\n",
     mul_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
};

}  // namespace

int
register_elementwise(PyObject *module)
{
    return ufuncs_add(module, elementwise_ufuncs, std::size(elementwise_ufuncs));
}
