/*
 * corvane fixed-point kernels: stateless Q15/Q8/int64 arithmetic over raw
 * sample buffers, callable from any native program.
 *
 * Contract shared by every kernel here:
 *  - each input is a read-only pointer followed by its element count; the
 *    output pointer (no count of its own) follows the inputs; a scalar
 *    parameter (the shift count) comes last;
 *  - two-input kernels process n = min(len_a, len_b) elements;
 *  - n == 0 returns at once without touching memory (pointers may be null);
 *  - exactly out[0] .. out[n-1] are written;
 *  - the output may overlap any input at any byte offset: the result is that
 *    of one forward pass, reading element i of each input, then writing out[i];
 *  - samples may sit at any address the platform can load them from;
 *  - nothing is validated and nothing is reported.
 */
#ifndef CORVANE_FIXEDPOINT_H
#define CORVANE_FIXEDPOINT_H

#include <stddef.h>
#include <stdint.h>

#ifndef CORVANE_API
#if defined(__GNUC__)
#define CORVANE_API __attribute__((visibility("default")))
#else
#define CORVANE_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Elementwise: saturating add/sub, round-half-up multiply with saturation. */
CORVANE_API void add_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
CORVANE_API void sub_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
CORVANE_API void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
CORVANE_API void add_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);
CORVANE_API void sub_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);
CORVANE_API void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);

/* Inner products: raw Q30 sum in 64 bits; raw Q14 sum wrapping at 32 bits. */
CORVANE_API int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b);
CORVANE_API int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b);

/* Shifts by s: s <= 0 copies; left shifts of Q15/Q8 saturate, shl_i64 wraps
 * (s >= 63 gives 0); right shifts round half up (s past the sample width
 * gives 0 or -1 by sign). Every int value of s is accepted. */
CORVANE_API void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s);
CORVANE_API void shr_q15(const int16_t *a, size_t len_a, int16_t *out, int s);
CORVANE_API void shl_q8(const int8_t *a, size_t len_a, int8_t *out, int s);
CORVANE_API void shr_q8(const int8_t *a, size_t len_a, int8_t *out, int s);
CORVANE_API void shl_i64(const int64_t *a, size_t len_a, int64_t *out, int s);
CORVANE_API void shr_i64(const int64_t *a, size_t len_a, int64_t *out, int s);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_FIXEDPOINT_H */
