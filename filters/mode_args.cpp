// Mode names to the numbers of rounding.h, from the core's own name table so
// that the two cannot drift apart.
#include "mode_args.h"

#include "rounding.h"

namespace {

int
parse_mode(PyObject *name, const char *what, const char *(*name_of)(int), int count, int *out)
{
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "%s must be a str, not %.200s", what, Py_TYPE(name)->tp_name);
        return -1;
    }
    for (int mode = 0; mode < count; ++mode) {
        if (PyUnicode_CompareWithASCIIString(name, name_of(mode)) == 0) {
            *out = mode;
            return 0;
        }
    }
    PyObject *names = PyList_New(count);
    if (names == NULL) {
        return -1;
    }
    for (int mode = 0; mode < count; ++mode) {
        PyObject *text = PyUnicode_FromString(name_of(mode));
        if (text == NULL) {
            Py_DECREF(names);
            return -1;
        }
        PyList_SET_ITEM(names, mode, text);
    }
    PyErr_Format(PyExc_ValueError, "%s must be one of %R, not %R", what, names, name);
    Py_DECREF(names);
    return -1;
}

}  // namespace

int
parse_rounding(PyObject *name, int *out)
{
    return parse_mode(name, "rounding", corvane_rounding_name, CORVANE_ROUNDING_COUNT, out);
}

int
parse_overflow(PyObject *name, int *out)
{
    return parse_mode(name, "overflow", corvane_overflow_name, CORVANE_OVERFLOW_COUNT, out);
}
