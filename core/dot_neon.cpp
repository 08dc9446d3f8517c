// NEON inner products and the accumulators' block sums.
//
// Every sum here is exact modulo its register width, so any grouping of the
// additions gives the plain sum: widening multiplies form exact products and
// pairwise add-accumulate (vpadal) folds them into lanes twice as wide, where
// they wrap exactly as the plain sum does.
#include "targets.h"

#if CORVANE_NEON_PATHS

#include "paths.h"
#include "sample_rules.h"
#include "simd_neon.h"

using namespace corvane;

namespace {

constexpr size_t kQ15Lanes = 8;
constexpr size_t kQ8Lanes = 16;
// Two independent chains per step hide the accumulate latency.
constexpr size_t kQ15Step = 2 * kQ15Lanes;
constexpr size_t kQ8Step = 2 * kQ8Lanes;

// Q30 products are exact in 32 bits; pairs of them go into 64-bit lanes.
inline int64x2_t add_q15_products(int64x2_t acc, int16x8_t a, int16x8_t b)
{
    acc = vpadalq_s32(acc, vmull_s16(vget_low_s16(a), vget_low_s16(b)));
    return vpadalq_s32(acc, vmull_high_s16(a, b));
}

// Q14 products are exact in 16 bits; pairs of them go into 32-bit lanes,
// which wrap modulo 2^32 like the result.
inline int32x4_t add_q8_products(int32x4_t acc, int8x16_t a, int8x16_t b)
{
    acc = vpadalq_s16(acc, vmull_s8(vget_low_s8(a), vget_low_s8(b)));
    return vpadalq_s16(acc, vmull_high_s8(a, b));
}

inline uint64_t lane_sum(int64x2_t v) { return static_cast<uint64_t>(vgetq_lane_s64(v, 0)) + static_cast<uint64_t>(vgetq_lane_s64(v, 1)); }

}  // namespace

namespace corvane::neon {

int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    int64x2_t acc0 = vdupq_n_s64(0);
    int64x2_t acc1 = vdupq_n_s64(0);
    size_t i = 0;
    for (; n - i >= kQ15Step; i += kQ15Step) {
        acc0 = add_q15_products(acc0, Vec<int16_t>::load(a + i), Vec<int16_t>::load(b + i));
        acc1 = add_q15_products(acc1, Vec<int16_t>::load(a + i + kQ15Lanes),
                                Vec<int16_t>::load(b + i + kQ15Lanes));
    }
    uint64_t sum = lane_sum(vaddq_s64(acc0, acc1));
    for (; i < n; ++i) {
        sum += static_cast<uint64_t>(int64_t{load(a + i)} * load(b + i));
    }
    return static_cast<int64_t>(sum);
}

int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    int32x4_t acc0 = vdupq_n_s32(0);
    int32x4_t acc1 = vdupq_n_s32(0);
    size_t i = 0;
    for (; n - i >= kQ8Step; i += kQ8Step) {
        acc0 = add_q8_products(acc0, Vec<int8_t>::load(a + i), Vec<int8_t>::load(b + i));
        acc1 = add_q8_products(acc1, Vec<int8_t>::load(a + i + kQ8Lanes),
                               Vec<int8_t>::load(b + i + kQ8Lanes));
    }
    // The lanes wrap modulo 2^32; so does their unsigned sum.
    uint32_t sum = vaddvq_u32(vreinterpretq_u32_s32(vaddq_s32(acc0, acc1)));
    for (; i < n; ++i) {
        sum += static_cast<uint32_t>(int32_t{load(a + i)} * load(b + i));
    }
    return static_cast<int32_t>(sum);
}

// Pairs of samples go into 32-bit lanes (at most 2^16 per step), which are
// folded into the 64-bit total long before 2^15 steps could reach 2^31.
int64_t sum_q15(const int16_t *a, size_t n)
{
    constexpr size_t kRun = 8192 * kQ15Lanes;
    uint64_t total = 0;
    size_t i = 0;
    while (n - i >= kQ15Lanes) {
        const size_t run_end = i + (n - i < kRun ? n - i : kRun);
        int32x4_t acc = vdupq_n_s32(0);
        for (; run_end - i >= kQ15Lanes; i += kQ15Lanes) {
            acc = vpadalq_s16(acc, Vec<int16_t>::load(a + i));
        }
        total += static_cast<uint64_t>(vaddlvq_s32(acc));
    }
    for (; i < n; ++i) {
        total += static_cast<uint64_t>(int64_t{load(a + i)});
    }
    return static_cast<int64_t>(total);
}

// Pairs of samples into 16-bit lanes, pairs of those into 32-bit lanes that
// wrap modulo 2^32 like the register.
int32_t sum_q8(const int8_t *a, size_t n)
{
    int32x4_t acc = vdupq_n_s32(0);
    size_t i = 0;
    for (; n - i >= kQ8Lanes; i += kQ8Lanes) {
        acc = vpadalq_s16(acc, vpaddlq_s8(Vec<int8_t>::load(a + i)));
    }
    uint32_t total = vaddvq_u32(vreinterpretq_u32_s32(acc));
    for (; i < n; ++i) {
        total += static_cast<uint32_t>(int32_t{load(a + i)});
    }
    return static_cast<int32_t>(total);
}

}  // namespace corvane::neon

#endif  // CORVANE_NEON_PATHS
