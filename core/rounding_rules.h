// The rounding and overflow rules (rounding.h), written once: every narrowing
// step of every kernel and filter goes through these, and every block path
// must agree with them lane for lane.
#ifndef CORVANE_ROUNDING_RULES_H
#define CORVANE_ROUNDING_RULES_H

#include <cstdint>

#include "rounding.h"
#include "sample_rules.h"

namespace corvane {

enum class Rounding : int {
    Nearest = CORVANE_ROUND_NEAREST,
    Floor = CORVANE_ROUND_FLOOR,
    Ceiling = CORVANE_ROUND_CEILING,
    Zero = CORVANE_ROUND_ZERO,
    HalfAway = CORVANE_ROUND_HALF_AWAY,
    Convergent = CORVANE_ROUND_CONVERGENT,
};

enum class Overflow : int {
    Saturate = CORVANE_OVERFLOW_SATURATE,
    Wrap = CORVANE_OVERFLOW_WRAP,
};

// Both modes of one narrowing step, chosen once per call.
struct NarrowMode {
    Rounding rounding = Rounding::Nearest;
    Overflow overflow = Overflow::Saturate;
};

// The widest count whose remainder still fits 64 bits. Past it every int64 x
// has |x / 2^s| < 1/4, so x may stand in as its sign shifted by 2: the same
// side of every rounding boundary, and never a tie.
inline constexpr int kRoundMaxShift = 64;

// Whether the exact quotient x / 2^s rounds up from floor(x / 2^s), given the
// remainder r = x - floor * 2^s (0 <= r < 2^s), half = 2^(s-1), the sign of x
// and the parity of the floor.
inline bool rounds_up(Rounding mode, uint64_t r, uint64_t half, bool negative, bool floor_odd)
{
    switch (mode) {
    case Rounding::Nearest:
        return r >= half;
    case Rounding::Floor:
        return false;
    case Rounding::Ceiling:
        return r != 0;
    case Rounding::Zero:
        return negative && r != 0;
    case Rounding::HalfAway:
        return r > half || (r == half && !negative);
    case Rounding::Convergent:
        return r > half || (r == half && floor_odd);
    }
    return false;
}

// x / 2^s rounded by `mode`, exactly, for s >= 1. The floor is at most
// 2^62 in magnitude, so adding one never wraps.
inline int64_t round_shift(int64_t x, int s, Rounding mode)
{
    if (s > kRoundMaxShift) {
        x = (x > 0) - (x < 0);
        s = 2;
    }
    const int64_t floor = s == kRoundMaxShift ? (x >> 63) : (x >> s);
    const uint64_t mask = s == kRoundMaxShift ? ~uint64_t{0} : (uint64_t{1} << s) - 1;
    const uint64_t r = static_cast<uint64_t>(x) & mask;
    const uint64_t half = uint64_t{1} << (s - 1);
    return floor + rounds_up(mode, r, half, x < 0, (floor & 1) != 0);
}

// An exact value as a sample of type Sample under the overflow rule.
template <typename Sample>
inline Sample overflow_to(int64_t v, Overflow overflow)
{
    constexpr int64_t lo = sizeof(Sample) == 2 ? kQ15Min : kQ8Min;
    constexpr int64_t hi = sizeof(Sample) == 2 ? kQ15Max : kQ8Max;
    if (overflow == Overflow::Wrap) {
        return static_cast<Sample>(static_cast<uint64_t>(v));
    }
    return static_cast<Sample>(v < lo ? lo : (v > hi ? hi : v));
}

// One narrowing step: round x / 2^s (s <= 0: x as it is), then overflow.
template <typename Sample>
inline Sample narrow_rule(int64_t x, int s, NarrowMode mode)
{
    const int64_t v = s >= 1 ? round_shift(x, s, mode.rounding) : x;
    return overflow_to<Sample>(v, mode.overflow);
}

// y rounded to an integer by `mode`, exactly, for |y| <= 2^17. The fraction
// d = y - floor(y) is exact except for -1 < y < 0, where 1 + y may round,
// but never across 0.5 nor to 0: every test below but the tie of "round"
// holds as for the exact fraction, and a negative tie there could be a
// rounded fraction just above 0.5, so "round" works on |y| instead.
inline double round_float(double y, Rounding mode)
{
    if (mode == Rounding::HalfAway) {
        const double a = __builtin_fabs(y);
        const double fa = __builtin_floor(a);
        return __builtin_copysign(fa + (a - fa >= 0.5), y);
    }
    const double f = __builtin_floor(y);
    const double d = y - f;
    switch (mode) {
    case Rounding::Nearest:
        return f + (d >= 0.5);
    case Rounding::Floor:
        return f;
    case Rounding::Ceiling:
        return f + (d > 0);
    case Rounding::Zero:
        return f + (y < 0 && d > 0);
    case Rounding::HalfAway:  // above
    case Rounding::Convergent:
        return f + (d > 0.5 || (d == 0.5 && f - 2 * __builtin_floor(f * 0.5) != 0));
    }
    return f;
}

// Whether quantize_rule counts x as invalid (NaN; +-inf under wrap).
inline bool quantize_invalid(double x, Overflow overflow)
{
    return overflow == Overflow::Wrap ? x - x != 0 : x != x;
}

// x * 2^15 (Q15, int16) or x * 2^7 (Q7, int8) rounded, then overflowed,
// exactly for every finite x. Saturation clamps before scaling and rounding (rounding is
// monotone and fixes integers, so the result is the same) and keeps the
// scaled value small. Wrap reduces x modulo 2 first, which the sample's
// 2^16 or 2^8 steps of the scaled value are: x - 2 trunc(x / 2) is exact,
// keeps the sign (so the sign-dependent roundings are unchanged), and shifts
// the scaled value by a multiple of 2^16 or 2^8, an even one, so that every
// rounding commutes with it.
template <typename Sample>
inline Sample quantize_rule(double x, NarrowMode mode)
{
    constexpr double scale = sizeof(Sample) == 2 ? 32768.0 : 128.0;
    constexpr double lo = sizeof(Sample) == 2 ? kQ15Min : kQ8Min;
    constexpr double hi = sizeof(Sample) == 2 ? kQ15Max : kQ8Max;
    if (quantize_invalid(x, mode.overflow)) {
        return 0;
    }
    double y;
    if (mode.overflow == Overflow::Saturate) {
        // Clamped before the scaling (the ends scale exactly), which so
        // never overflows to infinity nor raises the overflow flag.
        y = (x < lo / scale ? lo / scale : (x > hi / scale ? hi / scale : x)) * scale;
    } else {
        y = (x - 2.0 * __builtin_trunc(x * 0.5)) * scale;
    }
    return overflow_to<Sample>(static_cast<int64_t>(round_float(y, mode.rounding)), mode.overflow);
}

}  // namespace corvane

#endif  // CORVANE_ROUNDING_RULES_H
