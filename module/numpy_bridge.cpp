// Every NumPy C-API call of the module. PyArray_API stays static to this unit.
#include <Python.h>
#include <numpy/arrayobject.h>

#include "numpy_bridge.h"

static_assert(int{ARITH_INT8} == int{NPY_BYTE} && int{ARITH_INT16} == int{NPY_SHORT} &&
                  int{ARITH_INT64} == int{NPY_LONG},
              "element type numbers disagree with NumPy's");
static_assert(sizeof(npy_long) == 8, "NPY_LONG must be a 64-bit integer on this platform");

int
arith_import_numpy(void)
{
    // Prints the cause and sets ImportError itself on failure.
    import_array1(-1);
    return 0;
}

PyObject *
arith_as_array(PyObject *obj, ArithElement type)
{
    PyArray_Descr *descr = PyArray_DescrFromType(type);
    if (descr == NULL) {
        return NULL;
    }
    // Steals descr, also on failure. Without NPY_ARRAY_FORCECAST array inputs
    // are cast only under the safe rule; a matching C-contiguous array comes
    // back as itself with one more reference, and is never written to.
    return PyArray_FromAny(obj, descr, 0, 0, NPY_ARRAY_C_CONTIGUOUS, NULL);
}

bool
arith_is_plain(PyObject *obj, ArithElement type)
{
    if (!PyArray_CheckExact(obj)) {
        return false;
    }
    PyArrayObject *arr = reinterpret_cast<PyArrayObject *>(obj);
    return PyArray_TYPE(arr) == type && PyArray_ISNOTSWAPPED(arr) &&
           PyArray_IS_C_CONTIGUOUS(arr);
}

PyObject *
arith_new_vector(size_t count, ArithElement type, void **data)
{
    npy_intp dims[1] = {static_cast<npy_intp>(count)};
    PyArray_Descr *descr = PyArray_DescrFromType(type);
    if (descr == NULL) {
        return NULL;
    }
    // Steals descr, also on failure.
    PyObject *out = PyArray_Empty(1, dims, descr, 0);
    if (out != NULL) {
        *data = PyArray_DATA(reinterpret_cast<PyArrayObject *>(out));
    }
    return out;
}

// The product of the dimensions, as PyArray_MultiplyList forms it, without
// the call through NumPy's table: this sits on every call's fast road.
ArithView
arith_view(PyObject *arr, size_t element_size)
{
    PyArrayObject *view = reinterpret_cast<PyArrayObject *>(arr);
    const npy_intp *dims = PyArray_DIMS(view);
    npy_intp count = 1;
    for (int i = 0; i < PyArray_NDIM(view); i++) {
        count *= dims[i];
    }
    size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(PyArray_ITEMSIZE(view));
    return {PyArray_DATA(view), bytes / element_size};
}
