// 128-bit NEON building blocks shared by the aarch64 block paths. NEON is part
// of the aarch64 baseline, so nothing here needs a run-time check or flags.
//
// Every access goes through byte loads and stores: a sample buffer may start
// at any byte, and a typed int16_t or int64_t pointer that is not aligned to
// its type would be undefined behaviour even though the instruction accepts it.
#ifndef CORVANE_SIMD_NEON_H
#define CORVANE_SIMD_NEON_H

#include <arm_neon.h>

#include <cstddef>
#include <cstdint>

#include "sample_rules.h"

namespace corvane::neon {

inline constexpr size_t kVectorBytes = 16;
// Four vectors of each operand per step keep enough independent work in
// flight to hide the load latency; the output must then sit a whole block
// past each input (or exactly on it).
inline constexpr size_t kWideVectors = 4;
inline constexpr size_t kWideBlockBytes = kWideVectors * kVectorBytes;

template <typename T>
struct Vec;

template <>
struct Vec<int8_t> {
    using type = int8x16_t;
    static type load(const void *p) { return vreinterpretq_s8_u8(vld1q_u8(static_cast<const uint8_t *>(p))); }
    static void store(void *p, type v) { vst1q_u8(static_cast<uint8_t *>(p), vreinterpretq_u8_s8(v)); }
};

template <>
struct Vec<int16_t> {
    using type = int16x8_t;
    static type load(const void *p) { return vreinterpretq_s16_u8(vld1q_u8(static_cast<const uint8_t *>(p))); }
    static void store(void *p, type v) { vst1q_u8(static_cast<uint8_t *>(p), vreinterpretq_u8_s16(v)); }
};

template <>
struct Vec<int64_t> {
    using type = int64x2_t;
    static type load(const void *p) { return vreinterpretq_s64_u8(vld1q_u8(static_cast<const uint8_t *>(p))); }
    static void store(void *p, type v) { vst1q_u8(static_cast<uint8_t *>(p), vreinterpretq_u8_s64(v)); }
};

template <typename T>
using vec_t = typename Vec<T>::type;

// A lane reads only its own samples, so a block that loads everything before
// it stores reproduces the forward pass when the output sits exactly on an
// input, or at least one block past it (or anywhere below it: the unsigned
// distance is then huge). Closer outputs go element by element.
inline bool block_fits(const void *in, const void *out, size_t block_bytes)
{
    const uint64_t distance = byte_distance(in, out);
    return distance == 0 || distance >= block_bytes;
}

// Whole blocks of kVectors vectors over the first n samples; returns how many
// samples they covered.
template <size_t kVectors, typename T, typename Op>
inline size_t binary_blocks(const T *a, const T *b, T *out, size_t n, Op op)
{
    constexpr size_t kStep = kVectors * kVectorBytes / sizeof(T);
    constexpr size_t kLanes = kVectorBytes / sizeof(T);
    size_t done = 0;
    for (; n - done >= kStep; done += kStep) {
        vec_t<T> x[kVectors], y[kVectors];
        for (size_t k = 0; k < kVectors; ++k) {
            x[k] = Vec<T>::load(a + done + k * kLanes);
            y[k] = Vec<T>::load(b + done + k * kLanes);
        }
        for (size_t k = 0; k < kVectors; ++k) {
            Vec<T>::store(out + done + k * kLanes, op(x[k], y[k]));
        }
    }
    return done;
}

template <size_t kVectors, typename T, typename Op>
inline size_t unary_blocks(const T *a, T *out, size_t n, Op op)
{
    constexpr size_t kStep = kVectors * kVectorBytes / sizeof(T);
    constexpr size_t kLanes = kVectorBytes / sizeof(T);
    size_t done = 0;
    for (; n - done >= kStep; done += kStep) {
        vec_t<T> x[kVectors];
        for (size_t k = 0; k < kVectors; ++k) {
            x[k] = Vec<T>::load(a + done + k * kLanes);
        }
        for (size_t k = 0; k < kVectors; ++k) {
            Vec<T>::store(out + done + k * kLanes, op(x[k]));
        }
    }
    return done;
}

// Wide blocks where both inputs allow them, then single vectors where they
// allow those, then the scalar rule: the forward pass under any overlap.
template <typename T, typename Lanes, typename Rule>
inline void binary_pass(const T *a, const T *b, T *out, size_t n, Lanes lanes, Rule rule)
{
    size_t done = 0;
    if (block_fits(a, out, kWideBlockBytes) && block_fits(b, out, kWideBlockBytes)) {
        done = binary_blocks<kWideVectors>(a, b, out, n, lanes);
    }
    if (block_fits(a, out, kVectorBytes) && block_fits(b, out, kVectorBytes)) {
        done += binary_blocks<1>(a + done, b + done, out + done, n - done, lanes);
    }
    forward_binary(a, b, out, done, n, rule);
}

template <typename T, typename Lanes, typename Rule>
inline void unary_pass(const T *a, T *out, size_t n, Lanes lanes, Rule rule)
{
    size_t done = 0;
    if (block_fits(a, out, kWideBlockBytes)) {
        done = unary_blocks<kWideVectors>(a, out, n, lanes);
    }
    if (block_fits(a, out, kVectorBytes)) {
        done += unary_blocks<1>(a + done, out + done, n - done, lanes);
    }
    forward_unary(a, out, done, n, rule);
}

}  // namespace corvane::neon

#endif  // CORVANE_SIMD_NEON_H
