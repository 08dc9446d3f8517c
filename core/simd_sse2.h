// 128-bit SSE2 building blocks shared by the kernels' block paths. SSE2 is the
// x86-64 baseline, so nothing here needs a run-time CPU check or extra flags.
//
// Every access is unaligned: a sample buffer may start at any byte (a NumPy
// view of a byte buffer at an odd offset), and the unaligned forms cost
// nothing extra on aligned data on any CPU since Nehalem.
#ifndef CORVANE_SIMD_SSE2_H
#define CORVANE_SIMD_SSE2_H

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "sample_rules.h"

namespace corvane::sse2 {

inline constexpr size_t kVectorBytes = 16;
inline constexpr size_t kHalfBytes = 8;

inline __m128i load(const void *p) { return _mm_loadu_si128(static_cast<const __m128i *>(p)); }
inline void store(void *p, __m128i v) { _mm_storeu_si128(static_cast<__m128i *>(p), v); }

// Low 8 bytes only (upper lanes read as zero): a half-vector tail block.
inline __m128i load_half(const void *p) { return _mm_loadl_epi64(static_cast<const __m128i *>(p)); }
inline void store_half(void *p, __m128i v) { _mm_storel_epi64(static_cast<__m128i *>(p), v); }

// A block that reads all of its inputs before writing reproduces the forward
// pass exactly when the output starts at least one block past every input
// (or anywhere below it: the unsigned difference is then huge). Closer
// outputs must go element by element.
inline bool far_enough(const void *in, const void *out, uint64_t block_bytes)
{
    return byte_distance(in, out) >= block_bytes;
}

// Runs whole blocks of kVectors vectors of each operand over the first
// `bytes` bytes (rounded down to whole blocks) and returns how many bytes it
// covered. Each block loads everything before it stores anything, which is
// what lets a caller's distance test admit outputs that overlap the inputs.
template <size_t kVectors, typename Op>
inline size_t binary_blocks(const void *a, const void *b, void *out, size_t bytes, Op op)
{
    constexpr size_t kBlock = kVectors * kVectorBytes;
    const auto *pa = static_cast<const unsigned char *>(a);
    const auto *pb = static_cast<const unsigned char *>(b);
    auto *po = static_cast<unsigned char *>(out);
    size_t done = 0;
    for (; bytes - done >= kBlock; done += kBlock) {
        __m128i x[kVectors], y[kVectors];
        for (size_t k = 0; k < kVectors; ++k) {
            x[k] = load(pa + done + k * kVectorBytes);
            y[k] = load(pb + done + k * kVectorBytes);
        }
        for (size_t k = 0; k < kVectors; ++k) {
            store(po + done + k * kVectorBytes, op(x[k], y[k]));
        }
    }
    return done;
}

// Blocks of half a vector (8 bytes), for the stretch after the last whole
// block; same contract as binary_blocks.
template <typename Op>
inline size_t binary_half_blocks(const void *a, const void *b, void *out, size_t bytes, Op op)
{
    const auto *pa = static_cast<const unsigned char *>(a);
    const auto *pb = static_cast<const unsigned char *>(b);
    auto *po = static_cast<unsigned char *>(out);
    size_t done = 0;
    for (; bytes - done >= kHalfBytes; done += kHalfBytes) {
        __m128i x = load_half(pa + done);
        __m128i y = load_half(pb + done);
        store_half(po + done, op(x, y));
    }
    return done;
}

template <size_t kVectors, typename Op>
inline size_t unary_blocks(const void *a, void *out, size_t bytes, Op op)
{
    constexpr size_t kBlock = kVectors * kVectorBytes;
    const auto *pa = static_cast<const unsigned char *>(a);
    auto *po = static_cast<unsigned char *>(out);
    size_t done = 0;
    for (; bytes - done >= kBlock; done += kBlock) {
        __m128i x[kVectors];
        for (size_t k = 0; k < kVectors; ++k) {
            x[k] = load(pa + done + k * kVectorBytes);
        }
        for (size_t k = 0; k < kVectors; ++k) {
            store(po + done + k * kVectorBytes, op(x[k]));
        }
    }
    return done;
}

}  // namespace corvane::sse2

#endif  // CORVANE_SIMD_SSE2_H
