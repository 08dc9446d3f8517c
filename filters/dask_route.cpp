// Dask input of the filters goes to corvane._dask_filters (dask_route.h).
// The check costs nothing for NumPy arrays, and little for anything else:
// one look-up on the type, never on the object.
#include "dask_route.h"

#include <cstring>

namespace {

PyObject *
array_argument(const char *keyword, Py_ssize_t position, PyObject *const *args, Py_ssize_t nargs,
               PyObject *kwnames)
{
    if (position < nargs) {
        return args[position];
    }
    const Py_ssize_t nkw = kwnames == NULL ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        if (PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(kwnames, k), keyword) == 0) {
            return args[nargs + k];
        }
    }
    return NULL;
}

// A Dask collection: its type comes from a dask module and has the graph
// protocol. Errors of the look-ups mean "no".
bool
is_dask(PyObject *obj)
{
    PyObject *type = reinterpret_cast<PyObject *>(Py_TYPE(obj));
    PyObject *module = PyObject_GetAttrString(type, "__module__");
    bool dask = false;
    if (module != NULL && PyUnicode_Check(module)) {
        const char *text = PyUnicode_AsUTF8(module);
        dask = text != NULL && std::strncmp(text, "dask", 4) == 0 && (text[4] == '\0' || text[4] == '.') &&
               PyObject_HasAttrString(type, "__dask_graph__");
    }
    Py_XDECREF(module);
    PyErr_Clear();
    return dask;
}

}  // namespace

int
dask_route(const char *name, const char *keyword, Py_ssize_t position, PyObject *const *args, Py_ssize_t nargs,
           PyObject *kwnames, PyObject **result)
{
    PyObject *x = array_argument(keyword, position, args, nargs, kwnames);
    if (x == NULL || PyArray_Check(x) || PyList_Check(x) || PyTuple_Check(x) || !is_dask(x)) {
        return 0;
    }
    PyObject *module = PyImport_ImportModule("corvane._dask_filters");
    PyObject *function = module == NULL ? NULL : PyObject_GetAttrString(module, name);
    *result = function == NULL ? NULL : PyObject_Vectorcall(function, args, nargs, kwnames);
    Py_XDECREF(function);
    Py_XDECREF(module);
    return 1;
}
