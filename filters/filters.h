// Declarations shared by the translation units of the extension module
// corvane._filters: the filters (FIR, and the filters built on the same
// core) as functions and objects, not ufuncs.
//
// Every unit includes this header before any NumPy header. The NumPy API
// table is one module-wide (hidden) symbol, filled once by the import step
// in module.cpp, the only unit that defines CORVANE_FILTERS_IMPORT.
#ifndef CORVANE_FILTERS_H
#define CORVANE_FILTERS_H

#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL corvane_filters_ARRAY_API
#ifndef CORVANE_FILTERS_IMPORT
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>

// What each source file adds to the module; module.cpp calls them in order.
// A file with module-level functions adds its own method table
// (PyModule_AddFunctions); one with a type readies and adds it.
int register_fir(PyObject *module);
int register_sos(PyObject *module);
int register_sos_filter(PyObject *module);
int register_upfirdn(PyObject *module);
int register_fir_filter(PyObject *module);

#endif  // CORVANE_FILTERS_H
