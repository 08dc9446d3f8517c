// The polyphase functions upfirdn_q15 and upfirdn_q8: convert, make the plan,
// run every lane from rest, and return the outputs in the caller's axis
// order.
#include "filters.h"

#include "dask_route.h"
#include "call_args.h"
#include "fir_args.h"
#include "lanes.h"
#include "mode_args.h"
#include "rounding.h"
#include "upfirdn_lanes.h"

namespace {

template <typename T, upfirdn_plan *(*Plan)(const T *, size_t, size_t, size_t)>
upfirdn_plan *
make_plan(const void *taps, size_t ntaps, size_t up, size_t down)
{
    return Plan(static_cast<const T *>(taps), ntaps, up, down);
}

template <typename T, int (*Run)(const upfirdn_plan *, const T *, size_t, T *, size_t, T *, int, int, int)>
int
run_plan(const upfirdn_plan *plan, const void *x, size_t n, void *history, size_t phase, void *out, int s,
         int rounding, int overflow)
{
    return Run(plan, static_cast<const T *>(x), n, static_cast<T *>(history), phase, static_cast<T *>(out), s,
               rounding, overflow);
}

// The largest up or down taken: a plan holds an index per phase.
constexpr int kMaxFactor = 1 << 20;

// Products below which the GIL stays held.
constexpr double kNoThreadsBelow = 1 << 16;

int
run_lanes(const UpfirdnRun &r)
{
    const size_t item = r.kind.item;
    const size_t held = upfirdn_history(r.plan);
    const size_t outputs = upfirdn_outputs(r.plan, r.n, r.phase);
    for (size_t c = 0; c < r.lanes; ++c) {
        char *h = r.history != NULL ? r.history + c * held * item : NULL;
        const char *x = r.x + static_cast<npy_intp>(c) * r.x_stride;
        if (r.kind.run(r.plan, x, r.n, h, r.phase, r.y + c * outputs * item, r.shift,
                       r.rounding, r.overflow) != 0) {
            return -1;
        }
    }
    return 0;
}

}  // namespace

const UpfirdnKind kUpfirdnQ15 = {"upfirdn_q15", NPY_INT16, sizeof(int16_t), make_plan<int16_t, upfirdn_plan_q15>,
                                 run_plan<int16_t, upfirdn_q15>};
const UpfirdnKind kUpfirdnQ8 = {"upfirdn_q8", NPY_INT8, sizeof(int8_t), make_plan<int8_t, upfirdn_plan_q8>,
                                run_plan<int8_t, upfirdn_q8>};

int
upfirdn_run_lanes(const UpfirdnRun &r)
{
    int status;
    const double work = static_cast<double>(r.lanes) * static_cast<double>(r.n) *
                        static_cast<double>(upfirdn_history(r.plan) + 1);
    // Releasing the GIL costs more than a short block takes to filter.
    if (work < kNoThreadsBelow) {
        status = run_lanes(r);
    } else {
        Py_BEGIN_ALLOW_THREADS
        status = run_lanes(r);
        Py_END_ALLOW_THREADS
    }
    if (status != 0) {
        PyErr_NoMemory();
    }
    return status;
}

int
upfirdn_factor(PyObject *obj, const char *fname, const char *what, size_t *out)
{
    int value;
    if (filter_as_int(obj, fname, what, &value) < 0) {
        return -1;
    }
    if (value < 1 || value > kMaxFactor) {
        PyErr_Format(PyExc_ValueError, "%s: %s must be from 1 to %d, not %d", fname, what, kMaxFactor, value);
        return -1;
    }
    *out = static_cast<size_t>(value);
    return 0;
}

namespace {

PyObject *
upfirdn(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, const UpfirdnKind &kind, int default_shift)
{
    static const char *const names[] = {"h", "x", "up", "down", "shift", "axis", "rounding", "overflow"};
    PyObject *slots[8];
    const FirKind samples = {kind.name, kind.type, kind.item, NULL};
    PyArrayObject *h = NULL, *x = NULL, *x_lanes = NULL, *y_lanes = NULL;
    upfirdn_plan *plan = NULL;
    PyObject *result = NULL;
    size_t up = 1, down = 1, n;
    npy_intp x_stride = 0;
    int shift = default_shift, axis = -1, rounding = CORVANE_ROUND_NEAREST, overflow = CORVANE_OVERFLOW_SATURATE;

    if (dask_route(kind.name, "x", 1, args, nargs, kwnames, &result)) return result;
    if (parse_call(args, nargs, kwnames, kind.name, names, 8, 5, 2, slots) < 0 ||
        (slots[2] != NULL && upfirdn_factor(slots[2], kind.name, "up", &up) < 0) ||
        (slots[3] != NULL && upfirdn_factor(slots[3], kind.name, "down", &down) < 0) ||
        (slots[4] != NULL && filter_as_int(slots[4], kind.name, "shift", &shift) < 0) ||
        (slots[5] != NULL && filter_as_int(slots[5], kind.name, "axis", &axis) < 0) ||
        (slots[6] != NULL && parse_rounding(slots[6], &rounding) < 0) ||
        (slots[7] != NULL && parse_overflow(slots[7], &overflow) < 0)) {
        return NULL;
    }
    if ((h = fir_as_samples(slots[0], samples, "h")) == NULL || (x = fir_as_samples(slots[1], samples, "x")) == NULL) {
        goto done;
    }
    if (PyArray_NDIM(h) != 1 || PyArray_DIM(h, 0) == 0) {
        PyErr_Format(PyExc_ValueError, "%s: h must be one-dimensional and not empty", kind.name);
        goto done;
    }
    if ((axis = lanes_axis(x, axis, kind.name)) < 0 || (x_lanes = lanes_in_place(x, axis, &x_stride)) == NULL) {
        goto done;
    }
    Py_SETREF(h, PyArray_GETCONTIGUOUS(h));
    if (h == NULL) {
        goto done;
    }
    if ((plan = kind.plan(PyArray_DATA(h), static_cast<size_t>(PyArray_DIM(h, 0)), up, down)) == NULL) {
        PyErr_NoMemory();
        goto done;
    }
    n = static_cast<size_t>(PyArray_DIM(x_lanes, PyArray_NDIM(x_lanes) - 1));
    if ((y_lanes = new_like(x_lanes, static_cast<npy_intp>(upfirdn_outputs(plan, n, 0)), kind.type)) == NULL) {
        goto done;
    }
    {
        UpfirdnRun run = {kind, plan, static_cast<const char *>(PyArray_DATA(x_lanes)), x_stride, NULL,
                          static_cast<char *>(PyArray_DATA(y_lanes)), lane_count(x_lanes), n, 0, shift,
                          rounding, overflow};
        if (upfirdn_run_lanes(run) < 0) {
            goto done;
        }
    }
    result = lanes_back(y_lanes, axis);

done:
    upfirdn_plan_free(plan);
    Py_XDECREF(h);
    Py_XDECREF(x);
    Py_XDECREF(x_lanes);
    Py_XDECREF(y_lanes);
    return result;
}

PyObject *
upfirdn_q15_function(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    return upfirdn(args, nargs, kwnames, kUpfirdnQ15, 15);
}

PyObject *
upfirdn_q8_function(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    return upfirdn(args, nargs, kwnames, kUpfirdnQ8, 7);
}

PyDoc_STRVAR(upfirdn_q15__doc__,
"upfirdn_q15(h, x, up=1, down=1, shift=15, *, axis=-1, rounding=\"nearest\", overflow=\"saturate\")\n"
"--\n"
"\n"
"Upsample by `up`, FIR-filter with h, downsample by `down`, along `axis` of\n"
"int16 samples x, exactly and at polyphase cost: only the kept outputs and\n"
"the products with a nonzero upsampled sample are formed.\n"
"\n"
"With u the signal with up - 1 zeros after every sample (u[k*up] = x[k]) and\n"
"v[k] = sum over j of h[j] * u[k - j] exact in 64 bits (zeros before the\n"
"start), y[m] = narrow(v[m*down], shift) for every m with m*down < len(x)*up,\n"
"rounding by \"nearest\" (ties up), \"floor\", \"ceiling\", \"zero\", \"round\" (ties\n"
"away from zero) or \"convergent\" (ties to even), then \"saturate\" or \"wrap\".\n"
"\n"
"Unlike scipy.signal.upfirdn, which returns the whole convolution with its\n"
"tail (len(h) - 1 more upsampled samples), this keeps the stream's timing:\n"
"causal and from rest, n inputs give ceil(n*up / down) outputs, the first\n"
"len(x)*up // down of scipy's, so that consecutive blocks join (see\n"
"FirFilter). With up = down = 1 it equals fir_q15.\n"
"\n"
">>> h = np.array([16384, 16384], np.int16)\n"
">>> upfirdn_q15(h, np.array([1000, 2000, 3000, 4000], np.int16), down=2)\n"
"array([ 500, 2500], dtype=int16)\n"
">>> upfirdn_q15(h, np.array([1000, 2000], np.int16), up=2)\n"
"array([ 500,  500, 1000, 1000], dtype=int16)\n");

PyDoc_STRVAR(upfirdn_q8__doc__,
"upfirdn_q8(h, x, up=1, down=1, shift=7, *, axis=-1, rounding=\"nearest\", overflow=\"saturate\")\n"
"--\n"
"\n"
"upfirdn_q15 for int8 samples and taps: the Q14 sum wraps at 32 bits as\n"
"dot_q8 does before it is narrowed.\n"
"\n"
">>> upfirdn_q8(np.array([64, 64], np.int8), np.array([100, 50, -20], np.int8), up=2)\n"
"array([ 50,  50,  25,  25, -10, -10], dtype=int8)\n");

#define UPFIRDN_CFUNC(func) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(func))

PyMethodDef upfirdn_methods[] = {
    {"upfirdn_q15", UPFIRDN_CFUNC(upfirdn_q15_function), METH_FASTCALL | METH_KEYWORDS, upfirdn_q15__doc__},
    {"upfirdn_q8", UPFIRDN_CFUNC(upfirdn_q8_function), METH_FASTCALL | METH_KEYWORDS, upfirdn_q8__doc__},
    {NULL, NULL, 0, NULL},
};

}  // namespace

int
register_upfirdn(PyObject *module)
{
    return PyModule_AddFunctions(module, upfirdn_methods);
}
