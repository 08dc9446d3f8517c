// The accumulator types AccQ15 and AccQ8: each object owns one core record
// through its handle. The named functions only pick the family; the bodies are
// in acc_methods.h.
#include <Python.h>

#include "acc_docs.h"
#include "acc_methods.h"
#include "acc_protocols.h"
#include "acc_types.h"

// ---- AccQ15 ----

static PyObject *
AccQ15_new(PyTypeObject *type, PyObject *Py_UNUSED(args), PyObject *Py_UNUSED(kwds))
{
    return acc_new<Q15Family>(type);
}

static int
AccQ15_init(PyObject *self, PyObject *args, PyObject *kwds)
{
    static const char *const kwlist[] = {"acc", NULL};
    return acc_init<Q15Family>(self, args, kwds, kwlist);
}

static void
AccQ15_dealloc(PyObject *self)
{
    acc_dealloc<Q15Family>(self);
}

static PyObject *
AccQ15_reset(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_reset<Q15Family>(self);
}

static PyObject *
AccQ15_step(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    return acc_step<Q15Family>(self, args, nargs);
}

static PyObject *
AccQ15_steps(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    return acc_steps<Q15Family>(self, args, nargs);
}

static PyObject *
AccQ15_get_acc(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_read<Q15Family, acc_q15_get_acc>(self);
}

static PyObject *
AccQ15_set_acc(PyObject *self, PyObject *args)
{
    return acc_set_acc<Q15Family>(self, args);
}

static PyObject *
AccQ15_get(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_read<Q15Family, acc_q15_get>(self);
}

static PyObject *
AccQ15_dump(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_dump<Q15Family>(self);
}

static PyObject *
AccQ15_madd(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    return acc_madd<Q15Family>(self, args, nargs);
}

static PyObject *
AccQ15_destroy(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    release_record<Q15Family>(self);
    Py_RETURN_NONE;
}

static PyObject *
AccQ15_enter(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    Py_INCREF(self);
    return self;
}

static PyObject *
AccQ15_exit(PyObject *self, PyObject *Py_UNUSED(args))
{
    release_record<Q15Family>(self);
    Py_RETURN_NONE;
}

static PyObject *
AccQ15_state_bytes(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_state_bytes<Q15Family>(self);
}

static PyObject *
AccQ15_get_state(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_get_state<Q15Family>(self);
}

static PyObject *
AccQ15_set_state(PyObject *self, PyObject *blob)
{
    return acc_set_state<Q15Family>(self, blob);
}

static PyObject *
AccQ15_reduce(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_reduce<Q15Family>(self, "AccQ15");
}

static PyObject *
AccQ15_repr(PyObject *self)
{
    return acc_repr<Q15Family>(self, "AccQ15");
}

static PyMethodDef AccQ15_methods[] = {
    {"reset", AccQ15_reset, METH_NOARGS, AccQ15_reset__doc__},
    {"step", ARITH_CFUNC(AccQ15_step), METH_FASTCALL, AccQ15_step__doc__},
    {"steps", ARITH_CFUNC(AccQ15_steps), METH_FASTCALL, AccQ15_steps__doc__},
    {"get_acc", AccQ15_get_acc, METH_NOARGS, AccQ15_get_acc__doc__},
    {"set_acc", AccQ15_set_acc, METH_VARARGS, AccQ15_set_acc__doc__},
    {"get", AccQ15_get, METH_NOARGS, AccQ15_get__doc__},
    {"dump", AccQ15_dump, METH_NOARGS, AccQ15_dump__doc__},
    {"madd", ARITH_CFUNC(AccQ15_madd), METH_FASTCALL, AccQ15_madd__doc__},
    {"destroy", AccQ15_destroy, METH_NOARGS, acc_destroy__doc__},
    {"__enter__", AccQ15_enter, METH_NOARGS, AccQ15_enter__doc__},
    {"__exit__", AccQ15_exit, METH_VARARGS, AccQ15_exit__doc__},
    {"state_bytes", AccQ15_state_bytes, METH_NOARGS, AccQ15_state_bytes__doc__},
    {"get_state", AccQ15_get_state, METH_NOARGS, AccQ15_get_state__doc__},
    {"set_state", AccQ15_set_state, METH_O, AccQ15_set_state__doc__},
    {"__reduce__", AccQ15_reduce, METH_NOARGS, acc_reduce__doc__},
    {NULL, NULL, 0, NULL},
};

// Designated initialisers leave every slot not named empty, which is what
// PyType_Ready expects; the full slot list differs between Python versions, so
// naming each one is neither possible nor wanted.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
PyTypeObject AccQ15_Type = {
    .ob_base = PyVarObject_HEAD_INIT(NULL, 0)
    .tp_name = "arith.AccQ15",
    .tp_basicsize = sizeof(AccQ15Object),
    .tp_itemsize = 0,
    .tp_dealloc = AccQ15_dealloc,
    .tp_repr = AccQ15_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = AccQ15__doc__,
    .tp_methods = AccQ15_methods,
    .tp_init = AccQ15_init,
    .tp_new = AccQ15_new,
};
#pragma GCC diagnostic pop

// ---- AccQ8 ----

static PyObject *
AccQ8_new(PyTypeObject *type, PyObject *Py_UNUSED(args), PyObject *Py_UNUSED(kwds))
{
    return acc_new<Q8Family>(type);
}

static int
AccQ8_init(PyObject *self, PyObject *args, PyObject *kwds)
{
    static const char *const kwlist[] = {"acc", NULL};
    return acc_init<Q8Family>(self, args, kwds, kwlist);
}

static void
AccQ8_dealloc(PyObject *self)
{
    acc_dealloc<Q8Family>(self);
}

static PyObject *
AccQ8_reset(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_reset<Q8Family>(self);
}

static PyObject *
AccQ8_step(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    return acc_step<Q8Family>(self, args, nargs);
}

static PyObject *
AccQ8_steps(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    return acc_steps<Q8Family>(self, args, nargs);
}

static PyObject *
AccQ8_get_acc(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_read<Q8Family, acc_q8_get_acc>(self);
}

static PyObject *
AccQ8_set_acc(PyObject *self, PyObject *args)
{
    return acc_set_acc<Q8Family>(self, args);
}

static PyObject *
AccQ8_get(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_read<Q8Family, acc_q8_get>(self);
}

static PyObject *
AccQ8_dump(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_dump<Q8Family>(self);
}

static PyObject *
AccQ8_madd(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    return acc_madd<Q8Family>(self, args, nargs);
}

static PyObject *
AccQ8_destroy(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    release_record<Q8Family>(self);
    Py_RETURN_NONE;
}

static PyObject *
AccQ8_enter(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    Py_INCREF(self);
    return self;
}

static PyObject *
AccQ8_exit(PyObject *self, PyObject *Py_UNUSED(args))
{
    release_record<Q8Family>(self);
    Py_RETURN_NONE;
}

static PyObject *
AccQ8_state_bytes(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_state_bytes<Q8Family>(self);
}

static PyObject *
AccQ8_get_state(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_get_state<Q8Family>(self);
}

static PyObject *
AccQ8_set_state(PyObject *self, PyObject *blob)
{
    return acc_set_state<Q8Family>(self, blob);
}

static PyObject *
AccQ8_reduce(PyObject *self, PyObject *Py_UNUSED(ignored))
{
    return acc_reduce<Q8Family>(self, "AccQ8");
}

static PyObject *
AccQ8_repr(PyObject *self)
{
    return acc_repr<Q8Family>(self, "AccQ8");
}

static PyMethodDef AccQ8_methods[] = {
    {"reset", AccQ8_reset, METH_NOARGS, AccQ8_reset__doc__},
    {"step", ARITH_CFUNC(AccQ8_step), METH_FASTCALL, AccQ8_step__doc__},
    {"steps", ARITH_CFUNC(AccQ8_steps), METH_FASTCALL, AccQ8_steps__doc__},
    {"get_acc", AccQ8_get_acc, METH_NOARGS, AccQ8_get_acc__doc__},
    {"set_acc", AccQ8_set_acc, METH_VARARGS, AccQ8_set_acc__doc__},
    {"get", AccQ8_get, METH_NOARGS, AccQ8_get__doc__},
    {"dump", AccQ8_dump, METH_NOARGS, AccQ8_dump__doc__},
    {"madd", ARITH_CFUNC(AccQ8_madd), METH_FASTCALL, AccQ8_madd__doc__},
    {"destroy", AccQ8_destroy, METH_NOARGS, acc_destroy__doc__},
    {"__enter__", AccQ8_enter, METH_NOARGS, AccQ8_enter__doc__},
    {"__exit__", AccQ8_exit, METH_VARARGS, AccQ8_exit__doc__},
    {"state_bytes", AccQ8_state_bytes, METH_NOARGS, AccQ8_state_bytes__doc__},
    {"get_state", AccQ8_get_state, METH_NOARGS, AccQ8_get_state__doc__},
    {"set_state", AccQ8_set_state, METH_O, AccQ8_set_state__doc__},
    {"__reduce__", AccQ8_reduce, METH_NOARGS, acc_reduce__doc__},
    {NULL, NULL, 0, NULL},
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
PyTypeObject AccQ8_Type = {
    .ob_base = PyVarObject_HEAD_INIT(NULL, 0)
    .tp_name = "arith.AccQ8",
    .tp_basicsize = sizeof(AccQ8Object),
    .tp_itemsize = 0,
    .tp_dealloc = AccQ8_dealloc,
    .tp_repr = AccQ8_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = AccQ8__doc__,
    .tp_methods = AccQ8_methods,
    .tp_init = AccQ8_init,
    .tp_new = AccQ8_new,
};
#pragma GCC diagnostic pop
