// Arguments of the biquad cascades: coefficients checked row by row, samples
// and state under the safe-casting rule of the FIR filters, and the
// time-major layout the core filters in.
#include "sos_args.h"

#include <climits>
#include <cstring>

#include "biquad.h"
#include "axis_layout.h"
#include "fir_args.h"
#include "mode_args.h"

namespace {

const char *const kAccumulatorNames[] = {"exact", "int32"};

// Whether obj is a NumPy masked array, whose mask a filter cannot honour.
int
is_masked(PyObject *obj)
{
    if (!PyArray_Check(obj) || PyArray_CheckExact(obj)) {
        return 0;
    }
    PyObject *ma = PyImport_ImportModule("numpy.ma");
    if (ma == NULL) {
        return -1;
    }
    PyObject *masked = PyObject_GetAttrString(ma, "MaskedArray");
    Py_DECREF(ma);
    if (masked == NULL) {
        return -1;
    }
    const int result = PyObject_IsInstance(obj, masked);
    Py_DECREF(masked);
    return result;
}

int
refuse_masked(PyObject *obj, const char *fname, const char *what)
{
    const int masked = is_masked(obj);
    if (masked > 0) {
        PyErr_Format(PyExc_TypeError, "%s: %s is a masked array; fill it first (x.filled(0))", fname, what);
    }
    return masked != 0 ? -1 : 0;
}

}  // namespace

int
sos_parse_modes(PyObject *rounding, PyObject *overflow, PyObject *accumulator, SosModes *modes)
{
    if (parse_rounding(rounding, &modes->rounding) < 0 || parse_overflow(overflow, &modes->overflow) < 0) {
        return -1;
    }
    modes->accumulator = CORVANE_ACC_EXACT;
    if (accumulator == NULL || accumulator == Py_None) {
        return 0;
    }
    if (!PyUnicode_Check(accumulator)) {
        PyErr_Format(PyExc_TypeError, "accumulator must be a str, not %.200s", Py_TYPE(accumulator)->tp_name);
        return -1;
    }
    for (int mode = 0; mode < 2; ++mode) {
        if (PyUnicode_CompareWithASCIIString(accumulator, kAccumulatorNames[mode]) == 0) {
            modes->accumulator = mode;
            return 0;
        }
    }
    PyErr_Format(PyExc_ValueError, "accumulator must be one of \"exact\", \"int32\", not %R", accumulator);
    return -1;
}

const char *
sos_accumulator_name(int accumulator)
{
    return kAccumulatorNames[accumulator == CORVANE_ACC_INT32];
}

PyArrayObject *
sos_as_coefficients(PyObject *obj, const char *fname)
{
    PyArrayObject *arr = NULL, *wide = NULL, *result = NULL;
    bool unsigned64;
    npy_intp rows;
    long bad;

    if (refuse_masked(obj, fname, "sos") < 0 ||
        (arr = reinterpret_cast<PyArrayObject *>(PyArray_FromAny(obj, NULL, 0, 0, 0, NULL))) == NULL) {
        return NULL;
    }
    if (!PyTypeNum_ISINTEGER(PyArray_TYPE(arr))) {
        PyErr_Format(PyExc_TypeError,
                     "%s: sos must hold integer coefficients (quantize_sos makes them from float ones), not %S",
                     fname, reinterpret_cast<PyObject *>(PyArray_DESCR(arr)));
        goto done;
    }
    if (PyArray_NDIM(arr) != 2 || PyArray_DIM(arr, 1) != 6 || PyArray_DIM(arr, 0) == 0) {
        PyObject *shape = PyArray_IntTupleFromIntp(PyArray_NDIM(arr), PyArray_DIMS(arr));
        if (shape != NULL) {
            PyErr_Format(PyExc_ValueError, "%s: sos must have shape (n_sections, 6) with n_sections >= 1, not %S",
                         fname, shape);
            Py_DECREF(shape);
        }
        goto done;
    }
    // Every integer type but uint64 casts to int64 exactly.
    unsigned64 = PyTypeNum_ISUNSIGNED(PyArray_TYPE(arr)) && PyArray_ITEMSIZE(arr) == 8;
    wide = reinterpret_cast<PyArrayObject *>(PyArray_FromAny(
        reinterpret_cast<PyObject *>(arr), PyArray_DescrFromType(unsigned64 ? NPY_UINT64 : NPY_INT64), 0, 0,
        NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST, NULL));
    if (wide == NULL) {
        goto done;
    }
    rows = PyArray_DIM(wide, 0);
    if ((result = reinterpret_cast<PyArrayObject *>(PyArray_SimpleNew(2, PyArray_DIMS(wide), NPY_INT32))) == NULL) {
        goto done;
    }
    {
        int32_t *out = static_cast<int32_t *>(PyArray_DATA(result));
        const char *in = static_cast<const char *>(PyArray_DATA(wide));
        for (npy_intp i = 0; i < rows * 6; ++i) {
            // Anything past the int32 range is as invalid as INT32_MIN.
            if (unsigned64) {
                uint64_t v;
                std::memcpy(&v, in + 8 * i, 8);
                out[i] = v > INT32_MAX ? INT32_MIN : static_cast<int32_t>(v);
            } else {
                int64_t v;
                std::memcpy(&v, in + 8 * i, 8);
                out[i] = v > INT32_MAX || v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
            }
        }
        bad = sos_check_q15(out, static_cast<size_t>(rows));
    }
    if (bad >= 0) {
        PyObject *value = PyArray_GETITEM(wide, static_cast<const char *>(PyArray_DATA(wide)) + 8 * bad);
        if (value != NULL) {
            const long row = bad / 6, col = bad % 6;
            if (col == 3) {
                PyErr_Format(PyExc_ValueError,
                             "%s: sos[%ld, 3] (a0) must be a power of two 2**f with 0 <= f <= 15, not %S", fname,
                             row, value);
            } else {
                PyErr_Format(PyExc_ValueError,
                             "%s: sos[%ld, %ld] = %S is outside the int16 range [-32768, 32767]", fname, row, col,
                             value);
            }
            Py_DECREF(value);
        }
        Py_CLEAR(result);
    }

done:
    Py_XDECREF(arr);
    Py_XDECREF(wide);
    return result;
}

PyArrayObject *
sos_as_samples(PyObject *obj, const char *fname, const char *what)
{
    if (refuse_masked(obj, fname, what) < 0) {
        return NULL;
    }
    const FirKind kind = {fname, NPY_INT16, sizeof(int16_t), NULL};
    return fir_as_samples(obj, kind, what);
}

PyArrayObject *
sos_as_signal(PyObject *obj, const char *fname, int *axis)
{
    PyArrayObject *x = sos_as_samples(obj, fname, "x");
    if (x == NULL) {
        return NULL;
    }
    const int ndim = PyArray_NDIM(x);
    if (ndim == 0) {
        PyErr_Format(PyExc_ValueError, "%s: x must have at least one dimension", fname);
    } else if (*axis < -ndim || *axis >= ndim) {
        // Raises NumPy's AxisError.
        Py_XDECREF(PyArray_CheckAxis(x, axis, 0));
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_ValueError, "axis %d is out of bounds for an array of dimension %d", *axis, ndim);
        }
    } else {
        *axis += *axis < 0 ? ndim : 0;
        return x;
    }
    Py_DECREF(x);
    return NULL;
}

PyArrayObject *
sos_state_from_zi(PyObject *obj, PyArrayObject *x, int axis, npy_intp n_sections, const char *fname)
{
    PyArrayObject *zi = sos_as_samples(obj, fname, "zi");
    if (zi == NULL) {
        return NULL;
    }
    const int ndim = PyArray_NDIM(x);
    bool ok = PyArray_NDIM(zi) == ndim + 1 && PyArray_DIM(zi, 0) == n_sections;
    for (int d = 0; ok && d < ndim; ++d) {
        ok = PyArray_DIM(zi, d + 1) == (d == axis ? 4 : PyArray_DIM(x, d));
    }
    if (!ok) {
        PyObject *want = PyTuple_New(ndim + 1);
        PyObject *got = PyArray_IntTupleFromIntp(PyArray_NDIM(zi), PyArray_DIMS(zi));
        if (want != NULL && got != NULL) {
            PyTuple_SET_ITEM(want, 0, PyLong_FromSsize_t(n_sections));
            for (int d = 0; d < ndim; ++d) {
                PyTuple_SET_ITEM(want, d + 1, PyLong_FromSsize_t(d == axis ? 4 : PyArray_DIM(x, d)));
            }
            PyErr_Format(PyExc_ValueError,
                         "%s: zi must have shape %S ((n_sections,) + x.shape with 4 along axis %d), not %S",
                         fname, want, axis, got);
        }
        Py_XDECREF(want);
        Py_XDECREF(got);
        Py_DECREF(zi);
        return NULL;
    }
    PyArrayObject *state = move_axis(zi, axis + 1, 1, true);
    Py_DECREF(zi);
    return state;
}

namespace {

// Sample-section products below which the GIL stays held.
constexpr double kNoThreadsBelow = 1 << 16;

}  // namespace

PyArrayObject *
sos_filter_time_major(PyArrayObject *x_moved, PyArrayObject *sos, int16_t *state, const SosModes &modes,
                      const char *fname)
{
    PyArrayObject *y = reinterpret_cast<PyArrayObject *>(
        PyArray_SimpleNew(PyArray_NDIM(x_moved), PyArray_DIMS(x_moved), NPY_INT16));
    if (y == NULL) {
        return NULL;
    }
    const size_t n = static_cast<size_t>(PyArray_DIM(x_moved, 0));
    const size_t channels = static_cast<size_t>(PyArray_MultiplyList(PyArray_DIMS(x_moved) + 1,
                                                                     PyArray_NDIM(x_moved) - 1));
    const size_t n_sections = static_cast<size_t>(PyArray_DIM(sos, 0));
    const int16_t *x = static_cast<const int16_t *>(PyArray_DATA(x_moved));
    const int32_t *coefficients = static_cast<const int32_t *>(PyArray_DATA(sos));
    int16_t *out = static_cast<int16_t *>(PyArray_DATA(y));
    int status;
    if (static_cast<double>(n) * static_cast<double>(channels) * static_cast<double>(n_sections) < kNoThreadsBelow) {
        status = sosfilt_q15(x, n, channels, coefficients, n_sections, state, out, modes.rounding, modes.overflow,
                             modes.accumulator);
    } else {
        Py_BEGIN_ALLOW_THREADS
        status = sosfilt_q15(x, n, channels, coefficients, n_sections, state, out, modes.rounding, modes.overflow,
                             modes.accumulator);
        Py_END_ALLOW_THREADS
    }
    if (status != 0) {
        // The coefficients and modes were checked: only memory can fail.
        PyErr_Format(PyExc_MemoryError, "%s: out of memory", fname);
        Py_DECREF(y);
        return NULL;
    }
    return y;
}
