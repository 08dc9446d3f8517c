// The element rules, written once. Block paths must agree with these lane for
// lane; the remainder loops and the element-by-element fallbacks call them.
#ifndef CORVANE_SAMPLE_RULES_H
#define CORVANE_SAMPLE_RULES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace corvane {

inline constexpr int32_t kQ15Max = 32767;
inline constexpr int32_t kQ15Min = -32768;
inline constexpr int32_t kQ8Max = 127;
inline constexpr int32_t kQ8Min = -128;
// Half an output step of the multiplies: Q30 -> Q15 and Q14 -> Q7 round half up.
inline constexpr int32_t kQ15Half = 1 << 14;
inline constexpr int32_t kQ8Half = 1 << 6;

inline int16_t sat16(int32_t x)
{
    return static_cast<int16_t>(x > kQ15Max ? kQ15Max : (x < kQ15Min ? kQ15Min : x));
}

inline int8_t sat8(int32_t x)
{
    return static_cast<int8_t>(x > kQ8Max ? kQ8Max : (x < kQ8Min ? kQ8Min : x));
}

inline int16_t add_q15_rule(int16_t a, int16_t b) { return sat16(int32_t{a} + b); }
inline int16_t sub_q15_rule(int16_t a, int16_t b) { return sat16(int32_t{a} - b); }
// a*b + half fits int32 for every pair; only -32768 * -32768 reaches the clamp.
inline int16_t mul_q15_rule(int16_t a, int16_t b)
{
    return sat16((int32_t{a} * b + kQ15Half) >> 15);
}

inline int8_t add_q8_rule(int8_t a, int8_t b) { return sat8(int32_t{a} + b); }
inline int8_t sub_q8_rule(int8_t a, int8_t b) { return sat8(int32_t{a} - b); }
inline int8_t mul_q8_rule(int8_t a, int8_t b) { return sat8((int32_t{a} * b + kQ8Half) >> 7); }

// Two-input kernels process the shorter input; unequal counts are no error.
inline size_t processed(size_t len_a, size_t len_b) { return len_a < len_b ? len_a : len_b; }

// Samples may sit at any address (a NumPy view of a byte buffer at an odd
// offset), so every scalar access goes through memcpy, never a typed deref.
// memcpy gets untyped pointers: some compilers' alignment checks take a
// typed argument as a promise that it is aligned.
template <typename T>
inline T load(const T *p)
{
    T v;
    std::memcpy(&v, static_cast<const void *>(p), sizeof v);
    return v;
}

template <typename T>
inline void store(T *p, T v)
{
    std::memcpy(static_cast<void *>(p), &v, sizeof v);
}

// The forward pass that defines every elementwise kernel under any overlap:
// read element i of each input, then write out[i], for i ascending.
template <typename T, typename Rule>
inline void forward_binary(const T *a, const T *b, T *out, size_t begin, size_t n, Rule rule)
{
    for (size_t i = begin; i < n; ++i) {
        T x = load(a + i);
        T y = load(b + i);
        store(out + i, rule(x, y));
    }
}

template <typename T, typename Rule>
inline void forward_unary(const T *a, T *out, size_t begin, size_t n, Rule rule)
{
    for (size_t i = begin; i < n; ++i) {
        store(out + i, rule(load(a + i)));
    }
}

// Byte distance from src to dst, modulo 2^64: an output that starts below an
// input counts as far away, one at or just above it as near.
inline uint64_t byte_distance(const void *src, const void *dst)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(dst)) -
           static_cast<uint64_t>(reinterpret_cast<uintptr_t>(src));
}

// Samples from p to the next multiple of `align` bytes, or 0 when p is not a
// multiple of the sample size (no whole number of samples reaches it then).
// Wide paths run this many first so that their blocks start aligned: a load
// or store that straddles two cache lines costs about two.
template <typename T>
inline size_t samples_to_alignment(const T *p, size_t align)
{
    const size_t bytes = (align - reinterpret_cast<uintptr_t>(p) % align) % align;
    return bytes % sizeof(T) == 0 ? bytes / sizeof(T) : 0;
}

}  // namespace corvane

#endif  // CORVANE_SAMPLE_RULES_H
