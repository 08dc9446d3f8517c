// SosFilter: a biquad cascade holding its coefficients and state, the
// streaming form of sosfilt_q15. A call is one vectorcall into C that
// filters the block with the held state in place: no Python-level work.
#include "filters.h"

#include <cstring>

#include "biquad.h"
#include "rounding.h"
#include "axis_layout.h"
#include "sos_args.h"

namespace {

constexpr const char kName[] = "SosFilter";

struct SosFilterObject {
    PyObject_HEAD
    PyArrayObject *sos;    // int32 (n_sections, 6), checked
    PyArrayObject *state;  // int16 (n_sections, 4, channels...), NULL before the first block
    SosModes modes;
    int axis;
    vectorcallfunc vectorcall;
};

PyObject *sos_filter_call(PyObject *callable, PyObject *const *args, size_t nargsf, PyObject *kwnames);

PyObject *
sos_filter_new(PyTypeObject *type, PyObject *args, PyObject *kwds)
{
    static const char *kwlist[] = {"sos", "axis", "rounding", "overflow", "accumulator", NULL};
    PyObject *sos_obj, *rounding = NULL, *overflow = NULL, *accumulator = NULL;
    int axis = -1;
    SosModes modes;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|$iOOO:SosFilter", const_cast<char **>(kwlist), &sos_obj, &axis,
                                     &rounding, &overflow, &accumulator) ||
        sos_parse_modes(rounding, overflow, accumulator, &modes) < 0) {
        return NULL;
    }
    PyArrayObject *sos = sos_as_coefficients(sos_obj, kName);
    if (sos == NULL) {
        return NULL;
    }
    SosFilterObject *self = reinterpret_cast<SosFilterObject *>(type->tp_alloc(type, 0));
    if (self == NULL) {
        Py_DECREF(sos);
        return NULL;
    }
    self->sos = sos;
    self->state = NULL;
    self->modes = modes;
    self->axis = axis;
    self->vectorcall = sos_filter_call;
    return reinterpret_cast<PyObject *>(self);
}

void
sos_filter_dealloc(SosFilterObject *self)
{
    Py_XDECREF(self->sos);
    Py_XDECREF(self->state);
    Py_TYPE(self)->tp_free(reinterpret_cast<PyObject *>(self));
}

// Whether x has the channel shape of the state (x.shape without the axis).
bool
same_channels(PyArrayObject *state, PyArrayObject *x, int axis)
{
    if (PyArray_NDIM(state) != PyArray_NDIM(x) + 1) {
        return false;
    }
    for (int d = 0, s = 2; d < PyArray_NDIM(x); ++d) {
        if (d != axis && PyArray_DIM(x, d) != PyArray_DIM(state, s++)) {
            return false;
        }
    }
    return true;
}

PyArrayObject *
new_state(SosFilterObject *self, PyArrayObject *x, int axis)
{
    npy_intp dims[NPY_MAXDIMS + 1];
    dims[0] = PyArray_DIM(self->sos, 0);
    dims[1] = 4;
    for (int d = 0, s = 2; d < PyArray_NDIM(x); ++d) {
        if (d != axis) {
            dims[s++] = PyArray_DIM(x, d);
        }
    }
    return reinterpret_cast<PyArrayObject *>(PyArray_ZEROS(PyArray_NDIM(x) + 1, dims, NPY_INT16, 0));
}

PyObject *
sos_filter_call(PyObject *callable, PyObject *const *args, size_t nargsf, PyObject *kwnames)
{
    SosFilterObject *self = reinterpret_cast<SosFilterObject *>(callable);
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (nargs != 1 || (kwnames != NULL && PyTuple_GET_SIZE(kwnames) != 0)) {
        PyErr_Format(PyExc_TypeError, "%s() takes one block of samples x", kName);
        return NULL;
    }
    int axis = self->axis;
    PyArrayObject *x = sos_as_signal(args[0], kName, &axis), *x_moved = NULL, *y_moved = NULL;
    PyObject *y = NULL;
    if (x == NULL) {
        return NULL;
    }
    if (self->state != NULL && !same_channels(self->state, x, axis)) {
        PyObject *got = PyArray_IntTupleFromIntp(PyArray_NDIM(x), PyArray_DIMS(x));
        PyObject *want = PyArray_IntTupleFromIntp(PyArray_NDIM(self->state) - 2, PyArray_DIMS(self->state) + 2);
        if (got != NULL && want != NULL) {
            PyErr_Format(PyExc_ValueError,
                         "%s: a block of shape %S has other channels than the first block's %S (the shape "
                         "without the axis); reset() keeps them, a new SosFilter takes others",
                         kName, got, want);
        }
        Py_XDECREF(got);
        Py_XDECREF(want);
        goto done;
    }
    if (self->state == NULL && (self->state = new_state(self, x, axis)) == NULL) {
        goto done;
    }
    if ((x_moved = move_axis(x, axis, 0, false)) == NULL ||
        (y_moved = sos_filter_time_major(x_moved, self->sos, static_cast<int16_t *>(PyArray_DATA(self->state)),
                                         self->modes, kName)) == NULL) {
        goto done;
    }
    y = axis_back(y_moved, 0, axis);

done:
    Py_XDECREF(x);
    Py_XDECREF(x_moved);
    Py_XDECREF(y_moved);
    return y;
}

PyObject *
sos_filter_reset(SosFilterObject *self, PyObject *)
{
    if (self->state != NULL) {
        std::memset(PyArray_DATA(self->state), 0, PyArray_NBYTES(self->state));
    }
    Py_RETURN_NONE;
}

// Pickles as SosFilter(sos) and a state tuple (axis, rounding, overflow,
// accumulator, held state or None) that __setstate__ puts back.
PyObject *
sos_filter_reduce(SosFilterObject *self, PyObject *)
{
    PyObject *state = self->state == NULL ? Py_None
                                          : PyArray_NewCopy(self->state, NPY_CORDER);
    if (state == NULL) {
        return NULL;
    }
    if (state == Py_None) {
        Py_INCREF(state);
    }
    PyObject *result = Py_BuildValue("O(O)(issN)", Py_TYPE(self), self->sos, self->axis,
                                     corvane_rounding_name(self->modes.rounding),
                                     corvane_overflow_name(self->modes.overflow), state);
    if (result == NULL) {
        return NULL;
    }
    // The accumulator joins the state tuple.
    PyObject *acc = PyUnicode_FromString(sos_accumulator_name(self->modes.accumulator));
    PyObject *tuple = PyTuple_GET_ITEM(result, 2);
    PyObject *full = acc == NULL ? NULL
                                 : Py_BuildValue("(OOOOO)", PyTuple_GET_ITEM(tuple, 0), PyTuple_GET_ITEM(tuple, 1),
                                                 PyTuple_GET_ITEM(tuple, 2), acc, PyTuple_GET_ITEM(tuple, 3));
    Py_XDECREF(acc);
    if (full == NULL) {
        Py_DECREF(result);
        return NULL;
    }
    PyObject *packed = PyTuple_Pack(3, PyTuple_GET_ITEM(result, 0), PyTuple_GET_ITEM(result, 1), full);
    Py_DECREF(full);
    Py_DECREF(result);
    return packed;
}

PyObject *
sos_filter_setstate(SosFilterObject *self, PyObject *arg)
{
    PyObject *rounding, *overflow, *accumulator, *state_obj;
    int axis;
    SosModes modes;
    PyArrayObject *state = NULL;
    if (!PyArg_ParseTuple(arg, "iOOOO:__setstate__", &axis, &rounding, &overflow, &accumulator, &state_obj) ||
        sos_parse_modes(rounding, overflow, accumulator, &modes) < 0) {
        return NULL;
    }
    if (state_obj != Py_None) {
        state = reinterpret_cast<PyArrayObject *>(
            PyArray_FromAny(state_obj, PyArray_DescrFromType(NPY_INT16), 2, NPY_MAXDIMS,
                            NPY_ARRAY_CARRAY | NPY_ARRAY_ENSURECOPY, NULL));
        if (state == NULL) {
            return NULL;
        }
        if (PyArray_DIM(state, 0) != PyArray_DIM(self->sos, 0) || PyArray_DIM(state, 1) != 4) {
            PyErr_Format(PyExc_ValueError, "%s: the state does not fit the sections", kName);
            Py_DECREF(state);
            return NULL;
        }
    }
    Py_XSETREF(self->state, state);
    self->axis = axis;
    self->modes = modes;
    Py_RETURN_NONE;
}

PyObject *
sos_filter_get_sos(SosFilterObject *self, void *)
{
    return PyArray_NewCopy(self->sos, NPY_CORDER);
}

PyDoc_STRVAR(reset__doc__, "reset($self)\n--\n\nReturns every section to rest (a zero state); the channel shape stays.");

PyMethodDef sos_filter_methods[] = {
    {"reset", reinterpret_cast<PyCFunction>(sos_filter_reset), METH_NOARGS, reset__doc__},
    {"__reduce__", reinterpret_cast<PyCFunction>(sos_filter_reduce), METH_NOARGS, NULL},
    {"__setstate__", reinterpret_cast<PyCFunction>(sos_filter_setstate), METH_O, NULL},
    {NULL, NULL, 0, NULL},
};

PyGetSetDef sos_filter_getset[] = {
    {"sos", reinterpret_cast<getter>(sos_filter_get_sos), NULL, "The coefficients (int32, a copy).", NULL},
    {NULL, NULL, NULL, NULL, NULL},
};

PyDoc_STRVAR(sos_filter__doc__,
"SosFilter(sos, *, axis=-1, rounding='nearest', overflow='saturate', accumulator='exact')\n"
"--\n"
"\n"
"sosfilt_q15 as a stream: f(x) filters the next block along `axis` and\n"
"returns y, the sections' state carried from block to block, so that any\n"
"split of a signal gives exactly the one-pass output. The first block fixes\n"
"the channel shape (x.shape without the axis). reset() returns to rest;\n"
"copy, deepcopy and pickle keep the state.\n");

PyTypeObject SosFilterType;

}  // namespace

int
register_sos_filter(PyObject *module)
{
    Py_SET_TYPE(&SosFilterType, &PyType_Type);
    Py_SET_REFCNT(&SosFilterType, 1);
    SosFilterType.tp_name = "corvane._filters.SosFilter";
    SosFilterType.tp_basicsize = sizeof(SosFilterObject);
    SosFilterType.tp_dealloc = reinterpret_cast<destructor>(sos_filter_dealloc);
    SosFilterType.tp_vectorcall_offset = offsetof(SosFilterObject, vectorcall);
    SosFilterType.tp_call = PyVectorcall_Call;
    SosFilterType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_VECTORCALL;
    SosFilterType.tp_doc = sos_filter__doc__;
    SosFilterType.tp_methods = sos_filter_methods;
    SosFilterType.tp_getset = sos_filter_getset;
    SosFilterType.tp_new = sos_filter_new;
    if (PyType_Ready(&SosFilterType) < 0) {
        return -1;
    }
    Py_INCREF(&SosFilterType);
    if (PyModule_AddObject(module, "SosFilter", reinterpret_cast<PyObject *>(&SosFilterType)) < 0) {
        Py_DECREF(&SosFilterType);
        return -1;
    }
    return 0;
}
