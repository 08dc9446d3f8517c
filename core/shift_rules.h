// Shifts by a count that may change from sample to sample: the result of each
// shift kernel of fixedpoint.h for one sample, at any int count. The kernels
// pick one regime per call; these rules pick it per sample and agree with
// them at every count, from INT_MIN to INT_MAX.
#ifndef CORVANE_SHIFT_RULES_H
#define CORVANE_SHIFT_RULES_H

#include <cstdint>

#include "sample_rules.h"

namespace corvane {

// Counts from which on the result no longer depends on the count.
inline constexpr int32_t kQ15ShiftEnd = 16;
inline constexpr int32_t kQ8ShiftEnd = 8;
inline constexpr int32_t kI64ShiftEnd = 63;

// Past the scaling range a saturating left shift leaves only the sign, pushed
// to the end of the range.
template <typename T, int32_t Max, int32_t Min>
inline T saturate_to_sign(T x)
{
    return static_cast<T>(x > 0 ? Max : (x < 0 ? Min : 0));
}

// x * 2^s is exact in 32 bits for s below the sample width.
inline int16_t shl_q15_by(int16_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    if (s < kQ15ShiftEnd) {
        return sat16(int32_t{x} * (int32_t{1} << s));
    }
    return saturate_to_sign<int16_t, kQ15Max, kQ15Min>(x);
}

inline int8_t shl_q8_by(int8_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    if (s < kQ8ShiftEnd) {
        return sat8(int32_t{x} * (int32_t{1} << s));
    }
    return saturate_to_sign<int8_t, kQ8Max, kQ8Min>(x);
}

// Round half up: add half of the last kept step, then shift. Past the scaling
// range nothing is left to round and the sign fills the result.
inline int16_t shr_q15_by(int16_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    if (s < kQ15ShiftEnd) {
        return static_cast<int16_t>((int32_t{x} + (int32_t{1} << (s - 1))) >> s);
    }
    return static_cast<int16_t>(x < 0 ? -1 : 0);
}

inline int8_t shr_q8_by(int8_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    if (s < kQ8ShiftEnd) {
        return static_cast<int8_t>((int32_t{x} + (int32_t{1} << (s - 1))) >> s);
    }
    return static_cast<int8_t>(x < 0 ? -1 : 0);
}

// The 64-bit shifts wrap: the arithmetic runs on the unsigned bit pattern.
// A left shift by 63 or more gives 0, not the lowest bit moved to the top.
inline int64_t shl_i64_by(int64_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    if (s < kI64ShiftEnd) {
        return static_cast<int64_t>(static_cast<uint64_t>(x) << s);
    }
    return 0;
}

// The rounding addition may wrap past the top (x near INT64_MAX); the shift
// then acts on the wrapped value, as the kernel's does.
inline int64_t shr_i64_by(int64_t x, int32_t s)
{
    if (s <= 0) {
        return x;
    }
    if (s < kI64ShiftEnd) {
        const uint64_t half = uint64_t{1} << (s - 1);
        return static_cast<int64_t>(static_cast<uint64_t>(x) + half) >> s;
    }
    return x < 0 ? -1 : 0;
}

}  // namespace corvane

#endif  // CORVANE_SHIFT_RULES_H
