// The object protocols of the accumulator types beyond their own methods:
// repr, and pickling (which copy and deepcopy use too). Written once over the
// family traits of acc_methods.h; acc_types.cpp names them per type.
#ifndef CORVANE_ACC_PROTOCOLS_H
#define CORVANE_ACC_PROTOCOLS_H

#include <Python.h>

#include "acc_methods.h"

// The types are named "arith.AccQ15" and "arith.AccQ8", and no module "arith"
// can be imported, so pickle cannot find them by name. An accumulator is
// pickled as a call of this function on the type's short name and its state
// blob, the one serialised form of the register that stays stable.
static const char ACC_RESTORE_MODULE[] = "corvane._pickle";
static const char ACC_RESTORE_FUNCTION[] = "restore_accumulator";

template <typename F>
static PyObject *
acc_repr(PyObject *self, const char *type_name)
{
    typename F::Record *rec = acc_object<F>(self)->handle;
    if (rec == NULL) {
        return PyUnicode_FromFormat("<%s destroyed>", type_name);
    }
    return PyUnicode_FromFormat("%s(%lld)", type_name, static_cast<long long>(F::get(rec)));
}

// (restore_accumulator, (type_name, blob)); a destroyed object raises
// RuntimeError "destroyed" through get_state.
template <typename F>
static PyObject *
acc_reduce(PyObject *self, const char *type_name)
{
    PyObject *blob = NULL, *module = NULL, *restore = NULL, *result = NULL;

    blob = acc_get_state<F>(self);
    if (blob == NULL) {
        goto done;
    }
    module = PyImport_ImportModule(ACC_RESTORE_MODULE);
    if (module == NULL) {
        goto done;
    }
    restore = PyObject_GetAttrString(module, ACC_RESTORE_FUNCTION);
    if (restore == NULL) {
        goto done;
    }
    result = Py_BuildValue("(O(sO))", restore, type_name, blob);
done:
    Py_XDECREF(restore);
    Py_XDECREF(module);
    Py_XDECREF(blob);
    return result;
}

#endif  // CORVANE_ACC_PROTOCOLS_H
