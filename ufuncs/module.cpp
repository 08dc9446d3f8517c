// Entry point of the extension module corvane._ufuncs: imports NumPy's array
// and ufunc APIs, then lets each source file register what it defines.
#define CORVANE_UFUNCS_IMPORT
#include "ufuncs.h"

PyDoc_STRVAR(ufuncs__doc__,
"Fixed-point arithmetic as NumPy ufuncs: saturating Q15/Q8 add, sub and mul, shifts\n"
"by a broadcast count, and the inner-product gufuncs dot_q15 and dot_q8.\n"
"Operands and results cast only under NumPy's safe rule unless a call says\n"
"casting=\"unsafe\": a saturating loop behind a lossy cast would wrap.\n"
"\n"
"The ufuncs are re-exported by the package: ``from corvane import add_q15``.\n");

static struct PyModuleDef ufuncs_module_def = {
    PyModuleDef_HEAD_INIT,
    "_ufuncs",       /* m_name */
    ufuncs__doc__,   /* m_doc */
    -1,              /* m_size: single-phase, no module state */
    NULL,            /* m_methods: each file adds its own */
    NULL,            /* m_slots */
    NULL,            /* m_traverse */
    NULL,            /* m_clear */
    NULL,            /* m_free */
};

// One entry per source file, in the order their names appear in the module.
static int (*const ufuncs_registrars[])(PyObject *) = {
    register_elementwise,
    register_shifts,
    register_dots,
    register_conversions,
};

PyMODINIT_FUNC
PyInit__ufuncs(void)
{
    PyObject *module;

    // Both macros print the cause, set ImportError and return NULL on failure.
    import_array();
    import_umath();

    module = PyModule_Create2(&ufuncs_module_def, PYTHON_API_VERSION);
    if (module == NULL) {
        return NULL;
    }
    for (auto registrar : ufuncs_registrars) {
        if (registrar(module) < 0) {
            Py_DECREF(module);
            return NULL;
        }
    }
    return module;
}
