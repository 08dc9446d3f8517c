// The rounding= and overflow= keywords every filter takes, parsed in one
// place so that each filter accepts the same names with the same meanings.
#ifndef CORVANE_MODE_ARGS_H
#define CORVANE_MODE_ARGS_H

#include "filters.h"

// name (a str, or NULL / None for the default "nearest" / "saturate") as a
// corvane_rounding / corvane_overflow value in *out. Returns 0, or -1 with a
// ValueError that lists the valid names (a TypeError for a non-str).
int parse_rounding(PyObject *name, int *out);
int parse_overflow(PyObject *name, int *out);

#endif  // CORVANE_MODE_ARGS_H
