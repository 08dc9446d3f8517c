// Lanes: an array with the filtered axis moved last and C-contiguous, so
// that each channel is one contiguous run of samples for the core filters.
#ifndef CORVANE_LANES_H
#define CORVANE_LANES_H

#include "filters.h"

// arr with `axis` moved last, C-contiguous: a view of arr when it already
// is, which is only ever read. A new reference, or NULL with an exception.
PyArrayObject *lanes_last(PyArrayObject *arr, int axis);

// arr itself when `axis` is its last and its channels are contiguous runs
// a fixed number of bytes apart (*lane_stride), as a block sliced from a
// longer signal is; else lanes_last(arr, axis), with its row length in
// bytes. Either is only ever read.
PyArrayObject *lanes_in_place(PyArrayObject *arr, int axis, npy_intp *lane_stride);

// Channels of an array laid out by lanes_last: all dimensions but the last.
size_t lane_count(PyArrayObject *lanes);

// A C-ordered result in the caller's axis order from one laid out by lanes.
PyObject *lanes_back(PyArrayObject *lanes, int axis);

// A new array of `type` with shape_of's shape but last_dim samples per lane.
PyArrayObject *new_like(PyArrayObject *shape_of, npy_intp last_dim, int type);

// axis of x (negative counts from the end) as 0 .. ndim - 1, or -1 with
// NumPy's AxisError, or a ValueError for a 0-d x; `name` heads the message.
int lanes_axis(PyArrayObject *x, int axis, const char *name);

#endif  // CORVANE_LANES_H
