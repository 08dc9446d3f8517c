// Arguments of the biquad cascades (sos_functions.cpp, sos_filter.cpp): the
// coefficients, the samples laid out time-major for the core, and the state.
#ifndef CORVANE_SOS_ARGS_H
#define CORVANE_SOS_ARGS_H

#include "filters.h"

// The modes of one cascade, as the core's numbers.
struct SosModes {
    int rounding;
    int overflow;
    int accumulator;
};

// Parses the rounding=, overflow= and accumulator= names (NULL: default).
int sos_parse_modes(PyObject *rounding, PyObject *overflow, PyObject *accumulator, SosModes *modes);

// The name of an accumulator mode number.
const char *sos_accumulator_name(int accumulator);

// obj as a C-contiguous int32 array of shape (n_sections, 6) of valid
// coefficients (a new reference), or NULL with a TypeError or a ValueError
// naming the row and the column. `fname` heads the messages.
PyArrayObject *sos_as_coefficients(PyObject *obj, const char *fname);

// obj as int16 samples (a new reference): integer types that cast safely,
// in any byte order and layout; masked arrays and floats are refused.
PyArrayObject *sos_as_samples(PyObject *obj, const char *fname, const char *what);

// obj as sos_as_samples makes it, with at least one dimension, and *axis
// checked against it (NumPy's AxisError) and made non-negative.
PyArrayObject *sos_as_signal(PyObject *obj, const char *fname, int *axis);

// The zi of a cascade of n_sections over x (time along axis) as the core's
// state, shape (n_sections, 4, channels...), a new C-ordered array; NULL
// with a ValueError when its shape is not (n_sections,) + x.shape with axis
// replaced by 4.
PyArrayObject *sos_state_from_zi(PyObject *zi, PyArrayObject *x, int axis, npy_intp n_sections,
                                 const char *fname);

// Filters x_moved (time along dimension 0, C-contiguous) with the state in
// place (n_sections x 4 x channels); returns y in the same layout, or NULL
// with the exception set.
PyArrayObject *sos_filter_time_major(PyArrayObject *x_moved, PyArrayObject *sos, int16_t *state,
                                     const SosModes &modes, const char *fname);

#endif  // CORVANE_SOS_ARGS_H
