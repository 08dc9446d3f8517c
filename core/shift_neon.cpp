// NEON forms of the shifts. The count is fixed per call, so each kernel picks
// its regime once and the lanes apply one instruction that is the rule:
//  - vqshl (register count) is the saturating left shift, and a count at the
//    sample width already saturates every non-zero sample, so counts past it
//    are clamped there;
//  - vrshl by -s is (x + 2^(s-1)) >> s formed without overflow, the rounding
//    right shift for 1 <= s < width; past that only the sign is left, which
//    the plain arithmetic shift by width - 1 gives;
//  - the 64-bit shifts wrap: the left shift by register gives 0 for counts of
//    64, the right shift adds the wrapping half before an arithmetic shift.
#include <climits>

#include "fixedpoint.h"
#include "paths_neon.h"
#include "sample_rules.h"
#include "shift_rules.h"
#include "simd_neon.h"

using namespace corvane;

namespace {

// Counts at or below zero copy; the lanes shift by 0 then, and the forward
// pass reproduces a copy under any overlap.
inline int clamp_count(int s, int hi) { return s <= 0 ? 0 : (s < hi ? s : hi); }

}  // namespace

namespace corvane::paths {

void shl_q15_neon(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    const int k = clamp_count(s, 16);
    const int16x8_t count = vdupq_n_s16(static_cast<int16_t>(k));
    neon::unary_pass(a, out, len_a, [=](int16x8_t x) { return vqshlq_s16(x, count); },
                     [=](int16_t x) { return shl_q15_rule(x, k); });
}

void shl_q8_neon(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    const int k = clamp_count(s, 8);
    const int8x16_t count = vdupq_n_s8(static_cast<int8_t>(k));
    neon::unary_pass(a, out, len_a, [=](int8x16_t x) { return vqshlq_s8(x, count); },
                     [=](int8_t x) { return shl_q8_rule(x, k); });
}

void shr_q15_neon(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    const int k = clamp_count(s, 16);
    const auto rule = [=](int16_t x) { return shr_q15_rule(x, k); };
    if (k < 16) {
        const int16x8_t count = vdupq_n_s16(static_cast<int16_t>(-k));
        neon::unary_pass(a, out, len_a, [=](int16x8_t x) { return vrshlq_s16(x, count); }, rule);
    } else {
        neon::unary_pass(a, out, len_a, [](int16x8_t x) { return vshrq_n_s16(x, 15); }, rule);
    }
}

void shr_q8_neon(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    const int k = clamp_count(s, 8);
    const auto rule = [=](int8_t x) { return shr_q8_rule(x, k); };
    if (k < 8) {
        const int8x16_t count = vdupq_n_s8(static_cast<int8_t>(-k));
        neon::unary_pass(a, out, len_a, [=](int8x16_t x) { return vrshlq_s8(x, count); }, rule);
    } else {
        neon::unary_pass(a, out, len_a, [](int8x16_t x) { return vshrq_n_s8(x, 7); }, rule);
    }
}

void shl_i64_neon(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    // The rule gives 0 from 63 on; a register count of 64 shifts everything out.
    const int k = s >= 63 ? 64 : clamp_count(s, 63);
    const int64x2_t count = vdupq_n_s64(k);
    neon::unary_pass(a, out, len_a, [=](int64x2_t x) { return vshlq_s64(x, count); },
                     [=](int64_t x) { return shl_i64_rule(x, k); });
}

void shr_i64_neon(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    const int k = clamp_count(s, 63);
    const uint64_t half = shr_i64_half(s);
    const int64x2_t half_lanes = vdupq_n_s64(static_cast<int64_t>(half));
    const int64x2_t count = vdupq_n_s64(-k);
    neon::unary_pass(a, out, len_a,
                     [=](int64x2_t x) { return vshlq_s64(vaddq_s64(x, half_lanes), count); },
                     [=](int64_t x) { return shr_i64_rule(x, half, k); });
}

}  // namespace corvane::paths
