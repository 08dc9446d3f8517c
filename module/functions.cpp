// The fourteen module functions: parse, convert, allocate, call the kernel.
// Each is a vectorcall entry with two roads. Positional arguments that already
// are what the conversion would return (plain arrays, an exact int count) are
// used as they are; anything else is parsed and converted as a METH_VARARGS
// entry would, so results, exceptions and messages are the same on both.
#include <Python.h>

#include <cstring>

#include "arith.h"
#include "call_args.h"
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
convert_pair(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
             const char *const *kwlist, ArithElement type, ArrayPair *pair)
{
    PyObject *a_obj, *b_obj;

    if (!arith_parse_call(args, nargs, kwnames, "OO", kwlist, &a_obj, &b_obj)) {
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

// The caller's own (a, b) when both are plain arrays passed by position.
static bool
plain_pair(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, ArithElement type)
{
    return nargs == 2 && arith_no_keywords(kwnames) && arith_is_plain(args[0], type) &&
           arith_is_plain(args[1], type);
}

// A fresh output with a's element count. Allocating can run Python code (a
// collection may run finalizers that touch a), so a is viewed again
// afterwards, and the output made anew in the unlikely case its count
// changed: *a_view is then read with nothing left that runs code.
static PyObject *
new_output_like(PyObject *a, ArithElement type, size_t element_size, void **out_data,
                ArithView *a_view)
{
    size_t count = arith_view(a, element_size).count;
    for (;;) {
        PyObject *out = arith_new_vector(count, type, out_data);
        if (out == NULL) {
            return NULL;
        }
        *a_view = arith_view(a, element_size);
        if (a_view->count == count) {
            return out;
        }
        Py_DECREF(out);
        count = a_view->count;
    }
}

// The result has a's length. Where b is shorter the kernel writes only
// min(na, nb) elements; the rest of the fresh output is cleared so that no
// stale memory reaches the caller.
template <typename T>
static PyObject *
binary_result(PyObject *a, PyObject *b, ArithElement type, BinaryKernel<T> kernel)
{
    void *out_data;
    ArithView va;
    PyObject *out = new_output_like(a, type, sizeof(T), &out_data, &va);
    if (out != NULL) {
        ArithView vb = arith_view(b, sizeof(T));
        T *samples = static_cast<T *>(out_data);
        kernel(static_cast<const T *>(va.data), va.count, static_cast<const T *>(vb.data),
               vb.count, samples);
        if (vb.count < va.count) {
            std::memset(samples + vb.count, 0, (va.count - vb.count) * sizeof(T));
        }
    }
    return out;
}

template <typename T>
static PyObject *
call_binary(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
            const char *const *kwlist, ArithElement type, BinaryKernel<T> kernel)
{
    ArrayPair in;
    PyObject *out;

    if (plain_pair(args, nargs, kwnames, type)) {
        return binary_result(args[0], args[1], type, kernel);
    }
    if (convert_pair(args, nargs, kwnames, kwlist, type, &in) < 0) {
        return NULL;
    }
    out = binary_result(in.a, in.b, type, kernel);
    release_pair(&in);
    return out;
}

// The sum leaves as a Python int: a NumPy scalar would change type under
// the caller's arithmetic (int32 for dot_q8) and wrap again.
template <typename R>
static PyObject *
sum_to_python(R sum)
{
    if constexpr (sizeof(R) == 8) {
        return PyLong_FromLongLong(sum);
    }
    else {
        return PyLong_FromLong(static_cast<long>(sum));
    }
}

template <typename T, typename R>
static R
dot_of(PyObject *a, PyObject *b, DotKernel<T, R> kernel)
{
    ArithView va = arith_view(a, sizeof(T)), vb = arith_view(b, sizeof(T));
    return kernel(static_cast<const T *>(va.data), va.count, static_cast<const T *>(vb.data),
                  vb.count);
}

template <typename T, typename R>
static PyObject *
call_dot(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
         const char *const *kwlist, ArithElement type, DotKernel<T, R> kernel)
{
    ArrayPair in;
    R sum;

    if (plain_pair(args, nargs, kwnames, type)) {
        return sum_to_python(dot_of(args[0], args[1], kernel));
    }
    if (convert_pair(args, nargs, kwnames, kwlist, type, &in) < 0) {
        return NULL;
    }
    sum = dot_of(in.a, in.b, kernel);
    release_pair(&in);
    return sum_to_python(sum);
}

template <typename T>
static PyObject *
shift_result(PyObject *a, int n, ArithElement type, ShiftKernel<T> kernel)
{
    void *out_data;
    ArithView va;
    PyObject *out = new_output_like(a, type, sizeof(T), &out_data, &va);
    if (out != NULL) {
        kernel(static_cast<const T *>(va.data), va.count, static_cast<T *>(out_data), n);
    }
    return out;
}

// The count goes to the kernel unchecked: every int value has a defined
// result there, so only the "i" conversion's own range check applies.
template <typename T>
static PyObject *
call_shift(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
           const char *const *kwlist, ArithElement type, ShiftKernel<T> kernel)
{
    PyObject *a_obj, *a, *out;
    int n;

    if (nargs == 2 && arith_no_keywords(kwnames) && arith_plain_int(args[1], &n) &&
        arith_is_plain(args[0], type)) {
        return shift_result(args[0], n, type, kernel);
    }
    if (!arith_parse_call(args, nargs, kwnames, "Oi", kwlist, &a_obj, &n)) {
        return NULL;
    }
    a = arith_as_array(a_obj, type);
    if (a == NULL) {
        return NULL;
    }
    out = shift_result(a, n, type, kernel);
    Py_DECREF(a);
    return out;
}

static PyObject *
_bind_add_q15(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, nargs, kwnames, _kwlist, ARITH_INT16, add_q15);
}

static PyObject *
_bind_sub_q15(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, nargs, kwnames, _kwlist, ARITH_INT16, sub_q15);
}

static PyObject *
_bind_mul_q15(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, nargs, kwnames, _kwlist, ARITH_INT16, mul_q15);
}

static PyObject *
_bind_dot_q15(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_dot(args, nargs, kwnames, _kwlist, ARITH_INT16, dot_q15);
}

static PyObject *
_bind_shl_q15(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, nargs, kwnames, _kwlist, ARITH_INT16, shl_q15);
}

static PyObject *
_bind_shr_q15(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, nargs, kwnames, _kwlist, ARITH_INT16, shr_q15);
}

static PyObject *
_bind_add_q8(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, nargs, kwnames, _kwlist, ARITH_INT8, add_q8);
}

static PyObject *
_bind_sub_q8(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, nargs, kwnames, _kwlist, ARITH_INT8, sub_q8);
}

static PyObject *
_bind_mul_q8(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_binary(args, nargs, kwnames, _kwlist, ARITH_INT8, mul_q8);
}

static PyObject *
_bind_dot_q8(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "b", NULL};
    return call_dot(args, nargs, kwnames, _kwlist, ARITH_INT8, dot_q8);
}

static PyObject *
_bind_shl_q8(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, nargs, kwnames, _kwlist, ARITH_INT8, shl_q8);
}

static PyObject *
_bind_shr_q8(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, nargs, kwnames, _kwlist, ARITH_INT8, shr_q8);
}

static PyObject *
_bind_shl_i64(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, nargs, kwnames, _kwlist, ARITH_INT64, shl_i64);
}

static PyObject *
_bind_shr_i64(PyObject *Py_UNUSED(module), PyObject *const *args, Py_ssize_t nargs,
             PyObject *kwnames)
{
    static const char *const _kwlist[] = {"a", "n", NULL};
    return call_shift(args, nargs, kwnames, _kwlist, ARITH_INT64, shr_i64);
}

#define ARITH_FUNCTION(name) \
    {#name, ARITH_CFUNC(_bind_##name), METH_FASTCALL | METH_KEYWORDS, name##__doc__}

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
