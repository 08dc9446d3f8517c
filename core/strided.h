// Loops over samples at any byte stride: negative, zero, not a multiple of the
// sample size, at any address. These are the layouts a NumPy ufunc loop may
// receive that the contiguous kernels of fixedpoint.h do not take; every
// result comes from the same scalar rules or the same kernels.
#ifndef CORVANE_STRIDED_H
#define CORVANE_STRIDED_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fixedpoint.h"

namespace corvane {

template <typename T>
inline T load_at(const char *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void store_at(char *p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

// out = rule(a, b) element by element, one forward pass.
template <typename T, typename Rule>
inline void strided_binary(const char *a, ptrdiff_t step_a, const char *b, ptrdiff_t step_b,
                           char *out, ptrdiff_t step_out, size_t n, Rule rule)
{
    for (size_t i = 0; i < n; ++i, a += step_a, b += step_b, out += step_out) {
        const T x = load_at<T>(a);
        const T y = load_at<T>(b);
        store_at<T>(out, rule(x, y));
    }
}

// out = rule(a, count) with a 32-bit count per sample.
template <typename T, typename Rule>
inline void strided_shift(const char *a, ptrdiff_t step_a, const char *count, ptrdiff_t step_count,
                          char *out, ptrdiff_t step_out, size_t n, Rule rule)
{
    for (size_t i = 0; i < n; ++i, a += step_a, count += step_count, out += step_out) {
        const T x = load_at<T>(a);
        const int32_t s = load_at<int32_t>(count);
        store_at<T>(out, rule(x, s));
    }
}

// Samples gathered per kernel call by the strided inner products: a few
// hundred keep both buffers in L1 and the call overhead small.
inline constexpr size_t kGatherSamples = 512;

template <typename T>
inline void gather(const char *src, ptrdiff_t step, size_t n, T *dst)
{
    for (size_t i = 0; i < n; ++i, src += step) {
        dst[i] = load_at<T>(src);
    }
}

// The inner-product kernels wrap modulo 2^64 (Q15) and 2^32 (Q8), so the
// sums of consecutive chunks, added with the same wrap, give the sum of the
// whole. U is the unsigned type of the result, where that addition is defined.
template <typename T, typename R, typename U, R (*Kernel)(const T *, size_t, const T *, size_t)>
inline R strided_dot(const char *a, ptrdiff_t step_a, const char *b, ptrdiff_t step_b, size_t n)
{
    T xa[kGatherSamples];
    T xb[kGatherSamples];
    U sum = 0;
    while (n > 0) {
        const size_t m = n < kGatherSamples ? n : kGatherSamples;
        gather(a, step_a, m, xa);
        gather(b, step_b, m, xb);
        sum += static_cast<U>(Kernel(xa, m, xb, m));
        a += static_cast<ptrdiff_t>(m) * step_a;
        b += static_cast<ptrdiff_t>(m) * step_b;
        n -= m;
    }
    return static_cast<R>(sum);
}

inline int64_t strided_dot_q15(const char *a, ptrdiff_t step_a, const char *b, ptrdiff_t step_b, size_t n)
{
    return strided_dot<int16_t, int64_t, uint64_t, ::dot_q15>(a, step_a, b, step_b, n);
}

inline int32_t strided_dot_q8(const char *a, ptrdiff_t step_a, const char *b, ptrdiff_t step_b, size_t n)
{
    return strided_dot<int8_t, int32_t, uint32_t, ::dot_q8>(a, step_a, b, step_b, n);
}

}  // namespace corvane

#endif  // CORVANE_STRIDED_H
