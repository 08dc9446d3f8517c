// Declarations shared by the translation units of the extension module arith.
#ifndef CORVANE_ARITH_H
#define CORVANE_ARITH_H

#include <Python.h>

// The module's function table (functions.cpp).
extern PyMethodDef arith_module_methods[];

// PyArg_ParseTupleAndKeywords takes the keyword list as char ** before CPython
// 3.13 and as char * const * from 3.13 on; a char ** converts to both.
inline char **
arith_kwlist(const char *const *kwlist)
{
    return const_cast<char **>(kwlist);
}

// Method tables store every C function as a PyCFunction; the detour through a
// function type without parameters keeps -Wcast-function-type quiet, as in
// CPython's own sources.
#define ARITH_CFUNC(func) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(func))

#endif  // CORVANE_ARITH_H
