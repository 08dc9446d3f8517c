// The accumulator types of the module arith, created and added by PyInit_arith.
#ifndef CORVANE_ACC_TYPES_H
#define CORVANE_ACC_TYPES_H

#include <Python.h>

// NULL until acc_types_create succeeds; then held for the process.
extern PyTypeObject *AccQ15_Type;
extern PyTypeObject *AccQ8_Type;

// Creates both types, named "arith.AccQ15" and "arith.AccQ8", with their
// __module__ the package module "corvane.arith", so that pickle finds the
// classes by name. Returns 0, or -1 with an exception set.
int acc_types_create(void);

#endif  // CORVANE_ACC_TYPES_H
