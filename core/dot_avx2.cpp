// AVX2 paths of the raw inner products: the SSE2 paths' arithmetic on twice
// the lanes. Both sums are exact modulo their width, so any grouping of the
// additions gives the plain sum.
//
// Every function that touches a 256-bit register carries its own target
// attribute (see elementwise_avx2.cpp).
#include "targets.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

#include <algorithm>

#include "paths.h"
#include "sample_rules.h"

namespace corvane::avx2 {

namespace {

#define CORVANE_AVX2 __attribute__((target("avx2")))

CORVANE_AVX2 __m256i load(const void *p) { return _mm256_loadu_si256(static_cast<const __m256i *>(p)); }

// vpmaddwd adds two Q30 products in a 32-bit lane; only -32768 * -32768
// twice reaches 2^31, which wraps to -2^31. Adding this bias modulo 2^32 maps
// every pair sum onto [0, 2^32 - 2^16], so the lane read as unsigned is the
// exact pair sum plus the bias, taken off once per lane at the end.
constexpr size_t kVectorBytes = 32;
constexpr uint32_t kPairBias = 0x7FFF0000u;
constexpr size_t kQ15Vector = 16;              // samples per vector
constexpr size_t kQ15Block = 4 * kQ15Vector;   // four independent chains
constexpr uint64_t kQ15LanesPerVector = 8;
static_assert(kQ15Block * sizeof(int16_t) == kAvx2DotQ15MinBytes, "the dispatch's threshold (paths.h)");

CORVANE_AVX2 __m256i biased_pair_sums(const int16_t *a, const int16_t *b)
{
    const __m256i bias = _mm256_set1_epi32(static_cast<int32_t>(kPairBias));
    return _mm256_add_epi32(_mm256_madd_epi16(load(a), load(b)), bias);
}

// Zero-extends the eight unsigned 32-bit lanes of u into the four 64-bit
// lanes of acc.
CORVANE_AVX2 __m256i add_u32_lanes(__m256i acc, __m256i u)
{
    const __m256i low32 = _mm256_set1_epi64x(0xFFFFFFFF);
    acc = _mm256_add_epi64(acc, _mm256_and_si256(u, low32));
    return _mm256_add_epi64(acc, _mm256_srli_epi64(u, 32));
}

// Sum over the first `vectors` * 16 pairs, modulo 2^64.
CORVANE_AVX2 uint64_t dot_q15_vectors(const int16_t *a, const int16_t *b, size_t vectors)
{
    const size_t n = vectors * kQ15Vector;
    __m256i acc[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                      _mm256_setzero_si256()};
    size_t i = 0;
    for (; n - i >= kQ15Block; i += kQ15Block) {
        for (size_t k = 0; k < 4; ++k) {
            acc[k] = add_u32_lanes(acc[k], biased_pair_sums(a + i + k * kQ15Vector, b + i + k * kQ15Vector));
        }
    }
    for (; i < n; i += kQ15Vector) {
        acc[0] = add_u32_lanes(acc[0], biased_pair_sums(a + i, b + i));
    }
    const __m256i sum = _mm256_add_epi64(_mm256_add_epi64(acc[0], acc[1]), _mm256_add_epi64(acc[2], acc[3]));
    uint64_t lanes[4];
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(lanes), sum);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3] - uint64_t{vectors} * kQ15LanesPerVector * kPairBias;
}

// Q8 samples sign-extended in place within 16-bit lanes: the even bytes by
// shifting them up and back, the odd bytes by shifting them down. Each
// vpmaddwd lane then holds two Q14 products, at most 2^15 in magnitude, and
// the 32-bit lanes wrap modulo 2^32 exactly as the plain sum does.
constexpr size_t kQ8Vector = 32;
constexpr size_t kQ8Block = 2 * kQ8Vector;
static_assert(kQ8Block == kAvx2DotQ8MinBytes, "the dispatch's threshold (paths.h)");

CORVANE_AVX2 __m256i q8_products(__m256i x, __m256i y)
{
    const __m256i even = _mm256_madd_epi16(_mm256_srai_epi16(_mm256_slli_epi16(x, 8), 8),
                                           _mm256_srai_epi16(_mm256_slli_epi16(y, 8), 8));
    const __m256i odd = _mm256_madd_epi16(_mm256_srai_epi16(x, 8), _mm256_srai_epi16(y, 8));
    return _mm256_add_epi32(even, odd);
}

// Sum over the first `n` pairs rounded down to a multiple of 32, modulo 2^32;
// `*done` receives that count.
CORVANE_AVX2 uint32_t dot_q8_vectors(const int8_t *a, const int8_t *b, size_t n, size_t *done)
{
    __m256i acc0 = _mm256_setzero_si256();
    __m256i acc1 = _mm256_setzero_si256();
    size_t i = 0;
    for (; n - i >= kQ8Block; i += kQ8Block) {
        acc0 = _mm256_add_epi32(acc0, q8_products(load(a + i), load(b + i)));
        acc1 = _mm256_add_epi32(acc1, q8_products(load(a + i + kQ8Vector), load(b + i + kQ8Vector)));
    }
    if (n - i >= kQ8Vector) {
        acc0 = _mm256_add_epi32(acc0, q8_products(load(a + i), load(b + i)));
        i += kQ8Vector;
    }
    *done = i;
    uint32_t lanes[8];
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(lanes), _mm256_add_epi32(acc0, acc1));
    uint32_t sum = 0;
    for (uint32_t lane : lanes) {
        sum += lane;
    }
    return sum;
}

#undef CORVANE_AVX2

}  // namespace

// The SSE2 path sums the pairs before the first 32-byte aligned address of
// `a` (so that the vectors of `a` are aligned) and those after the last
// whole vector; any split of the pairs gives the same sum.
int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    if (n < kQ15Block) {
        return sse2::dot_q15(a, n, b, n);
    }
    const size_t head = std::min(n, samples_to_alignment(a, kVectorBytes));
    const size_t vectors = (n - head) / kQ15Vector;
    const size_t done = head + vectors * kQ15Vector;
    uint64_t sum = static_cast<uint64_t>(sse2::dot_q15(a, head, b, head));
    sum += vectors ? dot_q15_vectors(a + head, b + head, vectors) : 0;
    return static_cast<int64_t>(sum + static_cast<uint64_t>(sse2::dot_q15(a + done, n - done, b + done, n - done)));
}

int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    if (n < kQ8Block) {
        return sse2::dot_q8(a, n, b, n);
    }
    const size_t head = std::min(n, samples_to_alignment(a, kVectorBytes));
    uint32_t sum = static_cast<uint32_t>(sse2::dot_q8(a, head, b, head));
    size_t done = head;
    if (n - head >= kQ8Vector) {
        size_t covered = 0;
        sum += dot_q8_vectors(a + head, b + head, n - head, &covered);
        done += covered;
    }
    return static_cast<int32_t>(sum + static_cast<uint32_t>(sse2::dot_q8(a + done, n - done, b + done, n - done)));
}

}  // namespace corvane::avx2

#endif  // CORVANE_X86_PATHS
