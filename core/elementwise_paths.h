// Internal: the product kernels with their block path fixed instead of chosen
// by the CPU, so that tests reach the SSE2 path on machines that would take
// AVX2. Same arguments and results as the exported mul_q15 / mul_q8; the
// _avx2 forms need a CPU with AVX2.
#ifndef CORVANE_ELEMENTWISE_PATHS_H
#define CORVANE_ELEMENTWISE_PATHS_H

#include <cstddef>
#include <cstdint>

namespace corvane::paths {

void mul_q15_sse2(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
void mul_q15_avx2(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
void mul_q8_sse2(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);
void mul_q8_avx2(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);

}  // namespace corvane::paths

#endif  // CORVANE_ELEMENTWISE_PATHS_H
