// Creation of the module's ufuncs from their static tables.
#include "ufuncs.h"

int
ufuncs_add(PyObject *module, const UfuncSpec *specs, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const UfuncSpec &spec = specs[i];
        // No identity: a reduction starts from the first element, and
        // saturating arithmetic does not reorder, so reductions run in order.
        PyObject *ufunc = PyUFunc_FromFuncAndDataAndSignature(
            spec.loops, spec.data, spec.types, spec.ntypes, spec.nin, spec.nout, PyUFunc_None,
            spec.name, spec.doc, 0, spec.signature);
        if (ufunc == NULL) {
            return -1;
        }
        if (ufunc_cast_safely(ufunc) < 0) {
            Py_DECREF(ufunc);
            return -1;
        }
        // PyModule_AddObject steals the reference only on success.
        if (PyModule_AddObject(module, spec.name, ufunc) < 0) {
            Py_DECREF(ufunc);
            return -1;
        }
    }
    return 0;
}
