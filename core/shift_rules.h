// The shift rules for one sample, written once for every block path's
// remainder. Each takes the count already clamped to the range where the
// result still changes: k = 0 copies, and a count at the sample width stands
// for every count past it.
#ifndef CORVANE_SHIFT_RULES_H
#define CORVANE_SHIFT_RULES_H

#include <cstdint>

#include "sample_rules.h"

namespace corvane {

// Saturating x * 2^k for 0 <= k <= 16; the product is exact in 32 bits below
// 16, and at 16 only the sign is left.
inline int16_t shl_q15_rule(int16_t x, int k)
{
    return k < 16 ? sat16(int32_t{x} * (int32_t{1} << k)) : sat16((x > 0) * kQ15Max + (x < 0) * kQ15Min);
}

inline int8_t shl_q8_rule(int8_t x, int k)
{
    return k < 8 ? sat8(int32_t{x} * (int32_t{1} << k)) : sat8((x > 0) * kQ8Max + (x < 0) * kQ8Min);
}

// (x + 2^(k-1)) >> k for 1 <= k < width; at the width only the sign is left,
// which x >> (width - 1) gives with nothing added.
inline int16_t shr_q15_rule(int16_t x, int k)
{
    const int32_t half = (k > 0 && k < 16) ? int32_t{1} << (k - 1) : 0;
    return static_cast<int16_t>((int32_t{x} + half) >> (k < 16 ? k : 15));
}

inline int8_t shr_q8_rule(int8_t x, int k)
{
    const int32_t half = (k > 0 && k < 8) ? int32_t{1} << (k - 1) : 0;
    return static_cast<int8_t>((int32_t{x} + half) >> (k < 8 ? k : 7));
}

// Wrapping x * 2^k for 0 <= k; 0 from 63 on.
inline int64_t shl_i64_rule(int64_t x, int k)
{
    return k < 63 ? static_cast<int64_t>(static_cast<uint64_t>(x) << k) : 0;
}

// The half added before the 64-bit right shift by s: 2^(s-1) in the scaling
// range, nothing outside it.
inline uint64_t shr_i64_half(int s) { return (s > 0 && s < 63) ? uint64_t{1} << (s - 1) : 0; }

// (x + half) wrapping at 64 bits, then shifted right by 0 <= k <= 63.
inline int64_t shr_i64_rule(int64_t x, uint64_t half, int k)
{
    return static_cast<int64_t>(static_cast<uint64_t>(x) + half) >> k;
}

}  // namespace corvane

#endif  // CORVANE_SHIFT_RULES_H
