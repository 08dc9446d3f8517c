// Arguments of a vectorcall matched to their names, for every filter
// function: a streaming filter is called once per block, where building a
// keyword dictionary would cost more than filtering the block.
#ifndef CORVANE_CALL_ARGS_H
#define CORVANE_CALL_ARGS_H

#include "filters.h"

// Matches a vectorcall's arguments to `names`: the first n_positional may be
// given by position, the first n_required must be given. slots[i] is the
// borrowed argument or NULL. Returns 0, or -1 with a TypeError.
int parse_call(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, const char *fname,
               const char *const *names, int n_names, int n_positional, int n_required, PyObject **slots);

#endif  // CORVANE_CALL_ARGS_H
