// Rebuilds the tuple and dict of a METH_VARARGS call from vectorcall arguments
// for the argument parser. Only the slow road of an entry comes here.
#include "call_args.h"

#include <cstdarg>

#include "arith.h"

static PyObject *
positional_tuple(PyObject *const *args, Py_ssize_t nargs)
{
    PyObject *tuple = PyTuple_New(nargs);
    if (tuple == NULL) {
        return NULL;
    }
    for (Py_ssize_t i = 0; i < nargs; i++) {
        Py_INCREF(args[i]);
        PyTuple_SET_ITEM(tuple, i, args[i]);
    }
    return tuple;
}

// The keyword values follow the positional ones in args, named by kwnames.
static PyObject *
keyword_dict(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    if (arith_no_keywords(kwnames)) {
        return NULL;
    }
    PyObject *dict = PyDict_New();
    if (dict == NULL) {
        return NULL;
    }
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); i++) {
        if (PyDict_SetItem(dict, PyTuple_GET_ITEM(kwnames, i), args[nargs + i]) < 0) {
            Py_DECREF(dict);
            return NULL;
        }
    }
    return dict;
}

int
arith_parse_call(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
                 const char *format, const char *const *kwlist, ...)
{
    int parsed = 0;
    PyObject *tuple = positional_tuple(args, nargs);
    if (tuple == NULL) {
        return 0;
    }
    PyObject *dict = keyword_dict(args, nargs, kwnames);
    if (dict != NULL || !PyErr_Occurred()) {
        va_list va;
        va_start(va, kwlist);
        parsed = PyArg_VaParseTupleAndKeywords(tuple, dict, format, arith_kwlist(kwlist), va);
        va_end(va);
    }
    Py_XDECREF(dict);
    Py_DECREF(tuple);
    return parsed;
}

int
arith_parse_positional(PyObject *const *args, Py_ssize_t nargs, const char *format, ...)
{
    PyObject *tuple = positional_tuple(args, nargs);
    if (tuple == NULL) {
        return 0;
    }
    va_list va;
    va_start(va, format);
    int parsed = PyArg_VaParse(tuple, format, va);
    va_end(va);
    Py_DECREF(tuple);
    return parsed;
}
