// The streaming FIR functions fir_q15 and fir_q8: lay each channel out
// contiguously, call the core filter (without the GIL, unless the block is
// short), return the state for the next block. Arguments: fir_args.cpp.
// Filtering along an axis is not elementwise work, so these are plain
// functions beside the ufuncs; the channel loop is the only loop here.
#include "filters.h"

#include <cstring>

#include "fir.h"
#include "fir_args.h"

namespace {

template <typename T, int (*Filter)(const T *, size_t, const T *, size_t, const T *, T *, int)>
int
call_filter(const void *x, size_t n, const void *taps, size_t ntaps, const void *history, void *out, int s)
{
    return Filter(static_cast<const T *>(x), n, static_cast<const T *>(taps), ntaps,
                  static_cast<const T *>(history), static_cast<T *>(out), s);
}

const FirKind kFirQ15 = {"fir_q15", NPY_INT16, sizeof(int16_t), call_filter<int16_t, fir_q15>};
const FirKind kFirQ8 = {"fir_q8", NPY_INT8, sizeof(int8_t), call_filter<int8_t, fir_q8>};

// arr with `axis` moved last, C-contiguous: a view of arr when it already
// is, which is only ever read.
PyArrayObject *
lanes_last(PyArrayObject *arr, int axis)
{
    const int last = PyArray_NDIM(arr) - 1;
    if (axis == last && PyArray_IS_C_CONTIGUOUS(arr)) {
        Py_INCREF(arr);
        return arr;
    }
    PyObject *view = PyArray_SwapAxes(arr, axis, last);
    if (view == NULL) {
        return NULL;
    }
    PyArrayObject *lanes = PyArray_GETCONTIGUOUS(reinterpret_cast<PyArrayObject *>(view));
    Py_DECREF(view);
    return lanes;
}

// Channels of an array laid out by lanes_last: all dimensions but the last.
size_t
lane_count(PyArrayObject *lanes)
{
    return static_cast<size_t>(PyArray_MultiplyList(PyArray_DIMS(lanes), PyArray_NDIM(lanes) - 1));
}

// A C-ordered result in the caller's axis order from one laid out by lanes.
PyObject *
lanes_back(PyArrayObject *lanes, int axis)
{
    const int last = PyArray_NDIM(lanes) - 1;
    if (axis == last) {
        Py_INCREF(lanes);
        return reinterpret_cast<PyObject *>(lanes);
    }
    PyObject *view = PyArray_SwapAxes(lanes, axis, last);
    if (view == NULL) {
        return NULL;
    }
    PyObject *ordered = PyArray_NewCopy(reinterpret_cast<PyArrayObject *>(view), NPY_CORDER);
    Py_DECREF(view);
    return ordered;
}

PyArrayObject *
new_like(PyArrayObject *shape_of, npy_intp last_dim, const FirKind &kind)
{
    npy_intp dims[NPY_MAXDIMS];
    const int ndim = PyArray_NDIM(shape_of);
    std::memcpy(dims, PyArray_DIMS(shape_of), ndim * sizeof(npy_intp));
    dims[ndim - 1] = last_dim;
    return reinterpret_cast<PyArrayObject *>(PyArray_SimpleNew(ndim, dims, kind.type));
}

// zi must have x's shape with ntaps - 1 along the axis.
int
check_zi_shape(PyArrayObject *zi, PyArrayObject *x, int axis, npy_intp history, const FirKind &kind)
{
    const int ndim = PyArray_NDIM(x);
    bool ok = PyArray_NDIM(zi) == ndim;
    for (int d = 0; ok && d < ndim; ++d) {
        ok = PyArray_DIM(zi, d) == (d == axis ? history : PyArray_DIM(x, d));
    }
    if (ok) {
        return 0;
    }
    PyObject *want = PyTuple_New(ndim);
    PyObject *got = PyArray_IntTupleFromIntp(PyArray_NDIM(zi), PyArray_DIMS(zi));
    if (want != NULL && got != NULL) {
        for (int d = 0; d < ndim; ++d) {
            PyTuple_SET_ITEM(want, d, PyLong_FromSsize_t(d == axis ? history : PyArray_DIM(x, d)));
        }
        PyErr_Format(PyExc_ValueError,
                     "%s: zi must have shape %S (the samples' shape with len(taps) - 1 = %zd along axis %d), "
                     "not %S",
                     kind.name, want, static_cast<Py_ssize_t>(history), axis, got);
    }
    Py_XDECREF(want);
    Py_XDECREF(got);
    return -1;
}

// The last `history` samples of each lane of [zi, x]: the next block's zi.
void
next_history(const char *zi, const char *x, char *zf, size_t lanes, size_t n, size_t history, size_t item)
{
    for (size_t c = 0; c < lanes; ++c, zi += history * item, x += n * item, zf += history * item) {
        const size_t from_zi = n < history ? history - n : 0;
        std::memcpy(zf, zi + (history - from_zi) * item, from_zi * item);
        std::memcpy(zf + from_zi * item, x + (n - (history - from_zi)) * item, (history - from_zi) * item);
    }
}

// One call's filtering, everything laid out by lanes: no Python objects,
// so that it can run without the GIL.
struct FirRun {
    const FirKind &kind;
    const char *x;
    const char *history;
    const void *taps;
    char *y;
    char *next;
    size_t lanes;
    size_t n;
    size_t ntaps;
    int shift;
};

// Products below which the GIL stays held.
constexpr double kNoThreadsBelow = 1 << 16;

int
run_filter(const FirRun &r)
{
    const size_t item = r.kind.item;
    const size_t history = r.ntaps - 1;
    for (size_t c = 0; c < r.lanes; ++c) {
        const char *h = r.history ? r.history + c * history * item : NULL;
        if (r.kind.kernel(r.x + c * r.n * item, r.n, r.taps, r.ntaps, h, r.y + c * r.n * item, r.shift) != 0) {
            return -1;
        }
    }
    if (r.next != NULL) {
        next_history(r.history, r.x, r.next, r.lanes, r.n, history, item);
    }
    return 0;
}

PyObject *
fir(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, const FirKind &kind, int default_shift)
{
    FirArgs a;
    PyArrayObject *x = NULL, *taps = NULL, *zi = NULL, *x_lanes = NULL, *zi_lanes = NULL;
    PyArrayObject *y_lanes = NULL, *zf_lanes = NULL;
    PyObject *y = NULL, *zf = NULL, *result = NULL;
    npy_intp ntaps, history, n;
    size_t lanes;
    int status = 0;

    if (fir_parse_args(args, nargs, kwnames, kind, default_shift, &a) < 0) {
        return NULL;
    }
    const int shift = a.shift;
    int axis = a.axis;
    if ((x = fir_as_samples(a.x, kind, "x")) == NULL || (taps = fir_as_samples(a.taps, kind, "taps")) == NULL) {
        goto done;
    }
    if (PyArray_NDIM(taps) != 1 || PyArray_DIM(taps, 0) == 0) {
        PyErr_Format(PyExc_ValueError, "%s: taps must be one-dimensional and not empty", kind.name);
        goto done;
    }
    if (PyArray_NDIM(x) == 0) {
        PyErr_Format(PyExc_ValueError, "%s: x must have at least one dimension", kind.name);
        goto done;
    }
    if (axis < -PyArray_NDIM(x) || axis >= PyArray_NDIM(x)) {
        // Raises NumPy's AxisError.
        Py_XDECREF(PyArray_CheckAxis(x, &axis, 0));
        goto done;
    }
    if (axis < 0) {
        axis += PyArray_NDIM(x);
    }
    ntaps = PyArray_DIM(taps, 0);
    history = ntaps - 1;
    if (a.zi != Py_None) {
        if ((zi = fir_as_samples(a.zi, kind, "zi")) == NULL || check_zi_shape(zi, x, axis, history, kind) < 0 ||
            (zi_lanes = lanes_last(zi, axis)) == NULL) {
            goto done;
        }
    }
    if ((x_lanes = lanes_last(x, axis)) == NULL) {
        goto done;
    }
    Py_SETREF(taps, PyArray_GETCONTIGUOUS(taps));
    if (taps == NULL || (y_lanes = new_like(x_lanes, PyArray_DIM(x_lanes, PyArray_NDIM(x_lanes) - 1), kind)) == NULL) {
        goto done;
    }
    if (zi_lanes != NULL && (zf_lanes = new_like(zi_lanes, history, kind)) == NULL) {
        goto done;
    }
    n = PyArray_DIM(x_lanes, PyArray_NDIM(x_lanes) - 1);
    lanes = lane_count(x_lanes);
    {
        FirRun run = {kind,
                      static_cast<const char *>(PyArray_DATA(x_lanes)),
                      zi_lanes ? static_cast<const char *>(PyArray_DATA(zi_lanes)) : NULL,
                      PyArray_DATA(taps),
                      static_cast<char *>(PyArray_DATA(y_lanes)),
                      zf_lanes ? static_cast<char *>(PyArray_DATA(zf_lanes)) : NULL,
                      lanes, static_cast<size_t>(n), static_cast<size_t>(ntaps), shift};
        // Releasing the GIL costs more than a short block takes to filter.
        if (static_cast<double>(lanes) * static_cast<double>(n) * static_cast<double>(ntaps) < kNoThreadsBelow) {
            status = run_filter(run);
        } else {
            Py_BEGIN_ALLOW_THREADS
            status = run_filter(run);
            Py_END_ALLOW_THREADS
        }
    }
    if (status != 0) {
        PyErr_NoMemory();
        goto done;
    }
    if ((y = lanes_back(y_lanes, axis)) == NULL) {
        goto done;
    }
    if (zf_lanes == NULL) {
        result = y;
        y = NULL;
        goto done;
    }
    if ((zf = lanes_back(zf_lanes, axis)) != NULL) {
        result = PyTuple_Pack(2, y, zf);
    }

done:
    Py_XDECREF(x);
    Py_XDECREF(taps);
    Py_XDECREF(zi);
    Py_XDECREF(x_lanes);
    Py_XDECREF(zi_lanes);
    Py_XDECREF(y_lanes);
    Py_XDECREF(zf_lanes);
    Py_XDECREF(y);
    Py_XDECREF(zf);
    return result;
}

PyObject *
fir_q15_function(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    return fir(args, nargs, kwnames, kFirQ15, 15);
}

PyObject *
fir_q8_function(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    return fir(args, nargs, kwnames, kFirQ8, 7);
}

PyDoc_STRVAR(fir_q15__doc__,
"fir_q15(x, taps, shift=15, *, zi=None, axis=-1)\n"
"--\n"
"\n"
"Direct-form FIR of int16 samples along `axis` of x (any shape: channels x\n"
"samples works): y[n] = narrow_q15(sum over j of taps[j] * x[n - j], shift),\n"
"the sum exact in 64 bits. taps is a non-empty 1-D int16 vector.\n"
"\n"
"Samples before the start are zero, or come from zi: the last len(taps) - 1\n"
"inputs of the previous block along the axis, oldest first, so zi has x's\n"
"shape with len(taps) - 1 along the axis: (channels, len(taps) - 1) for x of\n"
"shape (channels, samples), np.zeros((8, 30), np.int16) for 8 channels and\n"
"31 taps. With zi given the result is (y, zf), zf being the zi of the next\n"
"block, as in scipy.signal.lfilter: a signal cut into blocks of any sizes\n"
"gives exactly the one-pass output. Inputs must be int16 or a narrower\n"
"integer type; a numpy.ma.MaskedArray is refused (fill it first).\n"
"\n"
">>> taps = np.array([16384, 16384], np.int16)  # (x[n] + x[n-1]) / 2\n"
">>> fir_q15(np.array([1000, 2000, 3000], np.int16), taps)\n"
"array([ 500, 1500, 2500], dtype=int16)\n"
">>> fir_q15(np.array([5000], np.int16), taps, zi=np.array([3000], np.int16))\n"
"(array([4000], dtype=int16), array([5000], dtype=int16))\n"
">>> x = np.array([[1000, 2000], [-1000, -2000]], np.int16)  # 2 channels\n"
">>> fir_q15(x, taps, zi=np.zeros((2, 1), np.int16))\n"
"(array([[  500,  1500],\n"
"       [ -500, -1500]], dtype=int16), array([[ 2000],\n"
"       [-2000]], dtype=int16))\n");

PyDoc_STRVAR(fir_q8__doc__,
"fir_q8(x, taps, shift=7, *, zi=None, axis=-1)\n"
"--\n"
"\n"
"fir_q15 for int8 samples and taps: the Q14 sum wraps at 32 bits as dot_q8\n"
"does and is narrowed by narrow_q8(sum, shift).\n"
"\n"
">>> fir_q8(np.array([100, 100, -100], np.int8), np.array([64, 64], np.int8))\n"
"array([ 50, 100,   0], dtype=int8)\n");

#define FIR_CFUNC(func) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(func))

PyMethodDef fir_methods[] = {
    {"fir_q15", FIR_CFUNC(fir_q15_function), METH_FASTCALL | METH_KEYWORDS, fir_q15__doc__},
    {"fir_q8", FIR_CFUNC(fir_q8_function), METH_FASTCALL | METH_KEYWORDS, fir_q8__doc__},
    {NULL, NULL, 0, NULL},
};

}  // namespace

int
register_fir(PyObject *module)
{
    return PyModule_AddFunctions(module, fir_methods);
}
