// Arguments of the FIR functions (fir_functions.cpp): the vectorcall parser
// and the conversion of samples, taps and state.
#ifndef CORVANE_FIR_ARGS_H
#define CORVANE_FIR_ARGS_H

#include "filters.h"

// One filter of the module: its name, sample type and core entry point.
using FirKernel = int (*)(const void *, size_t, const void *, size_t, const void *, void *, int, int, int);

struct FirKind {
    const char *name;
    int type;
    size_t item;
    FirKernel kernel;
};

// The arguments of fir_q15 / fir_q8, parsed from a vectorcall: streaming
// calls them once per block, where a keyword dictionary would cost more
// than filtering the block.
struct FirArgs {
    PyObject *x;
    PyObject *taps;
    PyObject *zi;
    int shift;
    int axis;
    int rounding;
    int overflow;
};

// Parses (x, taps, shift=default_shift, *, zi=None, axis=-1,
// rounding="nearest", overflow="saturate"). Returns 0, or
// -1 with the exception set. The objects are borrowed from the call.
int fir_parse_args(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, const FirKind &kind,
                   int default_shift, FirArgs *parsed);

// obj as an array of the kind's samples in any layout (a new reference), or
// NULL with a TypeError or ValueError naming `what`.
PyArrayObject *fir_as_samples(PyObject *obj, const FirKind &kind, const char *what);

// An integer argument as a C int: 0, or -1 with a TypeError or OverflowError.
int filter_as_int(PyObject *obj, const char *fname, const char *what, int *out);

#endif  // CORVANE_FIR_ARGS_H
