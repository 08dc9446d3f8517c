// Routing of a filter call whose samples are a Dask array to the Python
// module corvane._dask_filters, which builds the lazy graph. Dask stays
// optional: nothing here imports it, and the module is imported only when
// a Dask array arrives.
#ifndef CORVANE_DASK_ROUTE_H
#define CORVANE_DASK_ROUTE_H

#include "filters.h"

// Looks at the call's array argument: positional argument `position`, or
// the keyword `keyword`. When it is a Dask array, calls the function `name`
// of corvane._dask_filters with the same vectorcall arguments and returns
// 1 with *result set to its result (NULL with the exception set if it
// failed). Otherwise returns 0 and leaves *result alone: the caller goes on
// with its in-memory path. One line at the top of a filter:
//     if (dask_route("fir_q15", "x", 0, args, nargs, kwnames, &result)) return result;
int dask_route(const char *name, const char *keyword, Py_ssize_t position, PyObject *const *args,
               Py_ssize_t nargs, PyObject *kwnames, PyObject **result);

#endif  // CORVANE_DASK_ROUTE_H
