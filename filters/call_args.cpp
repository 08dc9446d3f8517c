// The keyword matching of the filters' vectorcall functions.
#include "call_args.h"

int
parse_call(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, const char *fname,
               const char *const *names, int n_names, int n_positional, int n_required, PyObject **slots)
{
    for (int i = 0; i < n_names; ++i) {
        slots[i] = NULL;
    }
    if (nargs > n_positional) {
        PyErr_Format(PyExc_TypeError, "%s() takes at most %d positional argument%s (%zd given)", fname,
                     n_positional, n_positional == 1 ? "" : "s", nargs);
        return -1;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        slots[i] = args[i];
    }
    const Py_ssize_t nkw = kwnames == NULL ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject *name = PyTuple_GET_ITEM(kwnames, k);
        int slot = 0;
        while (slot < n_names && PyUnicode_CompareWithASCIIString(name, names[slot]) != 0) {
            ++slot;
        }
        if (slot == n_names) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument %R", fname, name);
            return -1;
        }
        if (slots[slot] != NULL) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", fname, names[slot]);
            return -1;
        }
        slots[slot] = args[nargs + k];
    }
    for (int i = 0; i < n_required; ++i) {
        if (slots[i] == NULL) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s'", fname, names[i]);
            return -1;
        }
    }
    return 0;
}
