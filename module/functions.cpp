// The fourteen module functions: parse, convert, allocate, call the kernel.
#include <Python.h>

#include <cstring>

#include "arith.h"
#include "fixedpoint.h"
#include "function_docs.h"
#include "numpy_bridge.h"

template <typename T>
using BinaryKernel = void (*)(const T *, size_t, const T *, size_t, T *);
template <typename T, typename R>
using DotKernel = R (*)(const T *, size_t, const T *, size_t);
template <typename T>
using ShiftKernel = void (*)(const T *, size_t, T *, int);

// Two arrays in, an array of a's length out. Where b is shorter the kernel
// writes only min(na, nb) elements; the rest of the fresh output is cleared so
// that no stale memory reaches the caller.
template <typename T>
static PyObject *
call_binary(PyObject *args, PyObject *kwds, const char *const *kwlist,
            ArithElement type, BinaryKernel<T> kernel)
{
    PyObject *a_obj, *b_obj;
    PyObject *a = NULL, *b = NULL, *out = NULL;
    void *a_data, *b_data, *out_data;
    size_t na, nb;

    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO", arith_kwlist(kwlist), &a_obj, &b_obj)) {
        return NULL;
    }
    a = arith_as_array(a_obj, type, &a_data, &na);
    if (a == NULL) {
        goto done;
    }
    b = arith_as_array(b_obj, type, &b_data, &nb);
    if (b == NULL) {
        goto done;
    }
    out = arith_new_vector(na, type, &out_data);
    if (out != NULL) {
        T *samples = static_cast<T *>(out_data);
        kernel(static_cast<const T *>(a_data), na, static_cast<const T *>(b_data), nb, samples);
        if (nb < na) {
            std::memset(samples + nb, 0, (na - nb) * sizeof(T));
        }
    }
done:
    Py_XDECREF(a);
    Py_XDECREF(b);
    return out;
}

// The sum leaves as a Python int: a NumPy scalar would change type under
// the caller's arithmetic (int32 for dot_q8) and wrap again.
template <typename T, typename R>
static PyObject *
call_dot(PyObject *args, PyObject *kwds, const char *const *kwlist,
         ArithElement type, DotKernel<T, R> kernel)
{
    PyObject *a_obj, *b_obj;
    PyObject *a = NULL, *b = NULL;
    void *a_data, *b_data;
    size_t na, nb;
    R sum = 0;
    bool converted = false;

    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO", arith_kwlist(kwlist), &a_obj, &b_obj)) {
        return NULL;
    }
    a = arith_as_array(a_obj, type, &a_data, &na);
    if (a == NULL) {
        goto done;
    }
    b = arith_as_array(b_obj, type, &b_data, &nb);
    if (b == NULL) {
        goto done;
    }
    sum = kernel(static_cast<const T *>(a_data), na, static_cast<const T *>(b_data), nb);
    converted = true;
done:
    Py_XDECREF(a);
    Py_XDECREF(b);
    if (!converted) {
        return NULL;
    }
    if constexpr (sizeof(R) == 8) {
        return PyLong_FromLongLong(sum);
    }
    else {
        return PyLong_FromLong(static_cast<long>(sum));
    }
}

// The count goes to the kernel unchecked: every int value has a defined
// result there, so only the "i" conversion's own range check applies.
template <typename T>
static PyObject *
call_shift(PyObject *args, PyObject *kwds, const char *const *kwlist,
           ArithElement type, ShiftKernel<T> kernel)
{
    PyObject *a_obj;
    int n;
    PyObject *a, *out;
    void *a_data, *out_data;
    size_t len;

    if (!PyArg_ParseTupleAndKeywords(args, kwds, "Oi", arith_kwlist(kwlist), &a_obj, &n)) {
        return NULL;
    }
    a = arith_as_array(a_obj, type, &a_data, &len);
    if (a == NULL) {
        return NULL;
    }
    out = arith_new_vector(len, type, &out_data);
    if (out != NULL) {
        kernel(static_cast<const T *>(a_data), len, static_cast<T *>(out_data), n);
    }
    Py_DECREF(a);
    return out;
}

static PyObject *
_bind_add_q15(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, kwds, _kwlist, ARITH_INT16, add_q15);
}

static PyObject *
_bind_sub_q15(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, kwds, _kwlist, ARITH_INT16, sub_q15);
}

static PyObject *
_bind_mul_q15(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, kwds, _kwlist, ARITH_INT16, mul_q15);
}

static PyObject *
_bind_dot_q15(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_dot(args, kwds, _kwlist, ARITH_INT16, dot_q15);
}

static PyObject *
_bind_shl_q15(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, kwds, _kwlist, ARITH_INT16, shl_q15);
}

static PyObject *
_bind_shr_q15(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, kwds, _kwlist, ARITH_INT16, shr_q15);
}

static PyObject *
_bind_add_q8(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, kwds, _kwlist, ARITH_INT8, add_q8);
}

static PyObject *
_bind_sub_q8(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, kwds, _kwlist, ARITH_INT8, sub_q8);
}

static PyObject *
_bind_mul_q8(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, kwds, _kwlist, ARITH_INT8, mul_q8);
}

static PyObject *
_bind_dot_q8(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_dot(args, kwds, _kwlist, ARITH_INT8, dot_q8);
}

static PyObject *
_bind_shl_q8(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, kwds, _kwlist, ARITH_INT8, shl_q8);
}

static PyObject *
_bind_shr_q8(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, kwds, _kwlist, ARITH_INT8, shr_q8);
}

static PyObject *
_bind_shl_i64(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, kwds, _kwlist, ARITH_INT64, shl_i64);
}

static PyObject *
_bind_shr_i64(PyObject *Py_UNUSED(module), PyObject *args, PyObject *kwds)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, kwds, _kwlist, ARITH_INT64, shr_i64);
}

#define ARITH_FUNCTION(name) \
    {#name, ARITH_CFUNC(_bind_##name), METH_VARARGS | METH_KEYWORDS, name##__doc__}

PyMethodDef arith_module_methods[] = {
    ARITH_FUNCTION(add_q15),
    ARITH_FUNCTION(sub_q15),
    ARITH_FUNCTION(mul_q15),
    ARITH_FUNCTION(dot_q15),
    ARITH_FUNCTION(shl_q15),
    ARITH_FUNCTION(shr_q15),
    ARITH_FUNCTION(add_q8),
    ARITH_FUNCTION(sub_q8),
    ARITH_FUNCTION(mul_q8),
    ARITH_FUNCTION(dot_q8),
    ARITH_FUNCTION(shl_q8),
    ARITH_FUNCTION(shr_q8),
    ARITH_FUNCTION(shl_i64),
    ARITH_FUNCTION(shr_i64),
    {NULL, NULL, 0, NULL},
};
