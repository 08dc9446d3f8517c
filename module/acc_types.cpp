// The accumulator types AccQ15 and AccQ8: each object owns one core record
// through its handle. The named functions only pick the family; the bodies are
// in acc_methods.h.
#include <Python.h>

#include <cstring>

#include "acc_docs.h"
#include "acc_methods.h"
#include "acc_protocols.h"
#include "acc_types.h"

// Heap types, so that their __module__ can be the package module
// corvane.arith while their names stay "arith.AccQ15" and "arith.AccQ8": a
// static type takes its __module__ from its name. Immutable where Python
// can say so (3.10 on), as a static type is.
#ifdef Py_TPFLAGS_IMMUTABLETYPE
constexpr unsigned long kAccTypeFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
#else
constexpr unsigned long kAccTypeFlags = Py_TPFLAGS_DEFAULT;
#endif

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

PyType_Slot AccQ15_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void *>(AccQ15_dealloc)},
    {Py_tp_repr, reinterpret_cast<void *>(AccQ15_repr)},
    {Py_tp_doc, const_cast<char *>(AccQ15__doc__)},
    {Py_tp_methods, AccQ15_methods},
    {Py_tp_init, reinterpret_cast<void *>(AccQ15_init)},
    {Py_tp_new, reinterpret_cast<void *>(AccQ15_new)},
    {0, NULL},
};

PyType_Spec AccQ15_spec = {"arith.AccQ15", sizeof(AccQ15Object), 0, kAccTypeFlags, AccQ15_slots};

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

PyType_Slot AccQ8_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void *>(AccQ8_dealloc)},
    {Py_tp_repr, reinterpret_cast<void *>(AccQ8_repr)},
    {Py_tp_doc, const_cast<char *>(AccQ8__doc__)},
    {Py_tp_methods, AccQ8_methods},
    {Py_tp_init, reinterpret_cast<void *>(AccQ8_init)},
    {Py_tp_new, reinterpret_cast<void *>(AccQ8_new)},
    {0, NULL},
};

PyType_Spec AccQ8_spec = {"arith.AccQ8", sizeof(AccQ8Object), 0, kAccTypeFlags, AccQ8_slots};


PyTypeObject *AccQ15_Type = NULL;
PyTypeObject *AccQ8_Type = NULL;

namespace {

// Python 3.9 keeps a heap type's doc without its "AccQ15(acc=0)\n--\n\n"
// signature line, so inspect.signature finds none: the type gets its full
// doc back (memory the type frees as its own).
int
keep_text_signature(PyTypeObject *type, const char *doc)
{
    PyObject *signature = PyObject_GetAttrString(reinterpret_cast<PyObject *>(type), "__text_signature__");
    if (signature == NULL) {
        return -1;
    }
    const bool kept = signature != Py_None;
    Py_DECREF(signature);
    if (kept) {
        return 0;
    }
    const size_t size = std::strlen(doc) + 1;
    char *copy = static_cast<char *>(PyObject_Malloc(size));
    if (copy == NULL) {
        PyErr_NoMemory();
        return -1;
    }
    std::memcpy(copy, doc, size);
    PyObject_Free(const_cast<char *>(type->tp_doc));
    type->tp_doc = copy;
    return 0;
}

PyTypeObject *
new_acc_type(PyType_Spec *spec, const char *doc)
{
    PyObject *type = PyType_FromSpec(spec);
    PyObject *module = type == NULL ? NULL : PyUnicode_FromString("corvane.arith");
    // Set in the dictionary itself: an immutable type refuses setattr.
    if (module == NULL || PyDict_SetItemString(reinterpret_cast<PyTypeObject *>(type)->tp_dict, "__module__",
                                               module) < 0) {
        Py_XDECREF(module);
        Py_XDECREF(type);
        return NULL;
    }
    Py_DECREF(module);
    PyType_Modified(reinterpret_cast<PyTypeObject *>(type));
    if (keep_text_signature(reinterpret_cast<PyTypeObject *>(type), doc) < 0) {
        Py_DECREF(type);
        return NULL;
    }
    return reinterpret_cast<PyTypeObject *>(type);
}

}  // namespace

int
acc_types_create(void)
{
    if (AccQ15_Type == NULL && (AccQ15_Type = new_acc_type(&AccQ15_spec, AccQ15__doc__)) == NULL) {
        return -1;
    }
    if (AccQ8_Type == NULL && (AccQ8_Type = new_acc_type(&AccQ8_spec, AccQ8__doc__)) == NULL) {
        return -1;
    }
    return 0;
}
