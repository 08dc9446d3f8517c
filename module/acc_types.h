// The accumulator types of the module arith, readied and added by PyInit_arith.
#ifndef CORVANE_ACC_TYPES_H
#define CORVANE_ACC_TYPES_H

#include <Python.h>

extern PyTypeObject AccQ15_Type;
extern PyTypeObject AccQ8_Type;

#endif  // CORVANE_ACC_TYPES_H
