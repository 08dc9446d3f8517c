// The polyphase filter over the lanes of an array, shared by the function
// upfirdn_q15 / upfirdn_q8 and the FirFilter object.
#ifndef CORVANE_UPFIRDN_LANES_H
#define CORVANE_UPFIRDN_LANES_H

#include "filters.h"

#include "upfirdn.h"

using UpfirdnPlanFn = upfirdn_plan *(*)(const void *taps, size_t ntaps, size_t up, size_t down);
using UpfirdnRunFn = int (*)(const upfirdn_plan *, const void *x, size_t n, void *history, size_t phase,
                             void *out, int s, int rounding, int overflow);

struct UpfirdnKind {
    const char *name;
    int type;
    size_t item;
    UpfirdnPlanFn plan;
    UpfirdnRunFn run;
};

extern const UpfirdnKind kUpfirdnQ15;
extern const UpfirdnKind kUpfirdnQ8;

// One call over every lane, laid out by lanes_in_place (lane c of x at
// x + c * x_stride): no Python objects, so that it can run without the GIL.
// history (NULL: from rest) holds upfirdn_history samples per lane; y
// upfirdn_outputs samples per lane.
struct UpfirdnRun {
    const UpfirdnKind &kind;
    const upfirdn_plan *plan;
    const char *x;
    npy_intp x_stride;
    char *history;
    char *y;
    size_t lanes;
    size_t n;
    size_t phase;
    int shift;
    int rounding;
    int overflow;
};

// 0, or -1 with MemoryError set (the GIL is held again by then).
int upfirdn_run_lanes(const UpfirdnRun &r);

// up or down as a positive factor: 0, or -1 with the exception set.
int upfirdn_factor(PyObject *obj, const char *fname, const char *what, size_t *out);

#endif  // CORVANE_UPFIRDN_LANES_H
