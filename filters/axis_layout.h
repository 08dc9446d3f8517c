// The layouts the core filters take: the filtered axis moved to a given
// place, C-contiguous, and results moved back to the caller's axis order.
#ifndef CORVANE_AXIS_LAYOUT_H
#define CORVANE_AXIS_LAYOUT_H

#include "filters.h"

// arr with dimension `axis` moved to position `to` and the others in order,
// C-contiguous (a view of arr when it already is one, which is only ever
// read), or a new copy when `copy`.
PyArrayObject *move_axis(PyArrayObject *arr, int axis, int to, bool copy);

// A C-ordered array of `moved` with its dimension `to` put back at `axis`
// (moved itself when to == axis).
PyObject *axis_back(PyArrayObject *moved, int to, int axis);

#endif  // CORVANE_AXIS_LAYOUT_H
