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
    {"add_q15", "Saturating Q15 sum, element by element.\n\n"
                ">>> add_q15(np.int16(30000), np.int16(10000))\n"
                "np.int16(32767)\n",
     add_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"sub_q15", "Saturating Q15 difference, element by element.\n",
     sub_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"mul_q15", "Q15 product rounded half up to Q15 and saturated, element by element.\n",
     mul_q15_loops, no_data, q15_types, 1, 2, 1, NULL},
    {"add_q8", "Saturating Q8 sum, element by element.\n",
     add_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
    {"sub_q8", "Saturating Q8 difference, element by element.\n",
     sub_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
    {"mul_q8", "Q8 product rounded half up to Q8 and saturated, element by element.\n",
     mul_q8_loops, no_data, q8_types, 1, 2, 1, NULL},
};

}  // namespace

int
register_elementwise(PyObject *module)
{
    return ufuncs_add(module, elementwise_ufuncs, std::size(elementwise_ufuncs));
}
