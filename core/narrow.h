/*
 * corvane narrowing and float conversion kernels, callable from any native
 * program. A read-only input with its count, then the output, which must
 * not overlap the input (the sample widths differ), then the count s;
 * samples may sit at any address; n == 0 touches nothing.
 */
#ifndef CORVANE_NARROW_H
#define CORVANE_NARROW_H

#include "fixedpoint.h"

#ifdef __cplusplus
extern "C" {
#endif

/* sat(floor((x + 2^(s-1)) / 2^s)) exactly, as with unbounded integers, for
 * s >= 1; sat(x) for s <= 0. Every int value of s is accepted. */
CORVANE_API void narrow_q15(const int64_t *x, size_t n, int16_t *out, int s);
CORVANE_API void narrow_q8(const int64_t *x, size_t n, int8_t *out, int s);

/* sat(floor(x * 2^15 + 1/2)) (2^7 for Q8), exact for every finite x; +-inf
 * saturate; NaN gives 0. Each returns how many NaNs it met, so that the
 * caller can raise the invalid floating-point flag. */
CORVANE_API size_t to_q15_f64(const double *x, size_t n, int16_t *out);
CORVANE_API size_t to_q15_f32(const float *x, size_t n, int16_t *out);
CORVANE_API size_t to_q8_f64(const double *x, size_t n, int8_t *out);
CORVANE_API size_t to_q8_f32(const float *x, size_t n, int8_t *out);

/* y / 2^15 and y / 2^7, exact. */
CORVANE_API void from_q15(const int16_t *y, size_t n, double *out);
CORVANE_API void from_q8(const int8_t *y, size_t n, double *out);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_NARROW_H */
