// NEON paths of the shifts. Each kernel picks its regime once per call, as the
// scalar path does, and the lanes apply one instruction that is the rule:
//  - vqshl (register count) is the saturating left shift, and a count of the
//    sample width saturates every non-zero sample, which is the sign regime;
//  - vrshl by -s is (x + 2^(s-1)) >> s formed without overflow, the rounding
//    right shift for 1 <= s < width; past that only the sign is left, which
//    the plain arithmetic shift by width - 1 gives;
//  - the 64-bit shifts wrap: the lanes add the half modulo 2^64 before the
//    arithmetic shift, exactly as the rule does.
#include "targets.h"

#if CORVANE_NEON_PATHS

#include <cstring>

#include "paths.h"
#include "sample_rules.h"
#include "shift_rules.h"
#include "simd_neon.h"

using namespace corvane;

namespace corvane::neon {

void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
    } else if (s < 16) {
        const int32_t scale = int32_t{1} << s;
        const int16x8_t count = vdupq_n_s16(static_cast<int16_t>(s));
        unary_pass(a, out, len_a, [=](int16x8_t x) { return vqshlq_s16(x, count); },
                   [=](int16_t x) { return shl_q15_rule(x, scale); });
    } else {
        const int16x8_t count = vdupq_n_s16(16);
        unary_pass(a, out, len_a, [=](int16x8_t x) { return vqshlq_s16(x, count); },
                   saturated_sign<int16_t, kQ15Max, kQ15Min>);
    }
}

void shl_q8(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
    } else if (s < 8) {
        const int32_t scale = int32_t{1} << s;
        const int8x16_t count = vdupq_n_s8(static_cast<int8_t>(s));
        unary_pass(a, out, len_a, [=](int8x16_t x) { return vqshlq_s8(x, count); },
                   [=](int8_t x) { return shl_q8_rule(x, scale); });
    } else {
        const int8x16_t count = vdupq_n_s8(8);
        unary_pass(a, out, len_a, [=](int8x16_t x) { return vqshlq_s8(x, count); },
                   saturated_sign<int8_t, kQ8Max, kQ8Min>);
    }
}

void shr_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
        return;
    }
    const Rounding c = rounding_for<16, 31>(s);
    const auto rule = [=](int16_t x) { return shr_q15_rule(x, c); };
    if (s < 16) {
        const int16x8_t count = vdupq_n_s16(static_cast<int16_t>(-s));
        unary_pass(a, out, len_a, [=](int16x8_t x) { return vrshlq_s16(x, count); }, rule);
    } else {
        unary_pass(a, out, len_a, [](int16x8_t x) { return vshrq_n_s16(x, 15); }, rule);
    }
}

void shr_q8(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
        return;
    }
    const Rounding c = rounding_for<8, 15>(s);
    const auto rule = [=](int8_t x) { return shr_q8_rule(x, c); };
    if (s < 8) {
        const int8x16_t count = vdupq_n_s8(static_cast<int8_t>(-s));
        unary_pass(a, out, len_a, [=](int8x16_t x) { return vrshlq_s8(x, count); }, rule);
    } else {
        unary_pass(a, out, len_a, [](int8x16_t x) { return vshrq_n_s8(x, 7); }, rule);
    }
}

void shl_i64(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
    } else if (s < 63) {
        const int64x2_t count = vdupq_n_s64(s);
        unary_pass(a, out, len_a, [=](int64x2_t x) { return vshlq_s64(x, count); },
                   [=](int64_t x) { return shl_i64_rule(x, s); });
    } else {
        // The result is 0 for every sample and needs no input at all.
        std::memset(out, 0, len_a * sizeof *out);
    }
}

void shr_i64(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
        return;
    }
    const RoundingI64 c = rounding_i64_for(s);
    const uint64_t r = c.r;
    const int k = c.k;
    const int64x2_t r_lanes = vdupq_n_s64(static_cast<int64_t>(r));
    const int64x2_t count = vdupq_n_s64(-k);
    unary_pass(a, out, len_a, [=](int64x2_t x) { return vshlq_s64(vaddq_s64(x, r_lanes), count); },
               [=](int64_t x) { return shr_i64_rule(x, r, k); });
}

}  // namespace corvane::neon

#endif  // CORVANE_NEON_PATHS
