// The casting rule of every ufunc of the module: operands and results cast
// only under the safe rule unless the caller says casting="unsafe", because a
// saturating loop behind a same_kind cast (int32 -> int16 in, int16 -> int8
// out) wraps silently. Where no loop takes the inputs, the error says which
// type was expected and how to convert.
//
// NumPy consults two hooks of the ufunc object, depending on its version:
// - the type resolver: NumPy 1.20 calls it on every call with the caller's
//   casting; from 1.21 on only to promote inputs no loop matches exactly,
//   always with "unsafe", and it checks the casts itself afterwards;
// - the call (the object's vectorcall slot, from NumPy 1.21 on): the only
//   place that sees the caller's casting there. The hook sets the keyword
//   to "safe" where it is missing or "same_kind", and hands the call on to
//   NumPy unchanged otherwise, so NumPy's own checks apply the rule. A call
//   that NumPy hands to an operand's __array_ufunc__ (a Dask array) goes on
//   untouched: such an implementation need not take `casting`, and its own
//   calls on NumPy arrays come back through the hook.
#include "ufuncs.h"

#include <cstring>

namespace {

// ---- the type resolver ----

bool
takes_only_floats(const PyUFuncObject *ufunc, int input)
{
    for (int loop = 0; loop < ufunc->ntypes; ++loop) {
        if (!PyTypeNum_ISFLOAT(ufunc->types[loop * ufunc->nargs + input])) {
            return false;
        }
    }
    return true;
}

// Integers taken as floats give a result 32768 times too large, saturated:
// a float input never takes integer operands, even where the cast is safe.
int
refuse_integers_for_floats(const PyUFuncObject *ufunc, PyArrayObject **operands)
{
    for (int i = 0; i < ufunc->nin; ++i) {
        const int type = PyArray_TYPE(operands[i]);
        if ((PyTypeNum_ISINTEGER(type) || PyTypeNum_ISBOOL(type)) && takes_only_floats(ufunc, i)) {
            const bool to_fixed = std::strncmp(ufunc->name, "to_", 3) == 0;
            PyErr_Format(PyExc_TypeError,
                         "%s converts floats to fixed point, and input %d is %S: integer samples "
                         "already are fixed point%s%s%s",
                         ufunc->name, i, reinterpret_cast<PyObject *>(PyArray_DESCR(operands[i])),
                         to_fixed ? " (from_" : "", to_fixed ? ufunc->name + 3 : "",
                         to_fixed ? " goes the other way, from fixed point to float)" : "");
            return -1;
        }
    }
    return 0;
}

bool
casts_safely_to_a_loop(const PyUFuncObject *ufunc, PyArrayObject *operand, int input)
{
    for (int loop = 0; loop < ufunc->ntypes; ++loop) {
        PyArray_Descr *want = PyArray_DescrFromType(ufunc->types[loop * ufunc->nargs + input]);
        const bool ok = want != NULL && PyArray_CanCastArrayTo(operand, want, NPY_SAFE_CASTING);
        Py_XDECREF(want);
        if (ok) {
            return true;
        }
    }
    return false;
}

// The one type every loop takes at `input`, or -1.
int
only_type_at(const PyUFuncObject *ufunc, int input)
{
    const int first = ufunc->types[input];
    for (int loop = 1; loop < ufunc->ntypes; ++loop) {
        if (ufunc->types[loop * ufunc->nargs + input] != first) {
            return -1;
        }
    }
    return first;
}

// The names of the types the loops take at `input`, "int64 or int32".
PyObject *
types_at(const PyUFuncObject *ufunc, int input)
{
    PyObject *names = PyList_New(0);
    PyObject *joined = NULL;
    for (int loop = 0; names != NULL && loop < ufunc->ntypes; ++loop) {
        PyArray_Descr *descr = PyArray_DescrFromType(ufunc->types[loop * ufunc->nargs + input]);
        PyObject *name = descr == NULL ? NULL : PyObject_Str(reinterpret_cast<PyObject *>(descr));
        Py_XDECREF(descr);
        const int seen = name == NULL ? -1 : PySequence_Contains(names, name);
        if (seen < 0 || (seen == 0 && PyList_Append(names, name) < 0)) {
            Py_CLEAR(names);
        }
        Py_XDECREF(name);
    }
    if (names != NULL) {
        PyObject *separator = PyUnicode_FromString(" or ");
        joined = separator == NULL ? NULL : PyUnicode_Join(separator, names);
        Py_XDECREF(separator);
        Py_DECREF(names);
    }
    return joined;
}

// Replaces NumPy's "no loop" error with one that names the input at fault,
// the type expected and the conversion that does not wrap. Leaves NumPy's
// error where every input alone would do (a dtype= that fits no loop).
void
explain_refusal(const PyUFuncObject *ufunc, PyArrayObject **operands)
{
    for (int i = 0; i < ufunc->nin; ++i) {
        PyArrayObject *op = operands[i];
        if (casts_safely_to_a_loop(ufunc, op, i)) {
            continue;
        }
        const int want = only_type_at(ufunc, i);
        const char *q = want == NPY_INT16 ? "q15" : want == NPY_INT8 ? "q8" : NULL;
        PyObject *got = reinterpret_cast<PyObject *>(PyArray_DESCR(op));
        const int type = PyArray_TYPE(op);
        PyErr_Clear();
        if (q != NULL && PyTypeNum_ISINTEGER(type)) {
            const char *np_name = want == NPY_INT16 ? "int16" : "int8";
            PyErr_Format(PyExc_TypeError,
                         "%s takes %s samples as %s, and input %d is %S%s, which a cast would wrap. "
                         "Convert it first: np.asarray(x, dtype=np.%s) for a list (NumPy 2 refuses "
                         "values out of range), narrow_%s(x, 0) to saturate a wider array",
                         ufunc->name, want == NPY_INT16 ? "Q15" : "Q8", np_name, i, got,
                         type == NPY_INT64 ? " (what NumPy makes of a list of Python ints)" : "", np_name, q);
        } else if (q != NULL && PyTypeNum_ISFLOAT(type)) {
            PyErr_Format(PyExc_TypeError,
                         "%s takes %s samples as %s, and input %d is %S: convert floats with to_%s "
                         "(rounds half up and saturates)",
                         ufunc->name, want == NPY_INT16 ? "Q15" : "Q8", want == NPY_INT16 ? "int16" : "int8",
                         i, got, q);
        } else {
            PyObject *wanted = types_at(ufunc, i);
            if (wanted != NULL) {
                PyErr_Format(PyExc_TypeError, "%s takes %U as input %d, and %S does not cast to it safely",
                             ufunc->name, wanted, i, got);
                Py_DECREF(wanted);
            }
        }
        return;
    }
}

int
resolve_types(PyUFuncObject *ufunc, NPY_CASTING casting, PyArrayObject **operands, PyObject *type_tup,
              PyArray_Descr **out_dtypes)
{
    if (refuse_integers_for_floats(ufunc, operands) < 0) {
        return -1;
    }
    if (casting != NPY_UNSAFE_CASTING && casting > NPY_SAFE_CASTING) {
        casting = NPY_SAFE_CASTING;
    }
    const int status = PyUFunc_DefaultTypeResolver(ufunc, casting, operands, type_tup, out_dtypes);
    if (status < 0 && PyErr_ExceptionMatches(PyExc_TypeError)) {
        explain_refusal(ufunc, operands);
    }
    return status;
}

// ---- the call ----

// NumPy's own call of a ufunc object: the same function for every ufunc.
vectorcallfunc numpy_call = NULL;
PyObject *casting_keyword = NULL;  // "casting"
PyObject *safe_rule = NULL;        // "safe"
PyObject *casting_only = NULL;     // ("casting",)
PyObject *ndarray_array_ufunc = NULL;  // ndarray.__array_ufunc__, which overrides nothing

// Arguments of a call that fit on the stack: inputs, outputs and keywords.
constexpr Py_ssize_t kStackArguments = 24;

bool
is_casting_keyword(PyObject *name)
{
    return name == casting_keyword || PyUnicode_CompareWithASCIIString(name, "casting") == 0;
}

// Whether obj's type has an __array_ufunc__ of its own, so that NumPy hands
// the call to it. Arrays, scalars and lists, the common operands, never do.
int
overrides(PyObject *obj)
{
    if (PyArray_CheckExact(obj) || PyArray_IsAnyScalar(obj) || PyList_CheckExact(obj) || PyTuple_CheckExact(obj) ||
        obj == Py_None) {
        return 0;
    }
    PyObject *method = PyObject_GetAttrString(reinterpret_cast<PyObject *>(Py_TYPE(obj)), "__array_ufunc__");
    if (method == NULL) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            return -1;
        }
        PyErr_Clear();
        return 0;
    }
    const int found = method != ndarray_array_ufunc;
    Py_DECREF(method);
    return found;
}

// Whether any operand, the outputs in out= included, overrides the call.
int
any_override(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        const int found = overrides(args[i]);
        if (found != 0) {
            return found;
        }
    }
    const Py_ssize_t nkw = kwnames == NULL ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        if (PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(kwnames, k), "out") != 0) {
            continue;
        }
        PyObject *out = args[nargs + k];
        if (!PyTuple_CheckExact(out)) {
            return overrides(out);
        }
        for (Py_ssize_t j = 0; j < PyTuple_GET_SIZE(out); ++j) {
            const int found = overrides(PyTuple_GET_ITEM(out, j));
            if (found != 0) {
                return found;
            }
        }
    }
    return 0;
}

// kwnames with "casting" appended (a new reference).
PyObject *
with_casting(PyObject *kwnames)
{
    if (kwnames == NULL) {
        Py_INCREF(casting_only);
        return casting_only;
    }
    const Py_ssize_t n = PyTuple_GET_SIZE(kwnames);
    PyObject *names = PyTuple_New(n + 1);
    if (names == NULL) {
        return NULL;
    }
    for (Py_ssize_t k = 0; k < n; ++k) {
        PyObject *name = PyTuple_GET_ITEM(kwnames, k);
        Py_INCREF(name);
        PyTuple_SET_ITEM(names, k, name);
    }
    Py_INCREF(casting_keyword);
    PyTuple_SET_ITEM(names, n, casting_keyword);
    return names;
}

PyObject *
call_casting_safely(PyObject *ufunc, PyObject *const *args, size_t nargsf, PyObject *kwnames)
{
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    const Py_ssize_t nkw = kwnames == NULL ? 0 : PyTuple_GET_SIZE(kwnames);
    Py_ssize_t at = nkw;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        if (is_casting_keyword(PyTuple_GET_ITEM(kwnames, k))) {
            at = k;
            break;
        }
    }
    if (at < nkw) {
        PyObject *rule = args[nargs + at];
        if (!PyUnicode_Check(rule) || PyUnicode_CompareWithASCIIString(rule, "same_kind") != 0) {
            return numpy_call(ufunc, args, nargsf, kwnames);
        }
    }
    const int deferred = any_override(args, nargs, kwnames);
    if (deferred != 0) {
        return deferred < 0 ? NULL : numpy_call(ufunc, args, nargsf, kwnames);
    }
    const Py_ssize_t given = nargs + nkw;
    const Py_ssize_t total = given + (at == nkw);
    PyObject *stack[kStackArguments];
    PyObject **copy = total <= kStackArguments ? stack : PyMem_New(PyObject *, total);
    PyObject *names = NULL, *result = NULL;
    if (copy == NULL) {
        return PyErr_NoMemory();
    }
    std::memcpy(copy, args, static_cast<size_t>(given) * sizeof(PyObject *));
    copy[nargs + at] = safe_rule;
    if (at < nkw) {
        Py_INCREF(kwnames);
        names = kwnames;
    } else {
        names = with_casting(kwnames);
    }
    if (names != NULL) {
        result = numpy_call(ufunc, copy, static_cast<size_t>(nargs), names);
        Py_DECREF(names);
    }
    if (copy != stack) {
        PyMem_Free(copy);
    }
    return result;
}

int
intern_names()
{
    if (casting_only != NULL) {
        return 0;
    }
    if ((casting_keyword = PyUnicode_InternFromString("casting")) == NULL ||
        (safe_rule = PyUnicode_InternFromString("safe")) == NULL ||
        (casting_only = PyTuple_Pack(1, casting_keyword)) == NULL ||
        (ndarray_array_ufunc = PyObject_GetAttrString(reinterpret_cast<PyObject *>(&PyArray_Type),
                                                      "__array_ufunc__")) == NULL) {
        return -1;
    }
    return 0;
}

// Points the ufunc's vectorcall slot at call_casting_safely, where the
// running NumPy calls ufuncs through one (1.21 on).
int
hook_call(PyObject *ufunc)
{
    PyTypeObject *type = Py_TYPE(ufunc);
    if (!PyType_HasFeature(type, Py_TPFLAGS_HAVE_VECTORCALL) || type->tp_vectorcall_offset <= 0) {
        return 0;
    }
    vectorcallfunc *slot = reinterpret_cast<vectorcallfunc *>(reinterpret_cast<char *>(ufunc) +
                                                              type->tp_vectorcall_offset);
    if (*slot == NULL) {
        return 0;
    }
    if (intern_names() < 0) {
        return -1;
    }
    if (numpy_call == NULL) {
        numpy_call = *slot;
    } else if (*slot != numpy_call) {
        PyErr_SetString(PyExc_ImportError,
                        "corvane._ufuncs: this NumPy calls its ufuncs in more than one way; the "
                        "safe-casting rule cannot be installed");
        return -1;
    }
    *slot = call_casting_safely;
    return 0;
}

}  // namespace

int
ufunc_cast_safely(PyObject *ufunc)
{
    reinterpret_cast<PyUFuncObject *>(ufunc)->type_resolver = resolve_types;
    return hook_call(ufunc);
}
