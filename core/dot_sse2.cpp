// SSE2 paths of the raw inner products: exact Q30 sums in 64 bits, Q14 sums
// wrapping at 32 bits.
//
// Both sums are exact modulo their width, so any grouping of the additions
// gives the plain sum; the block loops spread them over independent partial
// sums and the scalar loop finishes the last few pairs.
#include "targets.h"

#if CORVANE_X86_PATHS

#include "paths.h"
#include "sample_rules.h"
#include "simd_sse2.h"

using namespace corvane;

namespace {

// pmaddwd adds two Q30 products in a 32-bit lane. The pair sum lies in
// [-2^31 + 2^16, 2^31], and only -32768 * -32768 twice reaches 2^31, which
// the lane wraps to -2^31. Adding this bias modulo 2^32 maps the whole range
// onto [0, 2^32 - 2^16], so the lane read as unsigned is the exact pair sum
// plus the bias; the bias of every lane comes off once at the end.
constexpr uint32_t kPairBias = 0x7FFF0000u;
constexpr size_t kQ15Vector = 8;                // samples per vector
constexpr size_t kQ15Block = 4 * kQ15Vector;   // four independent chains
constexpr uint64_t kQ15LanesPerVector = 4;

inline __m128i biased_pair_sums(const int16_t *a, const int16_t *b)
{
    const __m128i bias = _mm_set1_epi32(static_cast<int32_t>(kPairBias));
    return _mm_add_epi32(_mm_madd_epi16(sse2::load(a), sse2::load(b)), bias);
}

// Zero-extends the four unsigned 32-bit lanes of u into the two 64-bit lanes
// of acc.
inline __m128i add_u32_lanes(__m128i acc, __m128i u)
{
    const __m128i low32 = _mm_set_epi32(0, -1, 0, -1);
    acc = _mm_add_epi64(acc, _mm_and_si128(u, low32));
    return _mm_add_epi64(acc, _mm_srli_epi64(u, 32));
}

inline uint64_t fold_u64_lanes(__m128i v)
{
    uint64_t lanes[2];
    sse2::store(lanes, v);
    return lanes[0] + lanes[1];
}

// Sum over the first `vectors` * 8 pairs, modulo 2^64.
uint64_t dot_q15_vectors(const int16_t *a, const int16_t *b, size_t vectors)
{
    const size_t n = vectors * kQ15Vector;
    __m128i acc[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(),
                      _mm_setzero_si128()};
    size_t i = 0;
    for (; n - i >= kQ15Block; i += kQ15Block) {
        for (size_t k = 0; k < 4; ++k) {
            acc[k] = add_u32_lanes(acc[k], biased_pair_sums(a + i + k * kQ15Vector,
                                                            b + i + k * kQ15Vector));
        }
    }
    for (; i < n; i += kQ15Vector) {
        acc[0] = add_u32_lanes(acc[0], biased_pair_sums(a + i, b + i));
    }
    const __m128i sum = _mm_add_epi64(_mm_add_epi64(acc[0], acc[1]), _mm_add_epi64(acc[2], acc[3]));
    return fold_u64_lanes(sum) - uint64_t{vectors} * kQ15LanesPerVector * kPairBias;
}

// Q8 samples sign-extended in place within 16-bit lanes: the even bytes by
// shifting them up and back, the odd bytes by shifting them down. Each pmaddwd
// lane then holds two Q14 products, at most 2^15 in magnitude, and the 32-bit
// lanes wrap modulo 2^32 exactly as the plain sum does.
constexpr size_t kQ8Vector = 16;
constexpr size_t kQ8Block = 2 * kQ8Vector;
constexpr size_t kQ8HalfVector = 8;

inline __m128i even_i8(__m128i v) { return _mm_srai_epi16(_mm_slli_epi16(v, 8), 8); }
inline __m128i odd_i8(__m128i v) { return _mm_srai_epi16(v, 8); }

inline __m128i q8_products(__m128i x, __m128i y)
{
    return _mm_add_epi32(_mm_madd_epi16(even_i8(x), even_i8(y)), _mm_madd_epi16(odd_i8(x), odd_i8(y)));
}

inline uint32_t fold_u32_lanes(__m128i v)
{
    uint32_t lanes[4];
    sse2::store(lanes, v);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

// Sum over the first `n` pairs rounded down to a multiple of 8, modulo 2^32;
// `*done` receives that count.
uint32_t dot_q8_blocks(const int8_t *a, const int8_t *b, size_t n, size_t *done)
{
    __m128i acc0 = _mm_setzero_si128();
    __m128i acc1 = _mm_setzero_si128();
    size_t i = 0;
    for (; n - i >= kQ8Block; i += kQ8Block) {
        acc0 = _mm_add_epi32(acc0, q8_products(sse2::load(a + i), sse2::load(b + i)));
        acc1 = _mm_add_epi32(acc1, q8_products(sse2::load(a + i + kQ8Vector),
                                               sse2::load(b + i + kQ8Vector)));
    }
    if (n - i >= kQ8Vector) {
        acc0 = _mm_add_epi32(acc0, q8_products(sse2::load(a + i), sse2::load(b + i)));
        i += kQ8Vector;
    }
    if (n - i >= kQ8HalfVector) {
        // The upper half of each load reads as zero and adds nothing.
        acc1 = _mm_add_epi32(acc1, q8_products(sse2::load_half(a + i), sse2::load_half(b + i)));
        i += kQ8HalfVector;
    }
    *done = i;
    return fold_u32_lanes(_mm_add_epi32(acc0, acc1));
}

}  // namespace

namespace corvane::sse2 {

int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    const size_t vectors = n / kQ15Vector;
    uint64_t sum = vectors ? dot_q15_vectors(a, b, vectors) : 0;
    for (size_t i = vectors * kQ15Vector; i < n; ++i) {
        sum += static_cast<uint64_t>(int64_t{corvane::load(a + i)} * corvane::load(b + i));
    }
    return static_cast<int64_t>(sum);
}

int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    size_t i = 0;
    uint32_t sum = n >= kQ8HalfVector ? dot_q8_blocks(a, b, n, &i) : 0;
    for (; i < n; ++i) {
        sum += static_cast<uint32_t>(int32_t{corvane::load(a + i)} * corvane::load(b + i));
    }
    return static_cast<int32_t>(sum);
}

}  // namespace corvane::sse2

#endif  // CORVANE_X86_PATHS
