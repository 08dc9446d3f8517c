// Entry point of the extension module arith.
#include <Python.h>

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
    if (arith_import_numpy() < 0) {
        return NULL;
    }
    return PyModule_Create2(&arith_module_def, PYTHON_API_VERSION);
}
