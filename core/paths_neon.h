// Internal: the aarch64 NEON forms of the kernels. Same arguments, results and
// overlap contract as the exported kernels of fixedpoint.h; compiled only for
// aarch64, where NEON is baseline and needs no run-time check.
#ifndef CORVANE_PATHS_NEON_H
#define CORVANE_PATHS_NEON_H

#include <cstddef>
#include <cstdint>

namespace corvane::paths {

void add_q15_neon(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
void sub_q15_neon(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
void mul_q15_neon(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
void add_q8_neon(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);
void sub_q8_neon(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);
void mul_q8_neon(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);

int64_t dot_q15_neon(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b);
int32_t dot_q8_neon(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b);

void shl_q15_neon(const int16_t *a, size_t len_a, int16_t *out, int s);
void shr_q15_neon(const int16_t *a, size_t len_a, int16_t *out, int s);
void shl_q8_neon(const int8_t *a, size_t len_a, int8_t *out, int s);
void shr_q8_neon(const int8_t *a, size_t len_a, int8_t *out, int s);
void shl_i64_neon(const int64_t *a, size_t len_a, int64_t *out, int s);
void shr_i64_neon(const int64_t *a, size_t len_a, int64_t *out, int s);

// The accumulators' block sums: sum of sign-extended samples, wrapping at 64
// bits (Q15) and 32 bits (Q8).
int64_t sum_q15_neon(const int16_t *a, size_t n);
int32_t sum_q8_neon(const int8_t *a, size_t n);

}  // namespace corvane::paths

#endif  // CORVANE_PATHS_NEON_H
