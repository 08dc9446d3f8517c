/* The floor of the call benchmark: the cheapest Python call of the same shape
 * as each corvane.arith entry. METH_FASTCALL functions take exact arrays as
 * they are, allocate the same fresh output as the module and move the same
 * bytes (memcpy for what is written, a read-only fold for what is only read).
 * Built by benchmarks/section_calls.py into a temporary directory; never part
 * of the package. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#define NPY_NO_DEPRECATED_API NPY_1_20_API_VERSION
#define NPY_TARGET_VERSION NPY_1_20_API_VERSION
#include <numpy/arrayobject.h>

#include <stdint.h>
#include <string.h>

/* Reads every byte once; the compiler vectorises it to the widest loads. */
static uint64_t
fold(PyArrayObject *arr)
{
    const unsigned char *bytes = PyArray_BYTES(arr);
    size_t nbytes = (size_t)PyArray_NBYTES(arr);
    uint64_t acc = 0;
    size_t i = 0;
    for (; i + 8 <= nbytes; i += 8) {
        uint64_t word;
        memcpy(&word, bytes + i, 8);
        acc ^= word;
    }
    for (; i < nbytes; i++) {
        acc ^= bytes[i];
    }
    return acc;
}

static int
exact_arrays(PyObject *const *args, Py_ssize_t nargs, Py_ssize_t arrays, Py_ssize_t expected)
{
    if (nargs != expected) {
        PyErr_SetString(PyExc_TypeError, "wrong number of arguments");
        return 0;
    }
    for (Py_ssize_t i = 0; i < arrays; i++) {
        if (!PyArray_CheckExact(args[i])) {
            PyErr_SetString(PyExc_TypeError, "expected an ndarray");
            return 0;
        }
    }
    return 1;
}

/* The same allocation as the module's output: one dimension, a's type. */
static PyObject *
copy_of(PyArrayObject *a)
{
    npy_intp dims[1] = {PyArray_SIZE(a)};
    PyObject *out = PyArray_Empty(1, dims, PyArray_DescrFromType(PyArray_TYPE(a)), 0);
    if (out != NULL) {
        memcpy(PyArray_DATA((PyArrayObject *)out), PyArray_DATA(a), (size_t)PyArray_NBYTES(a));
    }
    return out;
}

static PyObject *
binary(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs)
{
    if (!exact_arrays(args, nargs, 2, 2)) {
        return NULL;
    }
    PyObject *out = copy_of((PyArrayObject *)args[0]);
    if (out != NULL && PyArray_NBYTES((PyArrayObject *)out) > 0) {
        *(unsigned char *)PyArray_DATA((PyArrayObject *)out) ^= (unsigned char)fold((PyArrayObject *)args[1]);
    }
    return out;
}

static PyObject *
shift(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs)
{
    if (!exact_arrays(args, nargs, 1, 2)) {
        return NULL;
    }
    long n = PyLong_AsLong(args[1]);
    if (n == -1 && PyErr_Occurred()) {
        return NULL;
    }
    return copy_of((PyArrayObject *)args[0]);
}

static PyObject *
dot(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs)
{
    if (!exact_arrays(args, nargs, 2, 2)) {
        return NULL;
    }
    uint64_t sum = fold((PyArrayObject *)args[0]) ^ fold((PyArrayObject *)args[1]);
    return PyLong_FromLongLong((long long)(sum >> 1));
}

/* Sink: the floor of the accumulator methods, a register and FASTCALL methods. */
typedef struct {
    PyObject_HEAD
    uint64_t reg;
} SinkObject;

static PyObject *
Sink_steps(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    if (!exact_arrays(args, nargs, 1, 1)) {
        return NULL;
    }
    ((SinkObject *)self)->reg += fold((PyArrayObject *)args[0]);
    Py_RETURN_NONE;
}

static PyObject *
Sink_madd(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    if (!exact_arrays(args, nargs, 2, 2)) {
        return NULL;
    }
    ((SinkObject *)self)->reg += fold((PyArrayObject *)args[0]) ^ fold((PyArrayObject *)args[1]);
    Py_RETURN_NONE;
}

static PyMethodDef Sink_methods[] = {
    {"steps", (PyCFunction)(void (*)(void))Sink_steps, METH_FASTCALL, NULL},
    {"madd", (PyCFunction)(void (*)(void))Sink_madd, METH_FASTCALL, NULL},
    {NULL, NULL, 0, NULL},
};

static PyTypeObject Sink_Type = {
    PyVarObject_HEAD_INIT(NULL, 0)
    .tp_name = "floor_probe.Sink",
    .tp_basicsize = sizeof(SinkObject),
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_methods = Sink_methods,
    .tp_new = PyType_GenericNew,
};

static PyMethodDef probe_methods[] = {
    {"binary", (PyCFunction)(void (*)(void))binary, METH_FASTCALL, NULL},
    {"shift", (PyCFunction)(void (*)(void))shift, METH_FASTCALL, NULL},
    {"dot", (PyCFunction)(void (*)(void))dot, METH_FASTCALL, NULL},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef probe_module = {
    PyModuleDef_HEAD_INIT, "floor_probe", NULL, -1, probe_methods,
};

PyMODINIT_FUNC
PyInit_floor_probe(void)
{
    import_array();
    if (PyType_Ready(&Sink_Type) < 0) {
        return NULL;
    }
    PyObject *module = PyModule_Create(&probe_module);
    if (module == NULL) {
        return NULL;
    }
    Py_INCREF(&Sink_Type);
    if (PyModule_AddObject(module, "Sink", (PyObject *)&Sink_Type) < 0) {
        Py_DECREF(&Sink_Type);
        Py_DECREF(module);
        return NULL;
    }
    return module;
}
