// FirFilter: a streaming FIR, plain or polyphase (up, down), holding its taps,
// the inputs each channel still needs and the phase of the stream in native
// buffers, so that a call on a block does no Python-level work beyond
// converting the block. Pickling goes through corvane._pickle.
#include "filters.h"

#include <structmember.h>

#include <cstring>

#include "fir_args.h"
#include "lanes.h"
#include "mode_args.h"
#include "rounding.h"
#include "upfirdn_lanes.h"

namespace {

struct FirFilterObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    PyArrayObject *taps;  // int16, one-dimensional, contiguous, never written
    upfirdn_plan *plan;
    int shift;
    int up;
    int down;
    int axis;
    int rounding;
    int overflow;
    size_t phase;
    // The channels: x's shape without the axis, fixed by the first block
    // (ndim < 0 before it). history holds upfirdn_history samples per lane.
    int ndim;
    npy_intp shape[NPY_MAXDIMS];
    size_t lanes;
    int16_t *history;
};

const char kName[] = "FirFilter";
const FirKind kSamples = {kName, NPY_INT16, sizeof(int16_t), NULL};

size_t
held(const FirFilterObject *self)
{
    return upfirdn_history(self->plan);
}

void
forget_channels(FirFilterObject *self)
{
    PyMem_Free(self->history);
    self->history = NULL;
    self->ndim = -1;
    self->lanes = 0;
    self->phase = 0;
}

// Fixes the channels from x (axis already in range) or checks them.
int
take_channels(FirFilterObject *self, PyArrayObject *x, int axis)
{
    const int ndim = PyArray_NDIM(x);
    if (self->ndim < 0) {
        size_t lanes = 1;
        for (int d = 0, k = 0; d < ndim; ++d) {
            if (d != axis) {
                self->shape[k++] = PyArray_DIM(x, d);
                lanes *= static_cast<size_t>(PyArray_DIM(x, d));
            }
        }
        // One more sample than needed, so that an empty history still has
        // a buffer.
        self->history = static_cast<int16_t *>(PyMem_Calloc(lanes * held(self) + 1, sizeof(int16_t)));
        if (self->history == NULL) {
            PyErr_NoMemory();
            return -1;
        }
        self->ndim = ndim;
        self->lanes = lanes;
        return 0;
    }
    bool same = ndim == self->ndim;
    for (int d = 0, k = 0; same && d < ndim; ++d) {
        if (d != axis) {
            same = PyArray_DIM(x, d) == self->shape[k++];
        }
    }
    if (same) {
        return 0;
    }
    PyObject *held_shape = PyArray_IntTupleFromIntp(self->ndim - 1, self->shape);
    if (held_shape != NULL) {
        PyErr_Format(PyExc_ValueError,
                     "%s: x has other channels than the earlier blocks: its shape without axis %d must be %S",
                     kName, self->axis, held_shape);
        Py_DECREF(held_shape);
    }
    return -1;
}

PyObject *
fir_filter_vectorcall(PyObject *callable, PyObject *const *args, size_t nargsf, PyObject *kwnames)
{
    FirFilterObject *self = reinterpret_cast<FirFilterObject *>(callable);
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    PyArrayObject *x = NULL, *x_lanes = NULL, *y_lanes = NULL;
    PyObject *result = NULL;
    int axis;
    npy_intp x_stride = 0;
    size_t n;

    if (nargs != 1 || (kwnames != NULL && PyTuple_GET_SIZE(kwnames) != 0)) {
        PyErr_Format(PyExc_TypeError, "%s() takes one block of samples, x", kName);
        return NULL;
    }
    if ((x = fir_as_samples(args[0], kSamples, "x")) == NULL) {
        return NULL;
    }
    if ((axis = lanes_axis(x, self->axis, kName)) < 0 || take_channels(self, x, axis) < 0 ||
        (x_lanes = lanes_in_place(x, axis, &x_stride)) == NULL) {
        goto done;
    }
    n = static_cast<size_t>(PyArray_DIM(x_lanes, PyArray_NDIM(x_lanes) - 1));
    if ((y_lanes = new_like(x_lanes, static_cast<npy_intp>(upfirdn_outputs(self->plan, n, self->phase)),
                            NPY_INT16)) == NULL) {
        goto done;
    }
    {
        UpfirdnRun run = {kUpfirdnQ15, self->plan, static_cast<const char *>(PyArray_DATA(x_lanes)), x_stride,
                          reinterpret_cast<char *>(self->history), static_cast<char *>(PyArray_DATA(y_lanes)),
                          self->lanes, n, self->phase, self->shift, self->rounding, self->overflow};
        if (upfirdn_run_lanes(run) < 0) {
            goto done;
        }
    }
    self->phase = upfirdn_next_phase(self->plan, n, self->phase);
    result = lanes_back(y_lanes, axis);

done:
    Py_XDECREF(x);
    Py_XDECREF(x_lanes);
    Py_XDECREF(y_lanes);
    return result;
}

// A filter with the given settings, from rest.
FirFilterObject *
make_filter(PyTypeObject *type, PyArrayObject *taps, int shift, int up, int down, int axis, int rounding,
            int overflow)
{
    FirFilterObject *self = reinterpret_cast<FirFilterObject *>(type->tp_alloc(type, 0));
    if (self == NULL) {
        return NULL;
    }
    self->vectorcall = fir_filter_vectorcall;
    self->ndim = -1;
    Py_INCREF(taps);
    self->taps = taps;
    self->shift = shift;
    self->up = up;
    self->down = down;
    self->axis = axis;
    self->rounding = rounding;
    self->overflow = overflow;
    self->plan = kUpfirdnQ15.plan(PyArray_DATA(taps), static_cast<size_t>(PyArray_DIM(taps, 0)),
                                  static_cast<size_t>(up), static_cast<size_t>(down));
    if (self->plan == NULL) {
        PyErr_NoMemory();
        Py_DECREF(self);
        return NULL;
    }
    return self;
}

PyObject *
fir_filter_new(PyTypeObject *type, PyObject *args, PyObject *kwargs)
{
    static const char *names[] = {"taps", "shift", "up", "down", "axis", "rounding", "overflow", NULL};
    PyObject *taps_arg, *up_arg = NULL, *down_arg = NULL, *rounding_arg = NULL, *overflow_arg = NULL;
    PyArrayObject *taps = NULL, *owned = NULL;
    PyObject *result = NULL;
    int shift = 15, axis = -1, rounding = CORVANE_ROUND_NEAREST, overflow = CORVANE_OVERFLOW_SATURATE;
    size_t up = 1, down = 1;

    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|i$OOiOO:FirFilter", const_cast<char **>(names), &taps_arg,
                                     &shift, &up_arg, &down_arg, &axis, &rounding_arg, &overflow_arg)) {
        return NULL;
    }
    if ((up_arg != NULL && upfirdn_factor(up_arg, kName, "up", &up) < 0) ||
        (down_arg != NULL && upfirdn_factor(down_arg, kName, "down", &down) < 0) ||
        (rounding_arg != NULL && parse_rounding(rounding_arg, &rounding) < 0) ||
        (overflow_arg != NULL && parse_overflow(overflow_arg, &overflow) < 0) ||
        (taps = fir_as_samples(taps_arg, kSamples, "taps")) == NULL) {
        return NULL;
    }
    if (PyArray_NDIM(taps) != 1 || PyArray_DIM(taps, 0) == 0) {
        PyErr_Format(PyExc_ValueError, "%s: taps must be one-dimensional and not empty", kName);
        goto done;
    }
    // A private copy: the caller may change its array later.
    if ((owned = reinterpret_cast<PyArrayObject *>(PyArray_NewCopy(taps, NPY_CORDER))) == NULL) {
        goto done;
    }
    PyArray_CLEARFLAGS(owned, NPY_ARRAY_WRITEABLE);
    result = reinterpret_cast<PyObject *>(make_filter(type, owned, shift, static_cast<int>(up),
                                                      static_cast<int>(down), axis, rounding, overflow));

done:
    Py_XDECREF(taps);
    Py_XDECREF(owned);
    return result;
}

void
fir_filter_dealloc(PyObject *op)
{
    FirFilterObject *self = reinterpret_cast<FirFilterObject *>(op);
    upfirdn_plan_free(self->plan);
    PyMem_Free(self->history);
    Py_XDECREF(self->taps);
    Py_TYPE(op)->tp_free(op);
}

// A copy that continues the stream independently of the original.
PyObject *
fir_filter_copy(PyObject *op, PyObject *)
{
    FirFilterObject *self = reinterpret_cast<FirFilterObject *>(op);
    FirFilterObject *copy = make_filter(Py_TYPE(op), self->taps, self->shift, self->up, self->down, self->axis,
                                        self->rounding, self->overflow);
    if (copy == NULL || self->ndim < 0) {
        return reinterpret_cast<PyObject *>(copy);
    }
    const size_t count = self->lanes * held(self) + 1;
    copy->history = static_cast<int16_t *>(PyMem_Malloc(count * sizeof(int16_t)));
    if (copy->history == NULL) {
        Py_DECREF(copy);
        return PyErr_NoMemory();
    }
    std::memcpy(copy->history, self->history, count * sizeof(int16_t));
    copy->ndim = self->ndim;
    std::memcpy(copy->shape, self->shape, sizeof self->shape);
    copy->lanes = self->lanes;
    copy->phase = self->phase;
    return reinterpret_cast<PyObject *>(copy);
}

PyObject *
fir_filter_deepcopy(PyObject *op, PyObject *)
{
    return fir_filter_copy(op, NULL);
}

// Back to rest; the channels stay, as for SosFilter.
PyObject *
fir_filter_reset(PyObject *op, PyObject *)
{
    FirFilterObject *self = reinterpret_cast<FirFilterObject *>(op);
    if (self->history != NULL) {
        std::memset(self->history, 0, self->lanes * held(self) * sizeof(int16_t));
    }
    self->phase = 0;
    Py_RETURN_NONE;
}

// The stream's state: None from rest, else (phase, channel shape, history as
// an int16 array of lanes x upfirdn_history samples).
PyObject *
get_state(FirFilterObject *self)
{
    if (self->ndim < 0) {
        Py_RETURN_NONE;
    }
    npy_intp dims[2] = {static_cast<npy_intp>(self->lanes), static_cast<npy_intp>(held(self))};
    PyObject *history = PyArray_SimpleNew(2, dims, NPY_INT16);
    PyObject *shape = PyArray_IntTupleFromIntp(self->ndim - 1, self->shape);
    PyObject *state = NULL;
    if (history != NULL && shape != NULL) {
        std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject *>(history)), self->history,
                    self->lanes * held(self) * sizeof(int16_t));
        state = Py_BuildValue("(nOO)", static_cast<Py_ssize_t>(self->phase), shape, history);
    }
    Py_XDECREF(history);
    Py_XDECREF(shape);
    return state;
}

PyObject *
fir_filter_reduce(PyObject *op, PyObject *)
{
    FirFilterObject *self = reinterpret_cast<FirFilterObject *>(op);
    PyObject *module = PyImport_ImportModule("corvane._pickle");
    PyObject *restore = module == NULL ? NULL : PyObject_GetAttrString(module, "restore_fir_filter");
    PyObject *state = restore == NULL ? NULL : get_state(self);
    PyObject *result = NULL;
    if (state != NULL) {
        result = Py_BuildValue("(O(OiiiissO))", restore, self->taps, self->shift, self->up, self->down, self->axis,
                               corvane_rounding_name(self->rounding), corvane_overflow_name(self->overflow), state);
    }
    Py_XDECREF(module);
    Py_XDECREF(restore);
    Py_XDECREF(state);
    return result;
}

// The inverse of get_state, for unpickling: checks everything before it
// changes anything.
PyObject *
fir_filter_set_state(PyObject *op, PyObject *state)
{
    FirFilterObject *self = reinterpret_cast<FirFilterObject *>(op);
    Py_ssize_t phase;
    PyObject *shape_obj, *history_obj;
    PyArrayObject *history = NULL;
    npy_intp shape[NPY_MAXDIMS];
    PyObject *result = NULL;
    size_t lanes = 1;
    int ndim;

    if (state == Py_None) {
        forget_channels(self);
        Py_RETURN_NONE;
    }
    if (!PyArg_ParseTuple(state, "nO!O:_set_state", &phase, &PyTuple_Type, &shape_obj, &history_obj)) {
        return NULL;
    }
    ndim = static_cast<int>(PyTuple_GET_SIZE(shape_obj)) + 1;
    if (phase < 0 || phase >= self->down || ndim > NPY_MAXDIMS) {
        PyErr_Format(PyExc_ValueError, "%s: not a state of this filter", kName);
        return NULL;
    }
    for (int d = 0; d < ndim - 1; ++d) {
        shape[d] = PyLong_AsSsize_t(PyTuple_GET_ITEM(shape_obj, d));
        if (shape[d] < 0) {
            if (!PyErr_Occurred()) {
                PyErr_Format(PyExc_ValueError, "%s: not a state of this filter", kName);
            }
            return NULL;
        }
        lanes *= static_cast<size_t>(shape[d]);
    }
    if ((history = fir_as_samples(history_obj, kSamples, "history")) == NULL) {
        return NULL;
    }
    if (static_cast<size_t>(PyArray_SIZE(history)) != lanes * held(self)) {
        PyErr_Format(PyExc_ValueError, "%s: not a state of this filter", kName);
        goto done;
    }
    Py_SETREF(history, PyArray_GETCONTIGUOUS(history));
    if (history == NULL) {
        goto done;
    }
    {
        int16_t *buffer = static_cast<int16_t *>(PyMem_Malloc((lanes * held(self) + 1) * sizeof(int16_t)));
        if (buffer == NULL) {
            PyErr_NoMemory();
            goto done;
        }
        std::memcpy(buffer, PyArray_DATA(history), lanes * held(self) * sizeof(int16_t));
        forget_channels(self);
        self->history = buffer;
    }
    self->ndim = ndim;
    std::memcpy(self->shape, shape, (ndim - 1) * sizeof(npy_intp));
    self->lanes = lanes;
    self->phase = static_cast<size_t>(phase);
    result = Py_None;
    Py_INCREF(result);

done:
    Py_XDECREF(history);
    return result;
}

PyObject *
fir_filter_get_taps(PyObject *op, void *)
{
    FirFilterObject *self = reinterpret_cast<FirFilterObject *>(op);
    return PyArray_NewCopy(self->taps, NPY_CORDER);
}

PyObject *
fir_filter_get_rounding(PyObject *op, void *)
{
    return PyUnicode_FromString(corvane_rounding_name(reinterpret_cast<FirFilterObject *>(op)->rounding));
}

PyObject *
fir_filter_get_overflow(PyObject *op, void *)
{
    return PyUnicode_FromString(corvane_overflow_name(reinterpret_cast<FirFilterObject *>(op)->overflow));
}

PyMethodDef fir_filter_methods[] = {
    {"reset", fir_filter_reset, METH_NOARGS,
     "reset($self)\n--\n\nBack to rest (zero history, phase 0); the channel shape stays."},
    {"__copy__", fir_filter_copy, METH_NOARGS, NULL},
    {"__deepcopy__", fir_filter_deepcopy, METH_O, NULL},
    {"__reduce__", fir_filter_reduce, METH_NOARGS, NULL},
    {"_set_state", fir_filter_set_state, METH_O, NULL},
    {NULL, NULL, 0, NULL},
};

PyMemberDef fir_filter_members[] = {
    {"shift", T_INT, offsetof(FirFilterObject, shift), READONLY, NULL},
    {"up", T_INT, offsetof(FirFilterObject, up), READONLY, NULL},
    {"down", T_INT, offsetof(FirFilterObject, down), READONLY, NULL},
    {"axis", T_INT, offsetof(FirFilterObject, axis), READONLY, NULL},
    {NULL, 0, 0, 0, NULL},
};

PyGetSetDef fir_filter_getset[] = {
    {"taps", fir_filter_get_taps, NULL, NULL, NULL},
    {"rounding", fir_filter_get_rounding, NULL, NULL, NULL},
    {"overflow", fir_filter_get_overflow, NULL, NULL, NULL},
    {NULL, NULL, NULL, NULL, NULL},
};

PyDoc_STRVAR(fir_filter__doc__,
"FirFilter(taps, shift=15, *, up=1, down=1, axis=-1, rounding=\"nearest\", overflow=\"saturate\")\n"
"--\n"
"\n"
"A streaming FIR on int16 samples, plain or polyphase: each call f(x)\n"
"returns the outputs of the next block x along `axis`, so that a signal cut\n"
"into blocks of any sizes (one sample, sizes that are not multiples of down)\n"
"gives exactly upfirdn_q15(taps, whole, up, down, shift, ...). The filter\n"
"holds the taps, the inputs each channel still needs and the phase of the\n"
"stream. The first block fixes the channels (the shape without the axis);\n"
"another shape later is a ValueError. copy.copy, deepcopy and\n"
"pickle keep the state; a copy continues independently of the original.\n"
"With up = down = 1 it is the plain streaming FIR of fir_q15 with zi.\n"
"\n"
">>> f = FirFilter(np.array([16384, 16384], np.int16), down=2)\n"
">>> f(np.array([1000, 2000, 3000], np.int16)), f(np.array([4000, 5000], np.int16))\n"
"(array([ 500, 2500], dtype=int16), array([4500], dtype=int16))\n");

// Designated initialisers leave every slot not named here empty, as
// PyType_Ready expects (the slot list differs between Python versions).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
PyTypeObject FirFilterType = {
    .ob_base = PyVarObject_HEAD_INIT(NULL, 0)
    .tp_name = "corvane._filters.FirFilter",
    .tp_basicsize = sizeof(FirFilterObject),
    .tp_itemsize = 0,
    .tp_dealloc = fir_filter_dealloc,
    .tp_vectorcall_offset = offsetof(FirFilterObject, vectorcall),
    .tp_call = PyVectorcall_Call,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_VECTORCALL,
    .tp_doc = fir_filter__doc__,
    .tp_methods = fir_filter_methods,
    .tp_members = fir_filter_members,
    .tp_getset = fir_filter_getset,
    .tp_new = fir_filter_new,
};
#pragma GCC diagnostic pop

}  // namespace

int
register_fir_filter(PyObject *module)
{
    if (PyType_Ready(&FirFilterType) < 0) {
        return -1;
    }
    Py_INCREF(&FirFilterType);
    if (PyModule_AddObject(module, "FirFilter", reinterpret_cast<PyObject *>(&FirFilterType)) < 0) {
        Py_DECREF(&FirFilterType);
        return -1;
    }
    return 0;
}
