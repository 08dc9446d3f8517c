/*
 * Internal, for tests: one block path of an exported kernel, by name, so that
 * a test can call every path this CPU runs and not only the one the kernel
 * takes. corvane_path("mul_q15", "sse2") returns a pointer to a function with
 * the signature of mul_q15, or NULL when the kernel has no such path in this
 * build or the CPU lacks its instruction set. Path names: "scalar", "sse2",
 * "avx2", "avx512bw", "avx512vnni", "neon".
 *
 * "fir_sums" names the sums of the FIR filters, whose paths take the
 * prepared window of the filter driver rather than plain arrays:
 * corvane_fir_q15_on / corvane_fir_q8_on run fir_q15 / fir_q8 (same
 * arguments and result) with the sums on the path given.
 */
#ifndef CORVANE_PATH_LOOKUP_H
#define CORVANE_PATH_LOOKUP_H

#include "fixedpoint.h"

#ifdef __cplusplus
extern "C" {
#endif

CORVANE_API const void *corvane_path(const char *kernel, const char *path);
CORVANE_API int corvane_fir_q15_on(const void *sums_path, const int16_t *x, size_t n, const int16_t *taps,
                                   size_t ntaps, const int16_t *history, int16_t *out, int s);
CORVANE_API int corvane_fir_q8_on(const void *sums_path, const int8_t *x, size_t n, const int8_t *taps,
                                  size_t ntaps, const int8_t *history, int8_t *out, int s);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_PATH_LOOKUP_H */
