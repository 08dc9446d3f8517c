// Moving the filtered axis of an array to where a core filter wants it and
// back, for every filter of the module.
#include "axis_layout.h"

#include <cstring>

namespace {

// The permutation that moves dimension `from` to position `to`.
void
move_perm(int ndim, int from, int to, npy_intp *perm)
{
    int next = 0;
    for (int d = 0; d < ndim; ++d) {
        if (next == to) {
            perm[next++] = from;
        }
        if (d != from) {
            perm[next++] = d;
        }
    }
    if (next == to) {
        perm[next] = from;
    }
}

// Whether moving dimension `from` to `to` of arr is the transposition of a
// C-contiguous int16 matrix: the last dimension to the front, or back.
bool
is_matrix_move(PyArrayObject *arr, int from, int to)
{
    const int last = PyArray_NDIM(arr) - 1;
    return last >= 1 && PyArray_TYPE(arr) == NPY_INT16 && PyArray_ISNOTSWAPPED(arr) &&
           PyArray_IS_C_CONTIGUOUS(arr) && ((from == last && to == 0) || (from == 0 && to == last));
}

// A rows x cols int16 matrix transposed, in tiles that stay in cache: NumPy's
// general strided copy is several times slower on such narrow matrices.
PyArrayObject *
transposed(PyArrayObject *arr, int from, int to)
{
    constexpr size_t kTile = 64;
    npy_intp dims[NPY_MAXDIMS];
    const int ndim = PyArray_NDIM(arr);
    move_perm(ndim, from, to, dims);
    for (int d = 0; d < ndim; ++d) {
        dims[d] = PyArray_DIM(arr, static_cast<int>(dims[d]));
    }
    PyArrayObject *out = reinterpret_cast<PyArrayObject *>(PyArray_SimpleNew(ndim, dims, NPY_INT16));
    if (out == NULL) {
        return NULL;
    }
    const size_t rows = from == 0 ? static_cast<size_t>(PyArray_DIM(arr, 0))
                                  : static_cast<size_t>(PyArray_SIZE(arr) / PyArray_DIM(arr, from));
    const size_t cols = static_cast<size_t>(PyArray_SIZE(arr)) / (rows == 0 ? 1 : rows);
    // The input may sit at any address (a view of a byte buffer), so it is
    // read byte-wise; the fresh output is aligned.
    const char *in = static_cast<const char *>(PyArray_DATA(arr));
    int16_t *o = static_cast<int16_t *>(PyArray_DATA(out));
    for (size_t r0 = 0; r0 < rows; r0 += kTile) {
        for (size_t c0 = 0; c0 < cols; c0 += kTile) {
            const size_t r1 = r0 + kTile < rows ? r0 + kTile : rows;
            const size_t c1 = c0 + kTile < cols ? c0 + kTile : cols;
            for (size_t c = c0; c < c1; ++c) {
                for (size_t r = r0; r < r1; ++r) {
                    std::memcpy(o + c * rows + r, in + (r * cols + c) * sizeof(int16_t), sizeof(int16_t));
                }
            }
        }
    }
    return out;
}

}  // namespace

PyArrayObject *
move_axis(PyArrayObject *arr, int axis, int to, bool copy)
{
    npy_intp perm[NPY_MAXDIMS];
    const int ndim = PyArray_NDIM(arr);
    if (axis != to && is_matrix_move(arr, axis, to)) {
        return transposed(arr, axis, to);
    }
    move_perm(ndim, axis, to, perm);
    PyArray_Dims dims = {perm, ndim};
    PyObject *view = PyArray_Transpose(arr, &dims);
    if (view == NULL) {
        return NULL;
    }
    PyObject *moved = copy ? PyArray_NewCopy(reinterpret_cast<PyArrayObject *>(view), NPY_CORDER)
                           : reinterpret_cast<PyObject *>(
                                 PyArray_GETCONTIGUOUS(reinterpret_cast<PyArrayObject *>(view)));
    Py_DECREF(view);
    return reinterpret_cast<PyArrayObject *>(moved);
}

PyObject *
axis_back(PyArrayObject *moved, int to, int axis)
{
    if (to == axis) {
        Py_INCREF(moved);
        return reinterpret_cast<PyObject *>(moved);
    }
    if (is_matrix_move(moved, to, axis)) {
        return reinterpret_cast<PyObject *>(transposed(moved, to, axis));
    }
    npy_intp perm[NPY_MAXDIMS];
    const int ndim = PyArray_NDIM(moved);
    // The inverse of moving `axis` to `to`: moving `to` to `axis`.
    move_perm(ndim, to, axis, perm);
    PyArray_Dims dims = {perm, ndim};
    PyObject *view = PyArray_Transpose(moved, &dims);
    if (view == NULL) {
        return NULL;
    }
    PyObject *ordered = PyArray_NewCopy(reinterpret_cast<PyArrayObject *>(view), NPY_CORDER);
    Py_DECREF(view);
    return ordered;
}
