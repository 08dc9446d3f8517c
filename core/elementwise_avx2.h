// Internal: AVX2 block loops of the products, for CPUs that have AVX2. Only
// the functions behind this header are compiled for AVX2, and only they may
// be called after a run-time check; everything else in the core stays on the
// SSE2 baseline so that the library loads and runs on any x86-64.
#ifndef CORVANE_ELEMENTWISE_AVX2_H
#define CORVANE_ELEMENTWISE_AVX2_H

#include <cstddef>
#include <cstdint>

namespace corvane::avx2 {

// Bytes of each operand per block: the output must start at least this far
// past each input (unsigned distance) for the blocks to give the forward pass.
inline constexpr size_t kMulQ15BlockBytes = 64;
inline constexpr size_t kMulQ8BlockBytes = 32;

// Whole blocks over the first n samples; returns how many samples they
// covered. Each block loads all of its inputs before it stores.
size_t mul_q15_blocks(const int16_t *a, const int16_t *b, int16_t *out, size_t n);
size_t mul_q8_blocks(const int8_t *a, const int8_t *b, int8_t *out, size_t n);

}  // namespace corvane::avx2

#endif  // CORVANE_ELEMENTWISE_AVX2_H
