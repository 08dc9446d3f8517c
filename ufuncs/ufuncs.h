// Declarations shared by the translation units of the extension module
// corvane._ufuncs.
//
// Every unit includes this header before any NumPy header. The NumPy and ufunc
// API tables are one pair of module-wide (hidden) symbols, filled once by the
// import step in module.cpp, the only unit that defines CORVANE_UFUNCS_IMPORT.
#ifndef CORVANE_UFUNCS_H
#define CORVANE_UFUNCS_H

#include <Python.h>

#include <cstddef>

#define PY_ARRAY_UNIQUE_SYMBOL corvane_ufuncs_ARRAY_API
#define PY_UFUNC_UNIQUE_SYMBOL corvane_ufuncs_UFUNC_API
#ifndef CORVANE_UFUNCS_IMPORT
#define NO_IMPORT_ARRAY
#define NO_IMPORT_UFUNC
#endif
#include <numpy/arrayobject.h>
#include <numpy/ufuncobject.h>

// One ufunc: its loops, one per type signature, with `types` holding nin + nout
// type numbers per loop. NumPy keeps the pointers, so every array is static.
// A null `signature` makes an elementwise ufunc, otherwise a gufunc.
struct UfuncSpec {
    const char *name;
    const char *doc;
    PyUFuncGenericFunction *loops;
    void **data;
    char *types;
    int ntypes;
    int nin;
    int nout;
    const char *signature;
};

// Gives the ufunc the module's casting rule (casting_rule.cpp): operands and
// results cast only safely unless the caller says casting="unsafe", and
// refusals that say what to convert. Returns 0, or -1 with an exception set.
int ufunc_cast_safely(PyObject *ufunc);

// Creates each ufunc of `specs` under the module's casting rule and adds it to
// the module under its name.
// Returns 0, or -1 with an exception set.
int ufuncs_add(PyObject *module, const UfuncSpec *specs, size_t count);

// What each source file adds to the module; module.cpp calls them in order.
// A file with module-level functions adds its own method table from its
// register function (PyModule_AddFunctions).
int register_elementwise(PyObject *module);
int register_shifts(PyObject *module);
int register_dots(PyObject *module);
int register_conversions(PyObject *module);

#endif  // CORVANE_UFUNCS_H
