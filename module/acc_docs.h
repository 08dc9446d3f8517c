// Docstrings of the accumulator types AccQ15 and AccQ8. Texts that differ only
// by the type's name are written once and instantiated per type.
#ifndef CORVANE_ACC_DOCS_H
#define CORVANE_ACC_DOCS_H

#include <Python.h>

// The text signature CPython reads for inspect.signature() and help(); it is
// stripped from __doc__, which keeps exactly the text that follows.
#define ACC_SIGNATURE(SIG) SIG "\n--\n\n"

PyDoc_STRVAR(AccQ15__doc__,
ACC_SIGNATURE("AccQ15(acc=0)")
"Allocate and initialise an AccQ15 accumulator.\n"
"\n"
"A Q15 running sum with a signed 64-bit register that wraps in two's\n"
"complement and never saturates.\n"
"\n"
"Parameters\n"
"----------\n"
"acc : int, default 0\n"
"    Initial register value, a signed 64-bit integer.\n"
"\n"
"Returns\n"
"-------\n"
"AccQ15\n"
"    A live accumulator owning its native record.\n"
"\n"
"Examples\n"
"--------\n"
">>> from corvane.arith import AccQ15\n"
">>> AccQ15(100).get_acc()\n"
"100\n"
">>> AccQ15().get_acc()\n"
"0\n");

PyDoc_STRVAR(AccQ8__doc__,
ACC_SIGNATURE("AccQ8(acc=0)")
"Allocate and initialise an AccQ8 accumulator.\n"
"\n"
"A Q8 running sum with a signed 32-bit register that wraps in two's\n"
"complement and never saturates.\n"
"\n"
"Parameters\n"
"----------\n"
"acc : int, default 0\n"
"    Initial register value; its low 32 bits are kept as a signed value.\n"
"\n"
"Returns\n"
"-------\n"
"AccQ8\n"
"    A live accumulator owning its native record.\n"
"\n"
"Examples\n"
"--------\n"
">>> from corvane.arith import AccQ8\n"
">>> AccQ8(10).get_acc()\n"
"10\n"
">>> AccQ8(2**32 + 5).get_acc()\n"
"5\n");

#define ACC_EXAMPLE_HEAD(TYPE) \
    "Examples\n"               \
    "--------\n"               \
    ">>> from corvane.arith import " TYPE "\n"

#define ACC_RESET_DOC(TYPE)                                             \
    "Reset the accumulator to zero, mirroring the post-create state.\n" \
    "\n"                                                                \
    "Returns\n"                                                         \
    "-------\n"                                                         \
    "None\n"                                                            \
    "    The register is zero afterwards, whatever the initial value.\n" \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                                         \
    ">>> a = " TYPE "(7)\n"                                             \
    ">>> a.reset()\n"                                                   \
    ">>> a.get()\n"                                                     \
    "0\n"

PyDoc_STRVAR(AccQ15_step__doc__,
ACC_SIGNATURE("step($self, x, /)")
"step(x) -> None\n"
"Accumulate one Q15 sample into the running total.\n"
"\n"
"Parameters\n"
"----------\n"
"x : int\n"
"    A 32-bit integer; its low 16 bits are added as a signed Q15 sample.\n"
"\n"
"Returns\n"
"-------\n"
"None\n"
"    The register grows by the sample and wraps at 64 bits.\n"
"\n"
ACC_EXAMPLE_HEAD("AccQ15")
">>> a = AccQ15()\n"
">>> a.step(100); a.step(200)\n"
">>> a.get()\n"
"300\n"
">>> a.step(40000)\n"
">>> a.get()\n"
"-25236\n");

PyDoc_STRVAR(AccQ8_step__doc__,
ACC_SIGNATURE("step($self, x, /)")
"step(x) -> None\n"
"Accumulate one Q8 sample into the running total.\n"
"\n"
"Parameters\n"
"----------\n"
"x : int\n"
"    A 32-bit integer; its low 8 bits are added as a signed Q8 sample.\n"
"\n"
"Returns\n"
"-------\n"
"None\n"
"    The register grows by the sample and wraps at 32 bits.\n"
"\n"
ACC_EXAMPLE_HEAD("AccQ8")
">>> a = AccQ8()\n"
">>> a.step(10); a.step(20)\n"
">>> a.get()\n"
"30\n"
">>> a.step(200)\n"
">>> a.get()\n"
"-26\n");

PyDoc_STRVAR(AccQ15_steps__doc__,
ACC_SIGNATURE("steps($self, x, /)")
"steps(x) -> None\n"
"Accumulate a contiguous block of Q15 samples.\n"
"\n"
"Equivalent to calling step() n times but faster for large arrays because the\n"
"loop can be auto-vectorised by the compiler.\n"
"\n"
"Parameters\n"
"----------\n"
"x : NDArray[np.int16]\n"
"    Samples, or anything NumPy converts safely to int16; read flat in C order.\n"
"\n"
"Returns\n"
"-------\n"
"None\n"
"    The register grows by the sum of the samples.\n"
"\n"
ACC_EXAMPLE_HEAD("AccQ15")
">>> import numpy as np\n"
">>> a = AccQ15()\n"
">>> a.steps(np.array([1, 2, 3, 4, 5], dtype=np.int16))\n"
">>> a.get()\n"
"15\n");

PyDoc_STRVAR(AccQ8_steps__doc__,
ACC_SIGNATURE("steps($self, x, /)")
"steps(x) -> None\n"
"Accumulate a contiguous block of Q8 samples.\n"
"\n"
"Equivalent to calling step() n times but faster for large arrays because the\n"
"loop can be auto-vectorised by the compiler.\n"
"\n"
"Parameters\n"
"----------\n"
"x : NDArray[np.int8]\n"
"    Samples, or anything NumPy converts safely to int8; read flat in C order.\n"
"\n"
"Returns\n"
"-------\n"
"None\n"
"    The register grows by the sum of the samples, wrapping at 32 bits.\n"
"\n"
ACC_EXAMPLE_HEAD("AccQ8")
">>> import numpy as np\n"
">>> a = AccQ8()\n"
">>> a.steps(np.array([1, 2, 3, 4, 5], dtype=np.int8))\n"
">>> a.get()\n"
"15\n");

#define ACC_GET_ACC_DOC(TYPE)                                      \
    "Read the current accumulator value without modifying it.\n" \
    "\n"                                                           \
    "Returns\n"                                                    \
    "-------\n"                                                    \
    "int\n"                                                        \
    "    The register as a signed integer.\n"                      \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                                    \
    ">>> " TYPE "(100).get_acc()\n"                                \
    "100\n"

#define ACC_SET_ACC_DOC(TYPE, WIDTH)                       \
    "Overwrite the accumulator with a new value.\n"       \
    "\n"                                                   \
    "Parameters\n"                                         \
    "----------\n"                                         \
    "value : int\n"                                        \
    "    The new register value; " WIDTH "\n"              \
    "\n"                                                   \
    "Returns\n"                                            \
    "-------\n"                                            \
    "None\n"                                               \
    "    The previous value is discarded.\n"               \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                            \
    ">>> a = " TYPE "(5)\n"                                \
    ">>> a.set_acc(-42)\n"                                 \
    ">>> a.get()\n"                                        \
    "-42\n"

#define ACC_GET_DOC(TYPE)                                       \
    "get() -> int\n"                                            \
    "Return the current accumulated value without resetting.\n" \
    "\n"                                                        \
    "Returns\n"                                                 \
    "-------\n"                                                 \
    "int\n"                                                     \
    "    The register as a signed integer, same as get_acc().\n" \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                                 \
    ">>> " TYPE "(acc=5).get()\n"                               \
    "5\n"

#define ACC_DUMP_DOC(TYPE)                                \
    "dump() -> int\n"                                     \
    "Return the accumulated value and reset to zero.\n"   \
    "\n"                                                  \
    "Returns\n"                                           \
    "-------\n"                                           \
    "int\n"                                               \
    "    The register as it was before the reset.\n"      \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                           \
    ">>> a = " TYPE "(15)\n"                              \
    ">>> a.dump()\n"                                      \
    "15\n"                                                \
    ">>> a.get()\n"                                       \
    "0\n"

PyDoc_STRVAR(AccQ15_madd__doc__,
ACC_SIGNATURE("madd($self, a, b, /)")
"madd(a, b) -> None\n"
"Multiply-accumulate: acc += sum(a[i] * b[i]) for i in [0, len(a)).\n"
"\n"
"Only min(len(a), len(b)) pairs are used. The raw Q30 products are added with no\n"
"shift, rounding or saturation.\n"
"\n"
"Parameters\n"
"----------\n"
"a : NDArray[np.int16]\n"
"    First block of Q15 samples.\n"
"b : NDArray[np.int16]\n"
"    Second block of Q15 samples.\n"
"\n"
"Returns\n"
"-------\n"
"None\n"
"    The register grows by the inner product of a and b.\n"
"\n"
ACC_EXAMPLE_HEAD("AccQ15")
">>> import numpy as np\n"
">>> acc = AccQ15()\n"
">>> acc.madd(np.array([100, 200, 300], dtype=np.int16),\n"
"...          np.array([10, 20, 30], dtype=np.int16))\n"
">>> acc.get()\n"
"14000\n");

PyDoc_STRVAR(AccQ8_madd__doc__,
ACC_SIGNATURE("madd($self, a, b, /)")
"madd(a, b) -> None\n"
"Multiply-accumulate: acc += sum(a[i] * b[i]) for i in [0, len(a)).\n"
"\n"
"Only min(len(a), len(b)) pairs are used. The raw Q14 products are added with no\n"
"shift, rounding or saturation; the register wraps at 32 bits.\n"
"\n"
"Parameters\n"
"----------\n"
"a : NDArray[np.int8]\n"
"    First block of Q8 samples.\n"
"b : NDArray[np.int8]\n"
"    Second block of Q8 samples.\n"
"\n"
"Returns\n"
"-------\n"
"None\n"
"    The register grows by the inner product of a and b.\n"
"\n"
ACC_EXAMPLE_HEAD("AccQ8")
">>> import numpy as np\n"
">>> acc = AccQ8()\n"
">>> acc.madd(np.array([10, 20, 30], dtype=np.int8),\n"
"...          np.array([1, 2, 3], dtype=np.int8))\n"
">>> acc.get()\n"
"140\n");

// One text for both types.
PyDoc_STRVAR(acc_destroy__doc__,
ACC_SIGNATURE("destroy($self, /)")
"Release the underlying C resources immediately.\n"
"\n"
"Every later call except destroy(), __enter__() and __exit__() raises\n"
"RuntimeError. Calling destroy() again does nothing.\n"
"\n"
"Returns\n"
"-------\n"
"None\n"
"    The accumulator is released.\n"
"\n"
ACC_EXAMPLE_HEAD("AccQ15")
">>> a = AccQ15(1)\n"
">>> a.destroy()\n"
">>> a.destroy()\n"
">>> a.get()\n"
"Traceback (most recent call last):\n"
"    ...\n"
"RuntimeError: destroyed\n");

// One text for both types.
PyDoc_STRVAR(acc_reduce__doc__,
ACC_SIGNATURE("__reduce__($self, /)")
"Return what pickle, copy and deepcopy need to rebuild this accumulator.\n"
"\n"
"The register travels as the get_state() blob and is restored through\n"
"corvane._pickle.restore_accumulator.\n"
"\n"
"Raises\n"
"------\n"
"RuntimeError\n"
"    If the object has already been destroyed.\n");

#define ACC_ENTER_DOC(TYPE)                               \
    "Enter a context manager, returning this object.\n"   \
    "\n"                                                  \
    "Returns\n"                                           \
    "-------\n"                                           \
    TYPE "\n"                                             \
    "    This accumulator itself.\n"                      \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                           \
    ">>> with " TYPE "(1) as a:\n"                        \
    "...     a.step(2)\n"                                 \
    "...     a.get()\n"                                   \
    "3\n"

#define ACC_EXIT_DOC(TYPE)                                          \
    "Exit a context manager, releasing the " TYPE ".\n"             \
    "\n"                                                            \
    "Any arguments are accepted and ignored, so an exception raised\n" \
    "in the with body propagates.\n"                                \
    "\n"                                                            \
    "Returns\n"                                                     \
    "-------\n"                                                     \
    "None\n"                                                        \
    "    The accumulator is released, as by destroy().\n"           \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                                     \
    ">>> with " TYPE "() as a:\n"                                   \
    "...     a.step(1)\n"                                           \
    ">>> a.get()\n"                                                 \
    "Traceback (most recent call last):\n"                          \
    "    ...\n"                                                     \
    "RuntimeError: destroyed\n"

#define ACC_STATE_BYTES_DOC(TYPE, SIZE)                   \
    "Size in bytes of this object's serialized state.\n"  \
    "\n"                                                  \
    "The blob is opaque and always `state_bytes()` long.\n" \
    "\n"                                                  \
    "Returns\n"                                           \
    "-------\n"                                           \
    "int\n"                                               \
    "    The length of every get_state() blob.\n"         \
    "\n"                                                  \
    "Raises\n"                                            \
    "------\n"                                            \
    "RuntimeError\n"                                      \
    "    If the object has already been destroyed.\n"     \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                           \
    ">>> " TYPE "().state_bytes()\n"                      \
    SIZE "\n"

#define ACC_GET_STATE_DOC(TYPE)                                                \
    "Serialize this object's mutable state to bytes.\n"                        \
    "\n"                                                                       \
    "Only the state that evolves as the object runs (the register) is\n"       \
    "captured, not the construction parameters. The blob is opaque and always\n" \
    "`state_bytes()` long.\n"                                                  \
    "\n"                                                                       \
    "Returns\n"                                                                \
    "-------\n"                                                                \
    "bytes\n"                                                                  \
    "    A snapshot to pass to set_state() of any " TYPE ".\n"                 \
    "\n"                                                                       \
    "Raises\n"                                                                 \
    "------\n"                                                                 \
    "RuntimeError\n"                                                           \
    "    If the object has already been destroyed.\n"                          \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                                                \
    ">>> a = " TYPE "(100)\n"                                                  \
    ">>> len(a.get_state()) == a.state_bytes()\n"                              \
    "True\n"

#define ACC_SET_STATE_DOC(TYPE)                                                \
    "Restore mutable state from a `get_state()` blob.\n"                       \
    "\n"                                                                       \
    "Only the state that evolves as the object runs (the register) is\n"       \
    "restored, not the construction parameters. The blob is opaque and always\n" \
    "`state_bytes()` long.\n"                                                  \
    "\n"                                                                       \
    "Parameters\n"                                                             \
    "----------\n"                                                             \
    "blob : bytes\n"                                                           \
    "    A blob written by get_state() of an " TYPE ".\n"                      \
    "\n"                                                                       \
    "Returns\n"                                                                \
    "-------\n"                                                                \
    "None\n"                                                                   \
    "    The register holds the snapshot's value.\n"                           \
    "\n"                                                                       \
    "Raises\n"                                                                 \
    "------\n"                                                                 \
    "TypeError\n"                                                              \
    "    If blob is not bytes.\n"                                              \
    "ValueError\n"                                                             \
    "    If its length differs from state_bytes() or the blob is rejected.\n"  \
    "RuntimeError\n"                                                           \
    "    If the object has already been destroyed.\n"                          \
    "\n" ACC_EXAMPLE_HEAD(TYPE)                                                \
    ">>> a = " TYPE "()\n"                                                     \
    ">>> a.step(100)\n"                                                        \
    ">>> snapshot = a.get_state()\n"                                           \
    ">>> b = " TYPE "()\n"                                                     \
    ">>> b.set_state(snapshot)\n"                                              \
    ">>> b.get()\n"                                                            \
    "100\n"

PyDoc_STRVAR(AccQ15_reset__doc__,
             ACC_SIGNATURE("reset($self, /)") ACC_RESET_DOC("AccQ15"));
PyDoc_STRVAR(AccQ15_get_acc__doc__,
             ACC_SIGNATURE("get_acc($self, /)") ACC_GET_ACC_DOC("AccQ15"));
PyDoc_STRVAR(AccQ15_set_acc__doc__,
             ACC_SIGNATURE("set_acc($self, value, /)")
             ACC_SET_ACC_DOC("AccQ15", "a signed 64-bit integer."));
PyDoc_STRVAR(AccQ15_get__doc__,
             ACC_SIGNATURE("get($self, /)") ACC_GET_DOC("AccQ15"));
PyDoc_STRVAR(AccQ15_dump__doc__,
             ACC_SIGNATURE("dump($self, /)") ACC_DUMP_DOC("AccQ15"));
PyDoc_STRVAR(AccQ15_enter__doc__,
             ACC_SIGNATURE("__enter__($self, /)") ACC_ENTER_DOC("AccQ15"));
PyDoc_STRVAR(AccQ15_exit__doc__,
             ACC_SIGNATURE("__exit__($self, /, *args)") ACC_EXIT_DOC("AccQ15"));
PyDoc_STRVAR(AccQ15_state_bytes__doc__,
             ACC_SIGNATURE("state_bytes($self, /)") ACC_STATE_BYTES_DOC("AccQ15", "24"));
PyDoc_STRVAR(AccQ15_get_state__doc__,
             ACC_SIGNATURE("get_state($self, /)") ACC_GET_STATE_DOC("AccQ15"));
PyDoc_STRVAR(AccQ15_set_state__doc__,
             ACC_SIGNATURE("set_state($self, blob, /)") ACC_SET_STATE_DOC("AccQ15"));

PyDoc_STRVAR(AccQ8_reset__doc__,
             ACC_SIGNATURE("reset($self, /)") ACC_RESET_DOC("AccQ8"));
PyDoc_STRVAR(AccQ8_get_acc__doc__,
             ACC_SIGNATURE("get_acc($self, /)") ACC_GET_ACC_DOC("AccQ8"));
PyDoc_STRVAR(AccQ8_set_acc__doc__,
             ACC_SIGNATURE("set_acc($self, value, /)")
             ACC_SET_ACC_DOC("AccQ8", "its low 32 bits are kept as a signed value."));
PyDoc_STRVAR(AccQ8_get__doc__,
             ACC_SIGNATURE("get($self, /)") ACC_GET_DOC("AccQ8"));
PyDoc_STRVAR(AccQ8_dump__doc__,
             ACC_SIGNATURE("dump($self, /)") ACC_DUMP_DOC("AccQ8"));
PyDoc_STRVAR(AccQ8_enter__doc__,
             ACC_SIGNATURE("__enter__($self, /)") ACC_ENTER_DOC("AccQ8"));
PyDoc_STRVAR(AccQ8_exit__doc__,
             ACC_SIGNATURE("__exit__($self, /, *args)") ACC_EXIT_DOC("AccQ8"));
PyDoc_STRVAR(AccQ8_state_bytes__doc__,
             ACC_SIGNATURE("state_bytes($self, /)") ACC_STATE_BYTES_DOC("AccQ8", "20"));
PyDoc_STRVAR(AccQ8_get_state__doc__,
             ACC_SIGNATURE("get_state($self, /)") ACC_GET_STATE_DOC("AccQ8"));
PyDoc_STRVAR(AccQ8_set_state__doc__,
             ACC_SIGNATURE("set_state($self, blob, /)") ACC_SET_STATE_DOC("AccQ8"));

#endif  // CORVANE_ACC_DOCS_H
