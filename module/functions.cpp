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

// The two array arguments of a two-array function, converted in order.
struct ArrayPair {
    PyObject *a, *b;
};

// Parses (a, b) and converts a, then b. Returns 0 holding both, or -1 with
// the exception set and nothing held. Converting b can run Python code that
// gives a a new buffer, so no data pointer or count is read here.
static int
convert_pair(PyObject *args, PyObject *kwds, const char *const *kwlist, ArithElement type,
             ArrayPair *pair)
{
    PyObject *a_obj, *b_obj;

    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO", arith_kwlist(kwlist), &a_obj, &b_obj)) {
        return -1;
    }
    pair->a = arith_as_array(a_obj, type);
    if (pair->a == NULL) {
        return -1;
    }
    pair->b = arith_as_array(b_obj, type);
    if (pair->b == NULL) {
        Py_DECREF(pair->a);
        return -1;
    }
    return 0;
}

static void
release_pair(ArrayPair *pair)
{
    Py_DECREF(pair->a);
    Py_DECREF(pair->b);
}

// A fresh output with a's element count. Allocating can run Python code (a
// collection may run finalizers that touch a), so the count is read again
// afterwards and the output made anew in the unlikely case it changed: the
// caller then reads every pointer and count with nothing left that runs code.
static PyObject *
new_output_like(PyObject *a, ArithElement type)
{
    size_t count = arith_count(a);
    for (;;) {
        PyObject *out = arith_new_vector(count, type);
        if (out == NULL) {
            return NULL;
        }
        size_t now = arith_count(a);
        if (now == count) {
            return out;
        }
        Py_DECREF(out);
        count = now;
    }
}

// The result has a's length. Where b is shorter the kernel writes only
// min(na, nb) elements; the rest of the fresh output is cleared so that no
// stale memory reaches the caller.
template <typename T>
static PyObject *
call_binary(PyObject *args, PyObject *kwds, const char *const *kwlist,
            ArithElement type, BinaryKernel<T> kernel)
{
    ArrayPair in;
    PyObject *out;

    if (convert_pair(args, kwds, kwlist, type, &in) < 0) {
        return NULL;
    }
    out = new_output_like(in.a, type);
    if (out != NULL) {
        size_t na = arith_count(in.a), nb = arith_count(in.b);
        T *samples = static_cast<T *>(arith_data(out));
        kernel(static_cast<const T *>(arith_data(in.a)), na,
               static_cast<const T *>(arith_data(in.b)), nb, samples);
        if (nb < na) {
            std::memset(samples + nb, 0, (na - nb) * sizeof(T));
        }
    }
    release_pair(&in);
    return out;
}

// The sum leaves as a Python int: a NumPy scalar would change type under
// the caller's arithmetic (int32 for dot_q8) and wrap again.
template <typename T, typename R>
static PyObject *
call_dot(PyObject *args, PyObject *kwds, const char *const *kwlist,
         ArithElement type, DotKernel<T, R> kernel)
{
    ArrayPair in;
    R sum;

    if (convert_pair(args, kwds, kwlist, type, &in) < 0) {
        return NULL;
    }
    sum = kernel(static_cast<const T *>(arith_data(in.a)), arith_count(in.a),
                 static_cast<const T *>(arith_data(in.b)), arith_count(in.b));
    release_pair(&in);
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

    if (!PyArg_ParseTupleAndKeywords(args, kwds, "Oi", arith_kwlist(kwlist), &a_obj, &n)) {
        return NULL;
    }
    a = arith_as_array(a_obj, type);
    if (a == NULL) {
        return NULL;
    }
    out = new_output_like(a, type);
    if (out != NULL) {
        kernel(static_cast<const T *>(arith_data(a)), arith_count(a),
               static_cast<T *>(arith_data(out)), n);
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
