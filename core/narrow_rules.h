// The rules that bring a wide value back to a sample: the rounding,
// saturating narrow of a raw sum, and float to Q15/Q8 and back. Written once;
// every block path must agree with them lane for lane.
#ifndef CORVANE_NARROW_RULES_H
#define CORVANE_NARROW_RULES_H

#include <cstdint>

#include "rounding_rules.h"
#include "sample_rules.h"

namespace corvane {

// Counts past this width cannot change the result: floor((x + 2^(s-1)) / 2^s)
// is 0 for every int64 x once s >= 64.
inline constexpr int kNarrowMaxShift = 64;

// floor((x + 2^(s-1)) / 2^s) as with unbounded integers, for s >= 1. Writing
// x = q * 2^s + r with 0 <= r < 2^s, the quotient is q plus one exactly when
// r >= 2^(s-1), that is when bit s-1 of x is set: no sum that could wrap.
inline int64_t round_shift_exact(int64_t x, int s)
{
    if (s >= kNarrowMaxShift) {
        return 0;
    }
    return (x >> s) + ((x >> (s - 1)) & 1);
}

inline int64_t clamp_i64(int64_t x, int64_t lo, int64_t hi) { return x < lo ? lo : (x > hi ? hi : x); }

// s <= 0 only saturates: a narrow never shifts left.
inline int16_t narrow_q15_rule(int64_t x, int s)
{
    int64_t r = s >= 1 ? round_shift_exact(x, s) : x;
    return static_cast<int16_t>(clamp_i64(r, kQ15Min, kQ15Max));
}

inline int8_t narrow_q8_rule(int64_t x, int s)
{
    int64_t r = s >= 1 ? round_shift_exact(x, s) : x;
    return static_cast<int8_t>(clamp_i64(r, kQ8Min, kQ8Max));
}

// sat(floor(x * 2^frac_bits + 1/2)) for one float, exact for every finite x:
// the default modes of quantize_rule (rounding_rules.h). NaN gives 0; the
// caller counts NaNs to raise the invalid flag.
inline int16_t to_q15_rule(double x) { return quantize_rule<int16_t>(x, NarrowMode{}); }
inline int8_t to_q8_rule(double x) { return quantize_rule<int8_t>(x, NarrowMode{}); }

inline double from_q15_rule(int16_t q) { return q * (1.0 / 32768.0); }
inline double from_q8_rule(int8_t q) { return q * (1.0 / 128.0); }

}  // namespace corvane

#endif  // CORVANE_NARROW_RULES_H
