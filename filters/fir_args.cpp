// Arguments of fir_q15 / fir_q8: a vectorcall parser and the conversion of
// samples, taps and state under the safe-casting rule.
#include "fir_args.h"

#include <climits>

namespace {

// arr (integers from Python objects) as the kind's samples, or a
// ValueError when a value does not fit. Steals arr.
PyArrayObject *
fitting_ints(PyArrayObject *arr, const FirKind &kind, const char *what)
{
    PyArrayObject *result = NULL;
    PyObject *mismatch = NULL;
    PyArray_Descr *descr = PyArray_DescrFromType(kind.type);
    // Steals descr, also on failure.
    PyObject *cast = descr == NULL ? NULL : PyArray_CastToType(arr, descr, 0);
    if (cast != NULL && (mismatch = PyObject_RichCompare(cast, reinterpret_cast<PyObject *>(arr), Py_NE)) != NULL) {
        const npy_intp lost = PyArray_Check(mismatch)
                                  ? PyArray_CountNonzero(reinterpret_cast<PyArrayObject *>(mismatch))
                                  : PyObject_IsTrue(mismatch);
        if (lost == 0) {
            result = reinterpret_cast<PyArrayObject *>(cast);
            cast = NULL;
        } else if (lost > 0) {
            PyErr_Format(PyExc_ValueError, "%s: %s holds values outside the range of %S", kind.name, what,
                         reinterpret_cast<PyObject *>(PyArray_DESCR(reinterpret_cast<PyArrayObject *>(cast))));
        }
    }
    Py_XDECREF(mismatch);
    Py_XDECREF(cast);
    Py_DECREF(arr);
    return result;
}

// 1 if obj is a numpy.ma.MaskedArray, 0 if not, -1 with an exception set.
// An unimported numpy.ma means no masked array exists.
int
is_masked(PyObject *obj)
{
    PyObject *name = PyUnicode_FromString("numpy.ma");
    PyObject *ma = name == NULL ? NULL : PyImport_GetModule(name);
    PyObject *masked = ma == NULL ? NULL : PyObject_GetAttrString(ma, "MaskedArray");
    const int found = masked != NULL ? PyObject_IsInstance(obj, masked) : PyErr_Occurred() ? -1 : 0;
    Py_XDECREF(masked);
    Py_XDECREF(ma);
    Py_XDECREF(name);
    return found;
}

}  // namespace

// Only integer types that cast safely are taken: floats and wider integers
// would lose values. A masked array is refused: the filter would run over
// the values its mask hides.
PyArrayObject *
fir_as_samples(PyObject *obj, const FirKind &kind, const char *what)
{
    // A block of a stream is usually already an array of the right type.
    if (PyArray_CheckExact(obj)) {
        PyArrayObject *given = reinterpret_cast<PyArrayObject *>(obj);
        if (PyArray_TYPE(given) == kind.type && PyArray_ISNOTSWAPPED(given)) {
            Py_INCREF(given);
            return given;
        }
    }
    const int masked = is_masked(obj);
    if (masked != 0) {
        if (masked > 0) {
            PyErr_Format(PyExc_TypeError,
                         "%s: %s is a numpy.ma.MaskedArray, and the filter would run over the values its "
                         "mask hides: pass %s.filled(0) (or another fill value) instead",
                         kind.name, what, what);
        }
        return NULL;
    }
    PyArrayObject *arr = reinterpret_cast<PyArrayObject *>(PyArray_FromAny(obj, NULL, 0, 0, 0, NULL));
    if (arr == NULL) {
        return NULL;
    }
    const int type = PyArray_TYPE(arr);
    if (!PyArray_Check(obj) && PyTypeNum_ISINTEGER(type) && !PyArray_CanCastSafely(type, kind.type)) {
        // Python ints (a list of taps) are taken when every one fits.
        return fitting_ints(arr, kind, what);
    }
    if (!PyTypeNum_ISINTEGER(type) || !PyArray_CanCastSafely(type, kind.type)) {
        PyArray_Descr *want = PyArray_DescrFromType(kind.type);
        if (want != NULL) {
            PyErr_Format(PyExc_TypeError, "%s: %s must hold %S samples or a narrower integer type, not %S",
                         kind.name, what, reinterpret_cast<PyObject *>(want),
                         reinterpret_cast<PyObject *>(PyArray_DESCR(arr)));
            Py_DECREF(want);
        }
        Py_DECREF(arr);
        return NULL;
    }
    PyArray_Descr *descr = PyArray_DescrFromType(kind.type);
    if (descr == NULL) {
        Py_DECREF(arr);
        return NULL;
    }
    // Steals descr, also on failure.
    PyObject *cast = PyArray_FromArray(arr, descr, 0);
    Py_DECREF(arr);
    return reinterpret_cast<PyArrayObject *>(cast);
}

namespace {

int
as_int(PyObject *obj, const FirKind &kind, const char *what, int *out)
{
    if (!PyIndex_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s: %s must be an integer, not %.200s", kind.name, what,
                     Py_TYPE(obj)->tp_name);
        return -1;
    }
    PyObject *index = PyNumber_Index(obj);
    if (index == NULL) {
        return -1;
    }
    const long value = PyLong_AsLong(index);
    Py_DECREF(index);
    if (value == -1 && PyErr_Occurred()) {
        return -1;
    }
    if (value < INT_MIN || value > INT_MAX) {
        PyErr_Format(PyExc_OverflowError, "%s: %s is out of the C int range", kind.name, what);
        return -1;
    }
    *out = static_cast<int>(value);
    return 0;
}

}  // namespace

int
fir_parse_args(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, const FirKind &kind,
           int default_shift, FirArgs *parsed)
{
    static const char *const names[] = {"x", "taps", "shift", "zi", "axis"};
    constexpr Py_ssize_t kPositional = 3;
    PyObject *slots[5] = {NULL, NULL, NULL, NULL, NULL};

    if (nargs > kPositional) {
        PyErr_Format(PyExc_TypeError, "%s() takes at most 3 positional arguments (%zd given)", kind.name, nargs);
        return -1;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        slots[i] = args[i];
    }
    const Py_ssize_t nkw = kwnames == NULL ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject *name = PyTuple_GET_ITEM(kwnames, k);
        size_t slot = 0;
        while (slot < 5 && PyUnicode_CompareWithASCIIString(name, names[slot]) != 0) {
            ++slot;
        }
        if (slot == 5) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument %R", kind.name, name);
            return -1;
        }
        if (slots[slot] != NULL) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", kind.name, names[slot]);
            return -1;
        }
        slots[slot] = args[nargs + k];
    }
    for (size_t slot = 0; slot < 2; ++slot) {
        if (slots[slot] == NULL) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s'", kind.name, names[slot]);
            return -1;
        }
    }
    parsed->x = slots[0];
    parsed->taps = slots[1];
    parsed->zi = slots[3] == NULL ? Py_None : slots[3];
    parsed->shift = default_shift;
    parsed->axis = -1;
    if (slots[2] != NULL && as_int(slots[2], kind, "shift", &parsed->shift) < 0) {
        return -1;
    }
    if (slots[4] != NULL && as_int(slots[4], kind, "axis", &parsed->axis) < 0) {
        return -1;
    }
    return 0;
}
