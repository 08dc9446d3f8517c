// The shift rules, written once: each kernel's regimes (copy, scale, sign or
// zero result), the constants a regime needs, and the element rule of each.
// Block paths pick the same regime and agree with these lane for lane.
#ifndef CORVANE_SHIFT_RULES_H
#define CORVANE_SHIFT_RULES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sample_rules.h"

namespace corvane {

// ---- Sign regime of the saturating left shifts: x * 2^s for s at or past the
// sample width saturates to the end of the range on x's side.
template <typename T, int32_t Max, int32_t Min>
inline T saturated_sign(T x)
{
    return static_cast<T>((x > 0) * Max + (x < 0) * Min);
}

// ---- Scale regime of the saturating left shifts: 1 <= s < width. The
// product is exact in 32 bits.
inline int16_t shl_q15_rule(int16_t x, int32_t scale) { return sat16(int32_t{x} * scale); }
inline int8_t shl_q8_rule(int8_t x, int32_t scale) { return sat8(int32_t{x} * scale); }

// ---- Rounding right shifts: out = (x + r) >> k, with r = 2^(s-1) in the
// scaling range and 0 past it.
struct Rounding {
    int32_t r;
    int k;
};

// Width is the sample width, MaxShift the largest shift of the intermediate.
template <int Width, int MaxShift>
inline Rounding rounding_for(int s)
{
    return {s < Width ? int32_t{1} << (s - 1) : 0, s < MaxShift ? s : MaxShift};
}

inline int16_t shr_q15_rule(int16_t x, Rounding c) { return static_cast<int16_t>((int32_t{x} + c.r) >> c.k); }
inline int8_t shr_q8_rule(int8_t x, Rounding c) { return static_cast<int8_t>((int32_t{x} + c.r) >> c.k); }

// ---- 64-bit shifts wrap through unsigned arithmetic.
inline int64_t shl_i64_rule(int64_t x, int s)
{
    return static_cast<int64_t>(static_cast<uint64_t>(x) << s);
}

inline int64_t shr_i64_rule(int64_t x, uint64_t r, int k)
{
    return static_cast<int64_t>(static_cast<uint64_t>(x) + r) >> k;
}

// The rounding constants of shr_i64 for a count s >= 1: half a step and the
// shift in the scaling range; past it, no rounding and a shift to the sign.
struct RoundingI64 {
    uint64_t r;
    int k;
};

inline RoundingI64 rounding_i64_for(int s)
{
    return {s < 63 ? uint64_t{1} << (s - 1) : 0, s < 63 ? s : 63};
}

// ---- Counts that change from sample to sample (the ufuncs' count operand):
// each rule picks, for one sample, the regime the kernel of the same name
// picks for a whole call, so the two agree at every int count.

inline int16_t shl_q15_by(int16_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    return s < 16 ? shl_q15_rule(x, int32_t{1} << s) : saturated_sign<int16_t, kQ15Max, kQ15Min>(x);
}

inline int8_t shl_q8_by(int8_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    return s < 8 ? shl_q8_rule(x, int32_t{1} << s) : saturated_sign<int8_t, kQ8Max, kQ8Min>(x);
}

inline int16_t shr_q15_by(int16_t x, int32_t s)
{
    return s <= 0 ? x : shr_q15_rule(x, rounding_for<16, 31>(s));
}

inline int8_t shr_q8_by(int8_t x, int32_t s)
{
    return s <= 0 ? x : shr_q8_rule(x, rounding_for<8, 15>(s));
}

inline int64_t shl_i64_by(int64_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    return s < 63 ? shl_i64_rule(x, s) : 0;
}

// The rounding addition may wrap past the top (x near INT64_MAX); the shift
// then acts on the wrapped value, as the kernel's does.
inline int64_t shr_i64_by(int64_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    const RoundingI64 c = rounding_i64_for(s);
    return shr_i64_rule(x, c.r, c.k);
}

// Below this distance the chunked copy would make too many small calls.
inline constexpr size_t kCopyChunkMinBytes = 64;

// The forward pass of out[i] = a[i]. An output at or below the input, or past
// its end, receives the input unchanged, which memmove does. An output that
// starts inside the input further up re-reads samples the pass has already
// written, replicating the first stretch; chunks no longer than the distance
// reproduce that, one memcpy each.
template <typename T>
void copy_forward(const T *a, size_t n, T *out)
{
    const uint64_t distance = byte_distance(a, out);
    const size_t bytes = n * sizeof(T);
    if (distance == 0 || distance >= bytes) {
        std::memmove(out, a, bytes);
        return;
    }
    size_t i = 0;
    if (distance >= kCopyChunkMinBytes) {
        const size_t chunk = distance / sizeof(T);
        for (; n - i >= chunk; i += chunk) {
            std::memcpy(out + i, a + i, chunk * sizeof(T));
        }
    }
    forward_unary(a, out, i, n, [](T x) { return x; });
}

}  // namespace corvane

#endif  // CORVANE_SHIFT_RULES_H
