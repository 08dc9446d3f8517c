// The module's only door to NumPy. Every NumPy call lives in numpy_bridge.cpp,
// so NumPy's function table (PyArray_API) is file-local there and filled by the
// import step before anything else runs; the rest of the module calls these.
#ifndef CORVANE_NUMPY_BRIDGE_H
#define CORVANE_NUMPY_BRIDGE_H

#include <Python.h>

#include <cstddef>

// NumPy type numbers of the three element types (checked against NumPy's
// headers in the bridge).
enum ArithElement : int {
    ARITH_INT8 = 1,   // NPY_BYTE, a Q8 sample
    ARITH_INT16 = 3,  // NPY_SHORT, a Q15 sample
    ARITH_INT64 = 7,  // NPY_LONG, 64 bits on the supported platforms
};

// Imports NumPy's C API. On failure prints the cause to sys.stderr, sets
// ImportError "numpy._core.multiarray failed to import" and returns -1.
int arith_import_numpy(void);

// Converts obj to a C-contiguous array of the given element type. Returns a new
// reference, or NULL with NumPy's exception set.
PyObject *arith_as_array(PyObject *obj, ArithElement type);

// True when obj is an exact ndarray of the given element type in native byte
// order and C-contiguous: what the conversion would hand back as itself, so it
// can be used as it is.
bool arith_is_plain(PyObject *obj, ArithElement type);

// Allocates a fresh, uninitialised one-dimensional array of count elements.
// Returns a new reference and sets *data, or NULL with NumPy's exception set.
// No Python code holds the fresh array, so its pointer cannot change.
PyObject *arith_new_vector(size_t count, ArithElement type, void **data);

// The data pointer of an array and its count of elements of element_size
// bytes. Any Python code can give an array a new buffer (ndarray.__setstate__,
// resize) or a new element type (assigning ndarray.dtype), so callers read a
// view only after the last step that can run Python code: every conversion
// and every allocation. The count is that of the bytes the array spans, so it
// stays within the buffer whatever its element type has become.
struct ArithView {
    const void *data;
    size_t count;
};
ArithView arith_view(PyObject *arr, size_t element_size);

#endif  // CORVANE_NUMPY_BRIDGE_H
