// The slow road of the vectorcall entries: arguments that the fast road does
// not take are parsed exactly as a METH_VARARGS entry would parse them, so
// every exception and message stays the argument parser's own.
#ifndef CORVANE_CALL_ARGS_H
#define CORVANE_CALL_ARGS_H

#include <Python.h>

#include <climits>

// As PyArg_ParseTupleAndKeywords on a tuple and a dict made from a vectorcall's
// arguments (kwnames may be NULL). Returns 1 on success, 0 with the parser's
// exception set. Objects parsed with "O" are borrowed from the caller's
// arguments, which live until the call returns.
int arith_parse_call(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
                     const char *format, const char *const *kwlist, ...);

// As PyArg_ParseTuple on a tuple made from positional vectorcall arguments.
int arith_parse_positional(PyObject *const *args, Py_ssize_t nargs, const char *format, ...);

// True when a vectorcall carries no keyword arguments.
inline bool
arith_no_keywords(PyObject *kwnames)
{
    return kwnames == NULL || PyTuple_GET_SIZE(kwnames) == 0;
}

// An exact int that the "i" format accepts, stored in *n. Anything else (a
// subclass, an __index__ object, a value out of range) is left to the parser,
// which raises or converts it in its own words.
inline bool
arith_plain_int(PyObject *obj, int *n)
{
    if (!PyLong_CheckExact(obj)) {
        return false;
    }
    int overflow;
    long value = PyLong_AsLongAndOverflow(obj, &overflow);
    if (overflow != 0 || value < INT_MIN || value > INT_MAX) {
        return false;
    }
    *n = static_cast<int>(value);
    return true;
}

#endif  // CORVANE_CALL_ARGS_H
