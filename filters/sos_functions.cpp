// sosfilt_q15: a cascade of biquads along an axis, the core filtering the
// samples time-major (each time step's channels side by side, so that the
// vector paths hold channels in lanes). Arguments: sos_args.cpp.
#include "filters.h"

#include "axis_layout.h"
#include "call_args.h"
#include "dask_route.h"
#include "sos_args.h"

namespace {

constexpr const char kName[] = "sosfilt_q15";

PyObject *
sosfilt_q15_function(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    static const char *const names[] = {"sos", "x", "zi", "axis", "rounding", "overflow", "accumulator"};
    PyObject *slots[7];
    PyArrayObject *sos = NULL, *x = NULL, *x_moved = NULL, *state = NULL, *y_moved = NULL;
    PyObject *y = NULL, *zf = NULL, *result = NULL;
    SosModes modes;
    int axis = -1;

    if (dask_route(kName, "x", 1, args, nargs, kwnames, &result)) return result;
    if (parse_call(args, nargs, kwnames, kName, names, 7, 2, 2, slots) < 0 ||
        sos_parse_modes(slots[4], slots[5], slots[6], &modes) < 0) {
        return NULL;
    }
    if (slots[3] != NULL) {
        const long value = PyLong_AsLong(slots[3]);
        if (value == -1 && PyErr_Occurred()) {
            return NULL;
        }
        if (value < -NPY_MAXDIMS - 1 || value > NPY_MAXDIMS) {
            PyErr_Format(PyExc_ValueError, "%s: axis %ld is out of bounds", kName, value);
            return NULL;
        }
        axis = static_cast<int>(value);
    }
    if ((sos = sos_as_coefficients(slots[0], kName)) == NULL || (x = sos_as_signal(slots[1], kName, &axis)) == NULL) {
        goto done;
    }
    if (slots[2] != NULL && slots[2] != Py_None) {
        state = sos_state_from_zi(slots[2], x, axis, PyArray_DIM(sos, 0), kName);
    } else {
        npy_intp dims[NPY_MAXDIMS + 1];
        dims[0] = PyArray_DIM(sos, 0);
        for (int d = 0; d < PyArray_NDIM(x); ++d) {
            dims[d + 1] = PyArray_DIM(x, d);
        }
        dims[axis + 1] = 4;
        state = reinterpret_cast<PyArrayObject *>(PyArray_ZEROS(PyArray_NDIM(x) + 1, dims, NPY_INT16, 0));
    }
    if (state == NULL || (x_moved = move_axis(x, axis, 0, false)) == NULL) {
        goto done;
    }
    // Read the data pointers only now: every conversion is done.
    if ((y_moved = sos_filter_time_major(x_moved, sos, static_cast<int16_t *>(PyArray_DATA(state)), modes,
                                         kName)) == NULL ||
        (y = axis_back(y_moved, 0, axis)) == NULL) {
        goto done;
    }
    if (slots[2] == NULL || slots[2] == Py_None) {
        result = y;
        y = NULL;
        goto done;
    }
    if ((zf = axis_back(state, 1, axis + 1)) != NULL) {
        result = PyTuple_Pack(2, y, zf);
    }

done:
    Py_XDECREF(sos);
    Py_XDECREF(x);
    Py_XDECREF(x_moved);
    Py_XDECREF(state);
    Py_XDECREF(y_moved);
    Py_XDECREF(y);
    Py_XDECREF(zf);
    return result;
}

PyDoc_STRVAR(sosfilt_q15__doc__,
"sosfilt_q15(sos, x, *, zi=None, axis=-1, rounding='nearest', overflow='saturate', accumulator='exact')\n"
"--\n"
"\n"
"A cascade of second-order sections over int16 samples along `axis` of x,\n"
"bit for bit as fixed-point firmware runs it. Each row of sos is\n"
"[b0, b1, b2, a0, a1, a2] with a0 = 2**f (0 <= f <= 15) and the others\n"
"Q(f) integers in the int16 range (quantize_sos makes such rows). Each\n"
"section runs direct form I:\n"
"\n"
"    acc  = b0*x[n] + b1*x[n-1] + b2*x[n-2] - a1*y[n-1] - a2*y[n-2]\n"
"    y[n] = acc / 2**f, rounded and brought to int16 by the modes\n"
"\n"
"with acc exact, or wrapped to 32 bits first with accumulator='int32'.\n"
"rounding is one of 'nearest', 'floor', 'ceiling', 'zero', 'round',\n"
"'convergent'; overflow 'saturate' or 'wrap'.\n"
"\n"
"With zi, of shape (n_sections,) + x.shape with 4 along axis, holding\n"
"[x[n-1], x[n-2], y[n-1], y[n-2]] of each section (zeros: at rest), the\n"
"result is (y, zf), zf being the zi of the next block: a signal cut into\n"
"blocks of any sizes gives exactly the one-pass output.\n");

#define SOS_CFUNC(func) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(func))

PyMethodDef sos_methods[] = {
    {"sosfilt_q15", SOS_CFUNC(sosfilt_q15_function), METH_FASTCALL | METH_KEYWORDS, sosfilt_q15__doc__},
    {NULL, NULL, 0, NULL},
};

}  // namespace

int
register_sos(PyObject *module)
{
    return PyModule_AddFunctions(module, sos_methods);
}
