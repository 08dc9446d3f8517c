// Parsing of the rounding and overflow mode names, against the core's own
// list of names (rounding.h), so that no filter keeps a copy of it.
#include "mode_args.h"

#include <string>

#include "rounding.h"

namespace {

int
parse_mode(PyObject *name, const char *keyword, int count, const char *(*mode_name)(int), int *out)
{
    if (name == NULL || name == Py_None) {
        *out = 0;
        return 0;
    }
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "%s must be a str, not %.200s", keyword, Py_TYPE(name)->tp_name);
        return -1;
    }
    std::string valid;
    for (int mode = 0; mode < count; ++mode) {
        if (PyUnicode_CompareWithASCIIString(name, mode_name(mode)) == 0) {
            *out = mode;
            return 0;
        }
        valid += mode == 0 ? "\"" : ", \"";
        valid += mode_name(mode);
        valid += "\"";
    }
    PyErr_Format(PyExc_ValueError, "%s must be one of %s, not %R", keyword, valid.c_str(), name);
    return -1;
}

}  // namespace

int
parse_rounding(PyObject *name, int *out)
{
    return parse_mode(name, "rounding", CORVANE_ROUNDING_COUNT, corvane_rounding_name, out);
}

int
parse_overflow(PyObject *name, int *out)
{
    return parse_mode(name, "overflow", CORVANE_OVERFLOW_COUNT, corvane_overflow_name, out);
}
