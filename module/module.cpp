// Entry point of the extension module arith.
#include <Python.h>

#include "acc_types.h"
#include "arith.h"
#include "numpy_bridge.h"

PyDoc_STRVAR(arith__doc__,
"Fixed-point accumulators: Q8 and Q15 scalar sums (AccQ8, AccQ15) with exact integer arithmetic for bit-true pipelines.\n"
"\n"
"Examples\n"
"--------\n"
">>> from corvane.arith import AccQ15\n"
">>> a = AccQ15()\n"
">>> a.step(100); a.step(50)\n"
">>> a.get()\n"
"150\n");

static struct PyModuleDef arith_module_def = {
    PyModuleDef_HEAD_INIT,
    "arith",              /* m_name */
    arith__doc__,         /* m_doc */
    -1,                   /* m_size: single-phase, state in static storage */
    arith_module_methods, /* m_methods */
    NULL,                 /* m_slots */
    NULL,                 /* m_traverse */
    NULL,                 /* m_clear */
    NULL,                 /* m_free */
};

PyMODINIT_FUNC
PyInit_arith(void)
{
    PyObject *module;

    if (arith_import_numpy() < 0) {
        return NULL;
    }
    if (acc_types_create() < 0) {
        return NULL;
    }
    module = PyModule_Create2(&arith_module_def, PYTHON_API_VERSION);
    if (module == NULL) {
        return NULL;
    }
    // PyModule_AddObject steals the reference only on success.
    Py_INCREF(AccQ15_Type);
    if (PyModule_AddObject(module, "AccQ15", reinterpret_cast<PyObject *>(AccQ15_Type)) < 0) {
        Py_DECREF(AccQ15_Type);
        goto error;
    }
    Py_INCREF(AccQ8_Type);
    if (PyModule_AddObject(module, "AccQ8", reinterpret_cast<PyObject *>(AccQ8_Type)) < 0) {
        Py_DECREF(AccQ8_Type);
        goto error;
    }
    return module;

error:
    Py_DECREF(module);
    return NULL;
}
