/*
 * Internal, for tests: one block path of an exported kernel, by name, so that
 * a test can call every path this CPU runs and not only the one the kernel
 * takes. corvane_path("mul_q15", "sse2") returns a pointer to a function with
 * the signature of mul_q15, or NULL when the kernel has no such path in this
 * build or the CPU lacks its instruction set. Path names: "scalar", "sse2",
 * "avx2", "avx512bw", "avx512vnni", "neon".
 */
#ifndef CORVANE_PATH_LOOKUP_H
#define CORVANE_PATH_LOOKUP_H

#include "fixedpoint.h"

#ifdef __cplusplus
extern "C" {
#endif

CORVANE_API const void *corvane_path(const char *kernel, const char *path);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_PATH_LOOKUP_H */
