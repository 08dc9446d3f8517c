// Channels of an array along an axis, each laid out contiguously (the shape
// the core filters take), and back.
#include "lanes.h"

#include "axis_layout.h"

#include <cstring>

// arr with `axis` moved last, C-contiguous: a view of arr when it already
// is, which is only ever read.
PyArrayObject *
lanes_last(PyArrayObject *arr, int axis)
{
    return move_axis(arr, axis, PyArray_NDIM(arr) - 1, false);
}

PyArrayObject *
lanes_in_place(PyArrayObject *arr, int axis, npy_intp *lane_stride)
{
    const int last = PyArray_NDIM(arr) - 1;
    const npy_intp item = PyArray_ITEMSIZE(arr);
    bool in_place = axis == last && (PyArray_DIM(arr, last) <= 1 || PyArray_STRIDE(arr, last) == item);
    // The leading dimensions must step as one, each over the whole of those
    // inside it (dimensions of one channel aside).
    npy_intp step = 0, lanes = 1;
    for (int d = last - 1; in_place && d >= 0; --d) {
        const npy_intp dim = PyArray_DIM(arr, d);
        if (dim == 1) {
            continue;
        }
        if (lanes == 1) {
            step = PyArray_STRIDE(arr, d);
        } else {
            in_place = PyArray_STRIDE(arr, d) == step * lanes;
        }
        lanes *= dim;
    }
    if (in_place) {
        *lane_stride = step;
        Py_INCREF(arr);
        return arr;
    }
    PyArrayObject *moved = lanes_last(arr, axis);
    if (moved != NULL) {
        *lane_stride = PyArray_DIM(moved, last) * item;
    }
    return moved;
}

// Channels of an array laid out by lanes_last: all dimensions but the last.
size_t
lane_count(PyArrayObject *lanes)
{
    return static_cast<size_t>(PyArray_MultiplyList(PyArray_DIMS(lanes), PyArray_NDIM(lanes) - 1));
}

// A C-ordered result in the caller's axis order from one laid out by lanes.
PyObject *
lanes_back(PyArrayObject *lanes, int axis)
{
    return axis_back(lanes, PyArray_NDIM(lanes) - 1, axis);
}

PyArrayObject *
new_like(PyArrayObject *shape_of, npy_intp last_dim, int type)
{
    npy_intp dims[NPY_MAXDIMS];
    const int ndim = PyArray_NDIM(shape_of);
    std::memcpy(dims, PyArray_DIMS(shape_of), ndim * sizeof(npy_intp));
    dims[ndim - 1] = last_dim;
    return reinterpret_cast<PyArrayObject *>(PyArray_SimpleNew(ndim, dims, type));
}

int
lanes_axis(PyArrayObject *x, int axis, const char *name)
{
    if (PyArray_NDIM(x) == 0) {
        PyErr_Format(PyExc_ValueError, "%s: x must have at least one dimension", name);
        return -1;
    }
    if (axis < -PyArray_NDIM(x) || axis >= PyArray_NDIM(x)) {
        // Raises NumPy's AxisError.
        Py_XDECREF(PyArray_CheckAxis(x, &axis, 0));
        return -1;
    }
    return axis < 0 ? axis + PyArray_NDIM(x) : axis;
}
