// AVX-512 paths of the raw inner products: dot_q15 on AVX-512 BW, dot_q8 on
// AVX-512 VNNI. Both sums are exact modulo their width, so any grouping of
// the additions gives the plain sum. The partial vectors, before the first
// address of `a` that is a multiple of 64 and after the last whole vector,
// are read with masked loads, which never touch (or fault on) the bytes they
// leave out; the whole vectors of `a` in between are then aligned.
//
// Every function that touches a 512-bit register carries its own target
// attribute (see elementwise_avx2.cpp). The reductions are written out by
// hand: GCC 12 warns inside _mm512_reduce_add_* under -Wall.
#include "targets.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

#include <algorithm>

#include "paths.h"
#include "sample_rules.h"

namespace corvane::avx512 {

namespace {

#define CORVANE_AVX512BW __attribute__((target("avx512f,avx512bw")))
#define CORVANE_AVX512VNNI __attribute__((target("avx512f,avx512bw,avx512vnni")))

// ---- dot_q15: vpmaddwd adds two Q30 products in a 32-bit lane, and only
// -32768 * -32768 twice reaches 2^31, which wraps to -2^31. Adding this bias
// modulo 2^32 maps every pair sum onto [0, 2^32 - 2^16], so the lane read as
// unsigned is the exact pair sum plus the bias, taken off once per lane at
// the end (masked-off lanes are zero pairs and carry it too).
constexpr uint32_t kPairBias = 0x7FFF0000u;
constexpr size_t kVectorBytes = 64;
constexpr size_t kQ15Vector = 32;  // samples per vector
constexpr size_t kQ15Block = 2 * kQ15Vector;
constexpr uint64_t kQ15LanesPerVector = 16;
// Measured crossover with the AVX2 path: 512 Ki samples per operand still
// favour AVX-512 (36 against 40 us), 768 Ki no longer (98 against 94 us).
constexpr size_t kDotQ15StreamingBytes = size_t{1} << 20;

// Zero-extends the sixteen 32-bit lanes of the biased pair sums into the
// eight 64-bit lanes of acc.
CORVANE_AVX512BW __m512i add_biased_pairs(__m512i acc, __m512i x, __m512i y)
{
    const __m512i bias = _mm512_set1_epi32(static_cast<int32_t>(kPairBias));
    const __m512i low32 = _mm512_set1_epi64(0xFFFFFFFF);
    const __m512i u = _mm512_add_epi32(_mm512_madd_epi16(x, y), bias);
    // The zero-masked shift with every lane kept is the plain shift; GCC 12
    // warns inside the plain one's intrinsic under -Wall.
    const __mmask8 all = 0xFF;
    acc = _mm512_add_epi64(acc, _mm512_and_si512(u, low32));
    return _mm512_add_epi64(acc, _mm512_maskz_srli_epi64(all, u, 32));
}

CORVANE_AVX512BW uint64_t dot_q15_vectors(const int16_t *a, const int16_t *b, size_t n)
{
    __m512i acc0 = _mm512_setzero_si512();
    __m512i acc1 = _mm512_setzero_si512();
    uint64_t vectors = 0;
    size_t i = std::min(n, samples_to_alignment(a, kVectorBytes));
    if (i > 0) {
        const __mmask32 keep = (__mmask32{1} << i) - 1;
        acc1 = add_biased_pairs(acc1, _mm512_maskz_loadu_epi16(keep, a), _mm512_maskz_loadu_epi16(keep, b));
        ++vectors;
    }
    for (; n - i >= kQ15Block; i += kQ15Block) {
        vectors += 2;
        acc0 = add_biased_pairs(acc0, _mm512_loadu_si512(a + i), _mm512_loadu_si512(b + i));
        acc1 = add_biased_pairs(acc1, _mm512_loadu_si512(a + i + kQ15Vector),
                                _mm512_loadu_si512(b + i + kQ15Vector));
    }
    if (i < n) {
        const size_t rest = n - i;
        const __mmask32 keep = rest >= kQ15Vector ? ~__mmask32{0} : (__mmask32{1} << rest) - 1;
        acc0 = add_biased_pairs(acc0, _mm512_maskz_loadu_epi16(keep, a + i), _mm512_maskz_loadu_epi16(keep, b + i));
        ++vectors;
        if (rest > kQ15Vector) {
            const __mmask32 keep_hi = (__mmask32{1} << (rest - kQ15Vector)) - 1;
            acc1 = add_biased_pairs(acc1, _mm512_maskz_loadu_epi16(keep_hi, a + i + kQ15Vector),
                                    _mm512_maskz_loadu_epi16(keep_hi, b + i + kQ15Vector));
            ++vectors;
        }
    }
    uint64_t lanes[8];
    _mm512_storeu_si512(lanes, _mm512_add_epi64(acc0, acc1));
    uint64_t sum = 0;
    for (uint64_t lane : lanes) {
        sum += lane;
    }
    return sum - vectors * kQ15LanesPerVector * kPairBias;
}

// ---- dot_q8: vpdpbusd multiplies unsigned by signed bytes and adds four
// products to a 32-bit lane, wrapping. Flipping the sign bit of a gives the
// unsigned byte a + 128, so its sums are those of a * b plus 128 * b; a second
// vpdpbusd of 128 against b gathers that excess, taken off at the end. All of
// it is exact modulo 2^32, as the result is. Masked-off bytes are zero in b
// and add nothing to either sum.
constexpr size_t kQ8Vector = 64;
constexpr size_t kQ8Chains = 4;
static_assert(kQ8Vector == kAvx512DotQ8MinBytes && kVectorBytes == kAvx512DotQ15MinBytes,
              "the dispatch's thresholds (paths.h)");
constexpr size_t kQ8Block = kQ8Chains * kQ8Vector;

struct Q8Sums {
    __m512i products;  // sums of (a + 128) * b
    __m512i excess;    // sums of 128 * b
};

CORVANE_AVX512VNNI Q8Sums add_q8_pairs(Q8Sums acc, __m512i x, __m512i y)
{
    const __m512i flip = _mm512_set1_epi8(static_cast<char>(0x80));
    return {_mm512_dpbusd_epi32(acc.products, _mm512_xor_si512(x, flip), y),
            _mm512_dpbusd_epi32(acc.excess, flip, y)};
}

CORVANE_AVX512VNNI uint32_t dot_q8_vectors(const int8_t *a, const int8_t *b, size_t n)
{
    Q8Sums acc[kQ8Chains];
    for (auto &chain : acc) {
        chain = {_mm512_setzero_si512(), _mm512_setzero_si512()};
    }
    size_t i = std::min(n, samples_to_alignment(a, kVectorBytes));
    if (i > 0) {
        const __mmask64 keep = (__mmask64{1} << i) - 1;
        acc[1] = add_q8_pairs(acc[1], _mm512_maskz_loadu_epi8(keep, a), _mm512_maskz_loadu_epi8(keep, b));
    }
    for (; n - i >= kQ8Block; i += kQ8Block) {
        for (size_t k = 0; k < kQ8Chains; ++k) {
            acc[k] = add_q8_pairs(acc[k], _mm512_loadu_si512(a + i + k * kQ8Vector),
                                  _mm512_loadu_si512(b + i + k * kQ8Vector));
        }
    }
    for (; n - i >= kQ8Vector; i += kQ8Vector) {
        acc[0] = add_q8_pairs(acc[0], _mm512_loadu_si512(a + i), _mm512_loadu_si512(b + i));
    }
    if (i < n) {
        const __mmask64 keep = (__mmask64{1} << (n - i)) - 1;
        acc[1] = add_q8_pairs(acc[1], _mm512_maskz_loadu_epi8(keep, a + i), _mm512_maskz_loadu_epi8(keep, b + i));
    }
    __m512i total = _mm512_setzero_si512();
    for (const auto &chain : acc) {
        total = _mm512_add_epi32(total, _mm512_sub_epi32(chain.products, chain.excess));
    }
    uint32_t lanes[16];
    _mm512_storeu_si512(lanes, total);
    uint32_t sum = 0;
    for (uint32_t lane : lanes) {
        sum += lane;
    }
    return sum;
}

#undef CORVANE_AVX512BW
#undef CORVANE_AVX512VNNI

}  // namespace

int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    // Below one vector the SSE2 path's fixed costs are lower.
    if (n * sizeof(int16_t) < kVectorBytes) {
        return sse2::dot_q15(a, n, b, n);
    }
    // Past the cache-resident sizes the loads decide, and on Zen 4 the
    // 32-byte ones stream about 5% faster there (every AVX-512 CPU has AVX2).
    if (n * sizeof(int16_t) > kDotQ15StreamingBytes) {
        return avx2::dot_q15(a, n, b, n);
    }
    return static_cast<int64_t>(dot_q15_vectors(a, b, n));
}

int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    // Below one vector the SSE2 path's fixed costs are lower.
    if (n < kQ8Vector) {
        return sse2::dot_q8(a, n, b, n);
    }
    return static_cast<int32_t>(dot_q8_vectors(a, b, n));
}

}  // namespace corvane::avx512

#endif  // CORVANE_X86_PATHS
