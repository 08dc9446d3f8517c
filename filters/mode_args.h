// The rounding and overflow modes of the filters as Python arguments: their
// names ("nearest", "floor", ... and "saturate", "wrap"), as in rounding.h.
#ifndef CORVANE_MODE_ARGS_H
#define CORVANE_MODE_ARGS_H

#include <Python.h>

// name (a str) as the number of its mode in *out: 0, or -1 with a TypeError
// for a non-str or a ValueError listing the names.
int parse_rounding(PyObject *name, int *out);
int parse_overflow(PyObject *name, int *out);

#endif  // CORVANE_MODE_ARGS_H
