// NEON blocks of the saturating add/sub and the rounding products. Each
// intrinsic used here is the element rule itself, lane for lane:
//  - vqadd/vqsub are the saturating sum and difference;
//  - vqrdmulh gives sat((2ab + 2^15) >> 16) = sat((ab + 2^14) >> 15), the Q15
//    product, saturating only -32768 * -32768;
//  - vmull_s8 forms the exact Q14 product in 16 bits, and vqrshrn #7 is
//    sat8((p + 64) >> 7), the Q8 product.
#include "targets.h"

#if CORVANE_NEON_PATHS

#include "paths.h"
#include "sample_rules.h"
#include "simd_neon.h"

using namespace corvane;

namespace {

inline int16x8_t add_q15_lanes(int16x8_t a, int16x8_t b) { return vqaddq_s16(a, b); }
inline int16x8_t sub_q15_lanes(int16x8_t a, int16x8_t b) { return vqsubq_s16(a, b); }
inline int16x8_t mul_q15_lanes(int16x8_t a, int16x8_t b) { return vqrdmulhq_s16(a, b); }
inline int8x16_t add_q8_lanes(int8x16_t a, int8x16_t b) { return vqaddq_s8(a, b); }
inline int8x16_t sub_q8_lanes(int8x16_t a, int8x16_t b) { return vqsubq_s8(a, b); }

constexpr int kQ8ProductShift = 7;

inline int8x16_t mul_q8_lanes(int8x16_t a, int8x16_t b)
{
    const int16x8_t lo = vmull_s8(vget_low_s8(a), vget_low_s8(b));
    const int16x8_t hi = vmull_high_s8(a, b);
    return vcombine_s8(vqrshrn_n_s16(lo, kQ8ProductShift), vqrshrn_n_s16(hi, kQ8ProductShift));
}

}  // namespace

namespace corvane::neon {

void add_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    binary_pass(a, b, out, processed(len_a, len_b), add_q15_lanes, add_q15_rule);
}

void sub_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    binary_pass(a, b, out, processed(len_a, len_b), sub_q15_lanes, sub_q15_rule);
}

void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    binary_pass(a, b, out, processed(len_a, len_b), mul_q15_lanes, mul_q15_rule);
}

void add_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    binary_pass(a, b, out, processed(len_a, len_b), add_q8_lanes, add_q8_rule);
}

void sub_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    binary_pass(a, b, out, processed(len_a, len_b), sub_q8_lanes, sub_q8_rule);
}

void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    binary_pass(a, b, out, processed(len_a, len_b), mul_q8_lanes, mul_q8_rule);
}

}  // namespace corvane::neon

#endif  // CORVANE_NEON_PATHS
