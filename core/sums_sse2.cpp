// SSE2 paths of the sums of sign-extended samples, for the accumulators'
// block steps.
//
// For the accumulators: acc_q15_steps is `acc += sum_q15(a, n)` (wrapping at
// 64 bits through uint64_t) and acc_q8_steps is `acc += sum_q8(a, n)`
// (wrapping at 32 bits through uint32_t). Their multiply-accumulates can add
// dot_q15 / dot_q8 the same way: those are exact modulo 2^64 and 2^32, so the
// register ends bit-identical to stepping the products one by one.
//
// Both sums are exact modulo the register width whatever n is, and n == 0
// reads nothing (a may be null then).
#include "targets.h"

#if CORVANE_X86_PATHS

#include "paths.h"
#include "sample_rules.h"
#include "simd_sse2.h"

namespace corvane::sse2 {

namespace {

// Sixteen Q15 samples per step; each 32-bit lane takes one pair sum (at most
// 2^16 in magnitude) per step, so a run of 8192 steps stays far below 2^31
// before its lanes are folded into the 64-bit total.
constexpr size_t kSumQ15Step = 16;
constexpr size_t kSumQ15Run = 8192 * kSumQ15Step;

int64_t fold_i32_lanes(__m128i v)
{
    int32_t lanes[4];
    sse2::store(lanes, v);
    return int64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
}

// Flipping the sign bit maps a Q8 sample x to the byte x + 128, which
// psadbw sums eight at a time into 64-bit lanes that cannot overflow; the
// 128 per sample comes off at the end, modulo 2^32 like the register.
constexpr size_t kSumQ8Step = 32;

}  // namespace

int64_t sum_q15(const int16_t *a, size_t n)
{
    const __m128i ones = _mm_set1_epi16(1);
    uint64_t total = 0;
    size_t i = 0;
    while (n - i >= kSumQ15Step) {
        const size_t run_end = i + (n - i < kSumQ15Run ? n - i : kSumQ15Run);
        __m128i acc0 = _mm_setzero_si128();
        __m128i acc1 = _mm_setzero_si128();
        for (; run_end - i >= kSumQ15Step; i += kSumQ15Step) {
            acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(sse2::load(a + i), ones));
            acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(sse2::load(a + i + 8), ones));
        }
        total += static_cast<uint64_t>(fold_i32_lanes(acc0) + fold_i32_lanes(acc1));
    }
    for (; i < n; ++i) {
        total += static_cast<uint64_t>(int64_t{corvane::load(a + i)});
    }
    return static_cast<int64_t>(total);
}

int32_t sum_q8(const int8_t *a, size_t n)
{
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i zero = _mm_setzero_si128();
    __m128i acc0 = zero;
    __m128i acc1 = zero;
    size_t i = 0;
    for (; n - i >= kSumQ8Step; i += kSumQ8Step) {
        acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(_mm_xor_si128(sse2::load(a + i), flip), zero));
        acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(_mm_xor_si128(sse2::load(a + i + 16), flip), zero));
    }
    uint64_t lanes[2];
    sse2::store(lanes, _mm_add_epi64(acc0, acc1));
    uint32_t total = static_cast<uint32_t>(lanes[0] + lanes[1] - uint64_t{128} * i);
    for (; i < n; ++i) {
        total += static_cast<uint32_t>(int32_t{corvane::load(a + i)});
    }
    return static_cast<int32_t>(total);
}

}  // namespace corvane::sse2

#endif  // CORVANE_X86_PATHS
