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

// A shift or narrowing count of any integer width as the int32 the rules
// take: counts past the int32 range act as its ends do (a huge count shifts
// everything out, a hugely negative one leaves the sample as it is).
template <typename Count>
inline int32_t load_count(const char *p)
{
    const Count c = load_at<Count>(p);
    return static_cast<int32_t>(c < INT32_MIN ? INT32_MIN : (c > INT32_MAX ? INT32_MAX : c));
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

// out = rule(a, count) with a count per sample, Count wide.
template <typename T, typename Rule, typename Count = int32_t>
inline void strided_shift(const char *a, ptrdiff_t step_a, const char *count, ptrdiff_t step_count,
                          char *out, ptrdiff_t step_out, size_t n, Rule rule)
{
    for (size_t i = 0; i < n; ++i, a += step_a, count += step_count, out += step_out) {
        const T x = load_at<T>(a);
        const int32_t s = load_count<Count>(count);
        store_at<T>(out, rule(x, s));
    }
}

// Samples gathered per kernel call: a few hundred keep the buffers in L1 and
// the call overhead small.
inline constexpr size_t kGatherSamples = 512;

// With the stride known to the compiler the copy becomes vector shuffles.
template <typename T, ptrdiff_t Step>
inline void gather_fixed(const char *src, size_t n, T *dst)
{
    for (size_t i = 0; i < n; ++i) {
        dst[i] = load_at<T>(src + static_cast<ptrdiff_t>(i) * Step);
    }
}

// Four independent loads per round off one base address: the plain loop,
// one load per pointer step, keeps too few of them in flight to hide the
// cache misses of a long strided run.
template <typename T>
inline void gather_any(const char *src, ptrdiff_t step, size_t n, T *dst)
{
    size_t i = 0;
    for (; n - i >= 4; i += 4, src += 4 * step) {
        const T v0 = load_at<T>(src);
        const T v1 = load_at<T>(src + step);
        const T v2 = load_at<T>(src + 2 * step);
        const T v3 = load_at<T>(src + 3 * step);
        dst[i] = v0;
        dst[i + 1] = v1;
        dst[i + 2] = v2;
        dst[i + 3] = v3;
    }
    for (; i < n; ++i, src += step) {
        dst[i] = load_at<T>(src);
    }
}

// Every other sample (one channel of an interleaved pair, a decimated view)
// is common enough for its own copy loop.
template <typename T>
inline void gather(const char *src, ptrdiff_t step, size_t n, T *dst)
{
    if (step == 2 * static_cast<ptrdiff_t>(sizeof(T))) {
        gather_fixed<T, 2 * sizeof(T)>(src, n, dst);
    } else {
        gather_any(src, step, n, dst);
    }
}

template <typename T>
inline void scatter(const T *src, size_t n, char *dst, ptrdiff_t step)
{
    for (size_t i = 0; i < n; ++i, dst += step) {
        store_at<T>(dst, src[i]);
    }
}

// The bytes [lo, hi) that n elements of Size bytes at p, step apart, touch.
struct ByteSpan {
    uintptr_t lo, hi;
};

template <size_t Size>
inline ByteSpan span_of(const char *p, ptrdiff_t step, size_t n)
{
    const uintptr_t first = reinterpret_cast<uintptr_t>(p);
    const uintptr_t last = first + static_cast<uintptr_t>(static_cast<ptrdiff_t>(n - 1) * step);
    return first <= last ? ByteSpan{first, last + Size} : ByteSpan{last, first + Size};
}

inline bool disjoint(ByteSpan x, ByteSpan y) { return x.hi <= y.lo || y.hi <= x.lo; }

// Whether computing a run of results before storing them gives the forward
// pass: the output touches no input byte, or each result lands exactly on
// its own input sample (in place) and on no other, which a stride shorter
// than a sample would overlap.
template <typename T>
inline bool blocks_give_forward_pass(const char *in, ptrdiff_t step_in, const char *out,
                                     ptrdiff_t step_out, size_t n)
{
    constexpr ptrdiff_t item = sizeof(T);
    if (in == out && step_in == step_out && (step_out >= item || step_out <= -item)) {
        return true;
    }
    return disjoint(span_of<sizeof(T)>(in, step_in, n), span_of<sizeof(T)>(out, step_out, n));
}

// The view of one operand for a block: contiguous operands are used in place,
// others copied to (inputs) or from (the output) a buffer.
template <typename T>
inline const T *block_input(const char *p, ptrdiff_t step, size_t m, T *buffer)
{
    if (step == static_cast<ptrdiff_t>(sizeof(T))) {
        return reinterpret_cast<const T *>(p);
    }
    gather(p, step, m, buffer);
    return buffer;
}

template <typename T>
using BinaryKernel = void (*)(const T *, size_t, const T *, size_t, T *);
template <typename T>
using ShiftKernel = void (*)(const T *, size_t, T *, int);

// out = a (op) b over any strides, with the result of one forward pass of
// Rule: the kernel over contiguous operands, the kernel over gathered blocks
// where that gives the same result, Rule element by element otherwise.
template <typename T, BinaryKernel<T> Kernel, typename Rule>
inline void apply_binary(const char *a, ptrdiff_t step_a, const char *b, ptrdiff_t step_b,
                         char *out, ptrdiff_t step_out, size_t n, Rule rule)
{
    constexpr ptrdiff_t item = sizeof(T);
    if (n == 0) {
        return;
    }
    if (step_a == item && step_b == item && step_out == item) {
        Kernel(reinterpret_cast<const T *>(a), n, reinterpret_cast<const T *>(b), n,
               reinterpret_cast<T *>(out));
        return;
    }
    if (!blocks_give_forward_pass<T>(a, step_a, out, step_out, n) ||
        !blocks_give_forward_pass<T>(b, step_b, out, step_out, n)) {
        strided_binary<T>(a, step_a, b, step_b, out, step_out, n, rule);
        return;
    }
    T xa[kGatherSamples], xb[kGatherSamples], xo[kGatherSamples];
    while (n > 0) {
        const size_t m = n < kGatherSamples ? n : kGatherSamples;
        const T *pa = block_input(a, step_a, m, xa);
        const T *pb = block_input(b, step_b, m, xb);
        if (step_out == item) {
            Kernel(pa, m, pb, m, reinterpret_cast<T *>(out));
        } else {
            Kernel(pa, m, pb, m, xo);
            scatter(xo, m, out, step_out);
        }
        a += static_cast<ptrdiff_t>(m) * step_a;
        b += static_cast<ptrdiff_t>(m) * step_b;
        out += static_cast<ptrdiff_t>(m) * step_out;
        n -= m;
    }
}

// out = shift(a, count) over any strides. One count for the whole run
// (step 0) is the kernel's case, directly or over gathered blocks; counts that
// vary go through Rule, which picks the kernel's regime sample by sample.
template <typename T, ShiftKernel<T> Kernel, typename Rule, typename Count = int32_t>
inline void apply_shift(const char *a, ptrdiff_t step_a, const char *count, ptrdiff_t step_count,
                        char *out, ptrdiff_t step_out, size_t n, Rule rule)
{
    constexpr ptrdiff_t item = sizeof(T);
    if (n == 0) {
        return;
    }
    const bool one_count =
        step_count == 0 && disjoint(span_of<sizeof(Count)>(count, 0, 1), span_of<sizeof(T)>(out, step_out, n));
    if (!one_count) {
        strided_shift<T, Rule, Count>(a, step_a, count, step_count, out, step_out, n, rule);
        return;
    }
    const int s = load_count<Count>(count);
    if (step_a == item && step_out == item) {
        Kernel(reinterpret_cast<const T *>(a), n, reinterpret_cast<T *>(out), s);
        return;
    }
    if (!blocks_give_forward_pass<T>(a, step_a, out, step_out, n)) {
        strided_shift<T, Rule, Count>(a, step_a, count, step_count, out, step_out, n, rule);
        return;
    }
    T xa[kGatherSamples], xo[kGatherSamples];
    while (n > 0) {
        const size_t m = n < kGatherSamples ? n : kGatherSamples;
        const T *pa = block_input(a, step_a, m, xa);
        if (step_out == item) {
            Kernel(pa, m, reinterpret_cast<T *>(out), s);
        } else {
            Kernel(pa, m, xo, s);
            scatter(xo, m, out, step_out);
        }
        a += static_cast<ptrdiff_t>(m) * step_a;
        out += static_cast<ptrdiff_t>(m) * step_out;
        n -= m;
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
