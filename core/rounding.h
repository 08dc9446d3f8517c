/*
 * corvane rounding and overflow conventions, the modes of every step that
 * brings a wide value back to a sample (narrowing, float quantisation, the
 * outputs of every filter), callable from any native program.
 *
 * For a right shift by s >= 1 of an exact integer x, with q = x / 2^s:
 *   CORVANE_ROUND_NEAREST     floor(q + 1/2): ties towards plus infinity
 *   CORVANE_ROUND_FLOOR       floor(q): the arithmetic right shift
 *   CORVANE_ROUND_CEILING     ceil(q)
 *   CORVANE_ROUND_ZERO        q truncated towards zero
 *   CORVANE_ROUND_HALF_AWAY   nearest, ties away from zero
 *   CORVANE_ROUND_CONVERGENT  nearest, ties to even
 * A count s <= 0 rounds nothing. Overflow is applied after rounding:
 *   CORVANE_OVERFLOW_SATURATE clamps to the sample range,
 *   CORVANE_OVERFLOW_WRAP     keeps the low bits (two's complement).
 * Every result is that of unbounded integers: nothing wraps on the way.
 */
#ifndef CORVANE_ROUNDING_H
#define CORVANE_ROUNDING_H

#include "fixedpoint.h"

#ifdef __cplusplus
extern "C" {
#endif

enum corvane_rounding {
    CORVANE_ROUND_NEAREST = 0,
    CORVANE_ROUND_FLOOR = 1,
    CORVANE_ROUND_CEILING = 2,
    CORVANE_ROUND_ZERO = 3,
    CORVANE_ROUND_HALF_AWAY = 4,
    CORVANE_ROUND_CONVERGENT = 5,
};
#define CORVANE_ROUNDING_COUNT 6

enum corvane_overflow {
    CORVANE_OVERFLOW_SATURATE = 0,
    CORVANE_OVERFLOW_WRAP = 1,
};
#define CORVANE_OVERFLOW_COUNT 2

/* The names callers use for the modes, indexed by their values:
 * "nearest", "floor", "ceiling", "zero", "round", "convergent" and
 * "saturate", "wrap". */
CORVANE_API const char *corvane_rounding_name(int rounding);
CORVANE_API const char *corvane_overflow_name(int overflow);

/* narrow(x[i], s) in the given modes, to Q15 (int16) and Q8 (int8) samples.
 * Every int value of s is accepted; the output must not overlap x. An
 * unknown mode number is the caller's fault, as any invalid argument. */
CORVANE_API void narrow_q15_modes(const int64_t *x, size_t n, int16_t *out, int s, int rounding,
                                  int overflow);
CORVANE_API void narrow_q8_modes(const int64_t *x, size_t n, int8_t *out, int s, int rounding,
                                 int overflow);

/* Floats to Q15 (x * 2^15, int16) and Q7 (x * 2^7, int8) in the given
 * modes, exact for every finite x: the exact product rounded, then the
 * overflow rule (wrap keeps the low bits of the exact rounded integer).
 * NaN gives 0; +-inf saturate, or give 0 under wrap. Each returns how many
 * inputs were invalid (NaN, and +-inf under wrap), so that the caller can
 * raise the invalid floating-point flag. */
CORVANE_API size_t quantize_q15_f64(const double *x, size_t n, int16_t *out, int rounding, int overflow);
CORVANE_API size_t quantize_q15_f32(const float *x, size_t n, int16_t *out, int rounding, int overflow);
CORVANE_API size_t quantize_q8_f64(const double *x, size_t n, int8_t *out, int rounding, int overflow);
CORVANE_API size_t quantize_q8_f32(const float *x, size_t n, int8_t *out, int rounding, int overflow);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_ROUNDING_H */
