// Entry point of the extension module corvane._filters: imports NumPy's array
// API, then lets each source file register what it defines.
#define CORVANE_FILTERS_IMPORT
#include "filters.h"

PyDoc_STRVAR(filters__doc__,
"Bit-exact fixed-point filters along an axis of NumPy arrays: streaming FIR\n"
"filters and polyphase resamplers on Q15 and Q8 samples and biquad cascades on\n"
"Q15 samples, exact against their integer definitions.\n"
"\n"
"The filters are re-exported by the package: ``from corvane import fir_q15``.\n");

static struct PyModuleDef filters_module_def = {
    PyModuleDef_HEAD_INIT,
    "_filters",       /* m_name */
    filters__doc__,   /* m_doc */
    -1,               /* m_size: single-phase, no module state */
    NULL,             /* m_methods: each file adds its own */
    NULL,             /* m_slots */
    NULL,             /* m_traverse */
    NULL,             /* m_clear */
    NULL,             /* m_free */
};

// One entry per source file, in the order their names appear in the module.
static int (*const filters_registrars[])(PyObject *) = {
    register_fir,
    register_sos,
    register_sos_filter,
    register_upfirdn,
    register_fir_filter,
};

PyMODINIT_FUNC
PyInit__filters(void)
{
    PyObject *module;

    // Prints the cause, sets ImportError and returns NULL on failure.
    import_array();

    module = PyModule_Create2(&filters_module_def, PYTHON_API_VERSION);
    if (module == NULL) {
        return NULL;
    }
    for (auto registrar : filters_registrars) {
        if (registrar(module) < 0) {
            Py_DECREF(module);
            return NULL;
        }
    }
    return module;
}
