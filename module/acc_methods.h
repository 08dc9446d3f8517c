// The bodies of the accumulator methods, written once over a family traits
// struct (Q15Family, Q8Family); acc_types.cpp names them per type. Included by
// that unit only.
#ifndef CORVANE_ACC_METHODS_H
#define CORVANE_ACC_METHODS_H

#include <Python.h>

#include <cstdint>

#include "accumulator.h"
#include "arith.h"
#include "call_args.h"
#include "numpy_bridge.h"

typedef struct {
    PyObject_HEAD
    acc_q15_t *handle;
} AccQ15Object;

typedef struct {
    PyObject_HEAD
    acc_q8_t *handle;
} AccQ8Object;

struct Q15Family {
    using Object = AccQ15Object;
    using Record = acc_q15_t;
    using Sample = int16_t;
    using Register = int64_t;
    using Parsed = long long;  // filled by "L"
    static constexpr const char *init_format = "|L";
    static constexpr const char *value_format = "L";
    static constexpr ArithElement element = ARITH_INT16;
    static constexpr const char *create_failed = "acc_q15_create returned NULL";
    static constexpr auto create = acc_q15_create;
    static constexpr auto destroy = acc_q15_destroy;
    static constexpr auto reset = acc_q15_reset;
    static constexpr auto step = acc_q15_step;
    static constexpr auto steps = acc_q15_steps;
    static constexpr auto get_acc = acc_q15_get_acc;
    static constexpr auto set_acc = acc_q15_set_acc;
    static constexpr auto get = acc_q15_get;
    static constexpr auto dump = acc_q15_dump;
    static constexpr auto madd = acc_q15_madd;
    static constexpr auto state_bytes = acc_q15_state_bytes;
    static constexpr auto get_state = acc_q15_get_state;
    static constexpr auto set_state = acc_q15_set_state;
    static Register narrow(Parsed v) { return v; }
    static PyObject *to_python(Register v) { return PyLong_FromLongLong(v); }
};

struct Q8Family {
    using Object = AccQ8Object;
    using Record = acc_q8_t;
    using Sample = int8_t;
    using Register = int32_t;
    using Parsed = long;  // filled by "l"
    static constexpr const char *init_format = "|l";
    static constexpr const char *value_format = "l";
    static constexpr ArithElement element = ARITH_INT8;
    static constexpr const char *create_failed = "acc_q8_create returned NULL";
    static constexpr auto create = acc_q8_create;
    static constexpr auto destroy = acc_q8_destroy;
    static constexpr auto reset = acc_q8_reset;
    static constexpr auto step = acc_q8_step;
    static constexpr auto steps = acc_q8_steps;
    static constexpr auto get_acc = acc_q8_get_acc;
    static constexpr auto set_acc = acc_q8_set_acc;
    static constexpr auto get = acc_q8_get;
    static constexpr auto dump = acc_q8_dump;
    static constexpr auto madd = acc_q8_madd;
    static constexpr auto state_bytes = acc_q8_state_bytes;
    static constexpr auto get_state = acc_q8_get_state;
    static constexpr auto set_state = acc_q8_set_state;
    // Python integers are narrowed by truncation, never by a range error.
    static Register narrow(Parsed v) { return static_cast<Register>(v); }
    static PyObject *to_python(Register v) { return PyLong_FromLong(v); }
};

template <typename F>
static typename F::Object *
acc_object(PyObject *self)
{
    return reinterpret_cast<typename F::Object *>(self);
}

// The record held, or NULL with RuntimeError set. Methods call it first, and
// again after anything that can run Python code (an argument's __index__ or
// __array__ may have destroyed this very object), never keeping a stale copy.
template <typename F>
static typename F::Record *
live_record(PyObject *self)
{
    typename F::Record *rec = acc_object<F>(self)->handle;
    if (rec == NULL) {
        PyErr_SetString(PyExc_RuntimeError, "destroyed");
    }
    return rec;
}

template <typename F>
static void
release_record(PyObject *self)
{
    typename F::Object *obj = acc_object<F>(self);
    typename F::Record *rec = obj->handle;
    obj->handle = NULL;
    F::destroy(rec);
}

template <typename F>
static PyObject *
acc_new(PyTypeObject *type)
{
    PyObject *self = type->tp_alloc(type, 0);
    if (self != NULL) {
        acc_object<F>(self)->handle = NULL;
    }
    return self;
}

template <typename F>
static int
acc_init(PyObject *self, PyObject *args, PyObject *kwds, const char *const *kwlist)
{
    typename F::Parsed value = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, F::init_format, arith_kwlist(kwlist), &value)) {
        return -1;
    }
    // A repeated __init__ replaces the record, and the object is its only
    // owner: release the old one, also when the new one cannot be made.
    typename F::Record *fresh = F::create(F::narrow(value));
    release_record<F>(self);
    acc_object<F>(self)->handle = fresh;
    if (fresh == NULL) {
        PyErr_SetString(PyExc_MemoryError, F::create_failed);
        return -1;
    }
    return 0;
}

template <typename F>
static void
acc_dealloc(PyObject *self)
{
    // The types are heap types (acc_types.cpp): each object holds a reference
    // to its type, released after the memory.
    PyTypeObject *type = Py_TYPE(self);
    release_record<F>(self);
    type->tp_free(self);
    Py_DECREF(type);
}

template <typename F>
static PyObject *
acc_reset(PyObject *self)
{
    typename F::Record *rec = live_record<F>(self);
    if (rec == NULL) {
        return NULL;
    }
    F::reset(rec);
    Py_RETURN_NONE;
}

// An exact int in range is the fast road; anything else goes to the "i"
// parser, whose __index__ call may destroy this very object.
template <typename F>
static PyObject *
acc_step(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    int x;
    typename F::Record *rec = live_record<F>(self);
    if (rec == NULL) {
        return NULL;
    }
    if (nargs != 1 || !arith_plain_int(args[0], &x)) {
        if (!arith_parse_positional(args, nargs, "i", &x)) {
            return NULL;
        }
        rec = live_record<F>(self);
        if (rec == NULL) {
            return NULL;
        }
    }
    F::step(rec, static_cast<typename F::Sample>(x));
    Py_RETURN_NONE;
}

template <typename F>
static void
steps_of(typename F::Record *rec, PyObject *x)
{
    ArithView vx = arith_view(x, sizeof(typename F::Sample));
    F::steps(rec, static_cast<const typename F::Sample *>(vx.data), vx.count);
}

template <typename F>
static PyObject *
acc_steps(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    PyObject *x_obj;
    typename F::Record *rec = live_record<F>(self);
    if (rec == NULL) {
        return NULL;
    }
    if (nargs == 1 && arith_is_plain(args[0], F::element)) {
        steps_of<F>(rec, args[0]);
        Py_RETURN_NONE;
    }
    if (!arith_parse_positional(args, nargs, "O", &x_obj)) {
        return NULL;
    }
    PyObject *x = arith_as_array(x_obj, F::element);
    if (x == NULL) {
        return NULL;
    }
    PyObject *result = NULL;
    rec = live_record<F>(self);
    if (rec != NULL) {
        steps_of<F>(rec, x);
        result = Py_None;
        Py_INCREF(result);
    }
    Py_DECREF(x);
    return result;
}

template <typename F, typename F::Register (*read)(const typename F::Record *)>
static PyObject *
acc_read(PyObject *self)
{
    typename F::Record *rec = live_record<F>(self);
    if (rec == NULL) {
        return NULL;
    }
    return F::to_python(read(rec));
}

template <typename F>
static PyObject *
acc_set_acc(PyObject *self, PyObject *args)
{
    typename F::Parsed value;
    if (live_record<F>(self) == NULL || !PyArg_ParseTuple(args, F::value_format, &value)) {
        return NULL;
    }
    typename F::Record *rec = live_record<F>(self);
    if (rec == NULL) {
        return NULL;
    }
    F::set_acc(rec, F::narrow(value));
    Py_RETURN_NONE;
}

// The integer is made before the register is cleared, so that a failure to
// make it loses nothing.
template <typename F>
static PyObject *
acc_dump(PyObject *self)
{
    typename F::Record *rec = live_record<F>(self);
    if (rec == NULL) {
        return NULL;
    }
    PyObject *result = F::to_python(F::get(rec));
    if (result != NULL) {
        F::dump(rec);
    }
    return result;
}

template <typename F>
static void
madd_of(typename F::Record *rec, PyObject *a, PyObject *b)
{
    using Sample = typename F::Sample;
    ArithView va = arith_view(a, sizeof(Sample)), vb = arith_view(b, sizeof(Sample));
    F::madd(rec, static_cast<const Sample *>(va.data), va.count,
            static_cast<const Sample *>(vb.data), vb.count);
}

// Converting b can run Python code that gives a a new buffer: pointers and
// counts are read only once both conversions are done.
template <typename F>
static PyObject *
acc_madd(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    PyObject *a_obj, *b_obj;
    PyObject *a = NULL, *b = NULL, *result = NULL;
    typename F::Record *rec = live_record<F>(self);

    if (rec == NULL) {
        return NULL;
    }
    if (nargs == 2 && arith_is_plain(args[0], F::element) &&
        arith_is_plain(args[1], F::element)) {
        madd_of<F>(rec, args[0], args[1]);
        Py_RETURN_NONE;
    }
    if (!arith_parse_positional(args, nargs, "OO", &a_obj, &b_obj)) {
        return NULL;
    }
    a = arith_as_array(a_obj, F::element);
    if (a == NULL) {
        goto done;
    }
    b = arith_as_array(b_obj, F::element);
    if (b == NULL) {
        goto done;
    }
    rec = live_record<F>(self);
    if (rec == NULL) {
        goto done;
    }
    madd_of<F>(rec, a, b);
    result = Py_None;
    Py_INCREF(result);
done:
    Py_XDECREF(a);
    Py_XDECREF(b);
    return result;
}

template <typename F>
static PyObject *
acc_state_bytes(PyObject *self)
{
    if (live_record<F>(self) == NULL) {
        return NULL;
    }
    return PyLong_FromSize_t(F::state_bytes());
}

template <typename F>
static PyObject *
acc_get_state(PyObject *self)
{
    typename F::Record *rec = live_record<F>(self);
    if (rec == NULL) {
        return NULL;
    }
    PyObject *blob = PyBytes_FromStringAndSize(NULL, static_cast<Py_ssize_t>(F::state_bytes()));
    if (blob != NULL) {
        F::get_state(rec, PyBytes_AS_STRING(blob));
    }
    return blob;
}

template <typename F>
static PyObject *
acc_set_state(PyObject *self, PyObject *blob)
{
    typename F::Record *rec = live_record<F>(self);
    if (rec == NULL) {
        return NULL;
    }
    if (!PyBytes_Check(blob)) {
        PyErr_SetString(PyExc_TypeError, "set_state expects bytes");
        return NULL;
    }
    if (static_cast<size_t>(PyBytes_GET_SIZE(blob)) != F::state_bytes()) {
        PyErr_SetString(PyExc_ValueError, "state blob size mismatch");
        return NULL;
    }
    if (F::set_state(rec, PyBytes_AS_STRING(blob)) != 0) {
        PyErr_SetString(PyExc_ValueError, "set_state rejected the blob");
        return NULL;
    }
    Py_RETURN_NONE;
}

#endif  // CORVANE_ACC_METHODS_H
