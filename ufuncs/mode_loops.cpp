// narrow and quantize in every rounding and overflow mode: one ufunc per
// mode pair and sample type, the pair bound in the loop's data, so that the
// mode is fixed for the whole call and NumPy still does the broadcasting,
// casting, out= and duck-array dispatch. corvane.narrow / corvane.quantize
// pick the ufunc from the keywords (corvane/_modes.py).
#include "ufuncs.h"

#include <cfenv>
#include <climits>
#include <string>
#include <vector>

#include "rounding.h"
#include "rounding_rules.h"
#include "strided.h"

namespace {

using corvane::NarrowMode;

template <typename Sample>
using NarrowKernel = void (*)(const int64_t *, size_t, Sample *, int, int, int);
template <typename Float, typename Sample>
using QuantizeKernel = size_t (*)(const Float *, size_t, Sample *, int, int);

NarrowMode mode_of(const void *data)
{
    const int pair = static_cast<int>(reinterpret_cast<intptr_t>(data));
    return NarrowMode{static_cast<corvane::Rounding>(pair / CORVANE_OVERFLOW_COUNT),
                      static_cast<corvane::Overflow>(pair % CORVANE_OVERFLOW_COUNT)};
}

// Counts past the int range act as its ends do.
template <typename Count>
inline int count_at(const char *p)
{
    const Count c = corvane::load_at<Count>(p);
    return static_cast<int>(c < INT_MIN ? INT_MIN : (c > INT_MAX ? INT_MAX : c));
}

// Contiguous sums with one count are the kernel's case; everything else goes
// element by element through the rule.
template <typename Count, typename Sample, NarrowKernel<Sample> Kernel>
void
narrow_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *data)
{
    const size_t n = static_cast<size_t>(dimensions[0]);
    const NarrowMode mode = mode_of(data);
    if (n == 0) {
        return;
    }
    if (steps[0] == sizeof(int64_t) && steps[1] == 0 && steps[2] == sizeof(Sample)) {
        Kernel(reinterpret_cast<const int64_t *>(args[0]), n, reinterpret_cast<Sample *>(args[2]),
               count_at<Count>(args[1]), static_cast<int>(mode.rounding), static_cast<int>(mode.overflow));
        return;
    }
    const char *x = args[0];
    const char *count = args[1];
    char *out = args[2];
    for (size_t i = 0; i < n; ++i, x += steps[0], count += steps[1], out += steps[2]) {
        corvane::store_at<Sample>(out, corvane::narrow_rule<Sample>(corvane::load_at<int64_t>(x),
                                                                     count_at<Count>(count), mode));
    }
}

// An invalid input (NaN, or +-inf under wrap) gives 0 and raises the invalid
// flag, which NumPy reports after the loop under its error state.
template <typename Float, typename Sample, QuantizeKernel<Float, Sample> Kernel>
void
quantize_loop(char **args, npy_intp const *dimensions, npy_intp const *steps, void *data)
{
    const size_t n = static_cast<size_t>(dimensions[0]);
    const NarrowMode mode = mode_of(data);
    size_t invalid = 0;
    if (steps[0] == sizeof(Float) && steps[1] == sizeof(Sample)) {
        invalid = Kernel(reinterpret_cast<const Float *>(args[0]), n, reinterpret_cast<Sample *>(args[1]),
                         static_cast<int>(mode.rounding), static_cast<int>(mode.overflow));
    } else {
        const char *x = args[0];
        char *out = args[1];
        for (size_t i = 0; i < n; ++i, x += steps[0], out += steps[1]) {
            const double v = corvane::load_at<Float>(x);
            invalid += corvane::quantize_invalid(v, mode.overflow);
            corvane::store_at<Sample>(out, corvane::quantize_rule<Sample>(v, mode));
        }
    }
    if (invalid != 0) {
        std::feraiseexcept(FE_INVALID);
    }
}

PyUFuncGenericFunction narrow_q15_loops[] = {
    narrow_loop<int32_t, int16_t, narrow_q15_modes>,
    narrow_loop<int64_t, int16_t, narrow_q15_modes>,
};
PyUFuncGenericFunction narrow_q8_loops[] = {
    narrow_loop<int32_t, int8_t, narrow_q8_modes>,
    narrow_loop<int64_t, int8_t, narrow_q8_modes>,
};
PyUFuncGenericFunction quantize_q15_loops[] = {
    quantize_loop<float, int16_t, quantize_q15_f32>,
    quantize_loop<double, int16_t, quantize_q15_f64>,
};
PyUFuncGenericFunction quantize_q8_loops[] = {
    quantize_loop<float, int8_t, quantize_q8_f32>,
    quantize_loop<double, int8_t, quantize_q8_f64>,
};
char narrow_q15_types[] = {NPY_INT64, NPY_INT32, NPY_INT16, NPY_INT64, NPY_INT64, NPY_INT16};
char narrow_q8_types[] = {NPY_INT64, NPY_INT32, NPY_INT8, NPY_INT64, NPY_INT64, NPY_INT8};
char quantize_q15_types[] = {NPY_FLOAT32, NPY_INT16, NPY_FLOAT64, NPY_INT16};
char quantize_q8_types[] = {NPY_FLOAT32, NPY_INT8, NPY_FLOAT64, NPY_INT8};

constexpr int kPairs = CORVANE_ROUNDING_COUNT * CORVANE_OVERFLOW_COUNT;

// Each ufunc's loops share its mode pair as data (the pair's number, not a
// pointer), NumPy keeps every array: all of them live as long as the module.
void *mode_data[kPairs][2];

struct Family {
    const char *prefix;
    const char *doc;
    PyUFuncGenericFunction *loops;
    char *types;
    int nin;
};

const Family kFamilies[] = {
    {"narrow_q15", "narrow(x, s) to int16 in the modes of its name: see corvane.narrow.",
     narrow_q15_loops, narrow_q15_types, 2},
    {"narrow_q8", "narrow(x, s) to int8 in the modes of its name: see corvane.narrow.",
     narrow_q8_loops, narrow_q8_types, 2},
    {"quantize_q15", "quantize(x) to Q15 in the modes of its name: see corvane.quantize.",
     quantize_q15_loops, quantize_q15_types, 1},
    {"quantize_q8", "quantize(x) to Q7 in the modes of its name: see corvane.quantize.",
     quantize_q8_loops, quantize_q8_types, 1},
};

// Names as "narrow_q15__floor__wrap"; NumPy keeps the name and doc pointers.
std::vector<std::string> *names;

}  // namespace

int
register_mode_ufuncs(PyObject *module)
{
    names = new std::vector<std::string>();
    names->reserve(std::size(kFamilies) * kPairs);
    std::vector<UfuncSpec> specs;
    for (int pair = 0; pair < kPairs; ++pair) {
        mode_data[pair][0] = mode_data[pair][1] = reinterpret_cast<void *>(static_cast<intptr_t>(pair));
    }
    for (const Family &f : kFamilies) {
        for (int pair = 0; pair < kPairs; ++pair) {
            names->push_back(std::string(f.prefix) + "__" + corvane_rounding_name(pair / CORVANE_OVERFLOW_COUNT) +
                             "__" + corvane_overflow_name(pair % CORVANE_OVERFLOW_COUNT));
            specs.push_back(UfuncSpec{names->back().c_str(), f.doc, f.loops, mode_data[pair], f.types, 2, f.nin, 1,
                                      NULL});
        }
    }
    return ufuncs_add(module, specs.data(), specs.size());
}
