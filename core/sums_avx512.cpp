// AVX-512 BW paths of the sums of sign-extended samples, the accumulators'
// block steps: the SSE2 paths' arithmetic (sums_sse2.cpp) on four times the
// lanes, four chains in flight. The last partial vector is read with a masked
// load, which never touches (or faults on) the bytes it leaves out.
//
// Every function that touches a 512-bit register carries its own target
// attribute (see elementwise_avx2.cpp).
#include "targets.h"

#if CORVANE_X86_PATHS

#include "avx512_intrinsics.h"

#include "paths.h"

namespace corvane::avx512 {

namespace {

#define CORVANE_AVX512BW __attribute__((target("avx512f,avx512bw")))

constexpr size_t kVectorBytes = 64;
constexpr size_t kChains = 4;
static_assert(kVectorBytes == kAvx512SumMinBytes, "the dispatch's threshold (paths.h)");

// ---- sum_q15: vpmaddwd against ones puts a pair sum (at most 2^16 in
// magnitude) in each 32-bit lane; a chain takes 8192 vectors, far below
// 2^31, before its lanes move to 64 bits.
constexpr size_t kQ15Vector = kVectorBytes / sizeof(int16_t);
constexpr size_t kQ15Block = kChains * kQ15Vector;
constexpr size_t kQ15Run = 8192 * kQ15Block;

CORVANE_AVX512BW __m512i pair_sums(__m512i x) { return _mm512_madd_epi16(x, _mm512_set1_epi16(1)); }

CORVANE_AVX512BW __m512i widen_add(__m512i acc64, __m512i v32)
{
    acc64 = _mm512_add_epi64(acc64, _mm512_cvtepi32_epi64(_mm512_castsi512_si256(v32)));
    return _mm512_add_epi64(acc64, _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(v32, 1)));
}

CORVANE_AVX512BW uint64_t lane_sum(__m512i v)
{
    uint64_t lanes[8];
    _mm512_storeu_si512(lanes, v);
    uint64_t sum = 0;
    for (uint64_t lane : lanes) {
        sum += lane;
    }
    return sum;
}

CORVANE_AVX512BW int64_t sum_q15_vectors(const int16_t *a, size_t n)
{
    __m512i total = _mm512_setzero_si512();
    size_t i = 0;
    while (n - i >= kQ15Vector) {
        const size_t run_end = i + (n - i < kQ15Run ? n - i : kQ15Run);
        __m512i acc[kChains];
        for (auto &chain : acc) {
            chain = _mm512_setzero_si512();
        }
        for (; run_end - i >= kQ15Block; i += kQ15Block) {
            for (size_t k = 0; k < kChains; ++k) {
                acc[k] = _mm512_add_epi32(acc[k], pair_sums(_mm512_loadu_si512(a + i + k * kQ15Vector)));
            }
        }
        for (; run_end - i >= kQ15Vector; i += kQ15Vector) {
            acc[0] = _mm512_add_epi32(acc[0], pair_sums(_mm512_loadu_si512(a + i)));
        }
        for (const auto &chain : acc) {
            total = widen_add(total, chain);
        }
    }
    if (i < n) {
        const __mmask32 keep = (__mmask32{1} << (n - i)) - 1;
        total = widen_add(total, pair_sums(_mm512_maskz_loadu_epi16(keep, a + i)));
    }
    return static_cast<int64_t>(lane_sum(total));
}

// ---- sum_q8: flipping the sign bit maps a sample x to the byte x + 128,
// which vpsadbw sums eight at a time into 64-bit lanes that cannot
// overflow; the 128 per sample comes off at the end, modulo 2^32 like the
// register. Masked-off bytes are zeroed after the flip.
constexpr size_t kQ8Vector = kVectorBytes;
constexpr size_t kQ8Block = kChains * kQ8Vector;

CORVANE_AVX512BW __m512i biased_byte_sums(__m512i x)
{
    const __m512i flip = _mm512_set1_epi8(static_cast<char>(0x80));
    return _mm512_sad_epu8(_mm512_xor_si512(x, flip), _mm512_setzero_si512());
}

CORVANE_AVX512BW int32_t sum_q8_vectors(const int8_t *a, size_t n)
{
    __m512i acc[kChains];
    for (auto &chain : acc) {
        chain = _mm512_setzero_si512();
    }
    size_t i = 0;
    for (; n - i >= kQ8Block; i += kQ8Block) {
        for (size_t k = 0; k < kChains; ++k) {
            acc[k] = _mm512_add_epi64(acc[k], biased_byte_sums(_mm512_loadu_si512(a + i + k * kQ8Vector)));
        }
    }
    for (; n - i >= kQ8Vector; i += kQ8Vector) {
        acc[0] = _mm512_add_epi64(acc[0], biased_byte_sums(_mm512_loadu_si512(a + i)));
    }
    if (i < n) {
        const __mmask64 keep = (__mmask64{1} << (n - i)) - 1;
        const __m512i flipped = _mm512_xor_si512(_mm512_maskz_loadu_epi8(keep, a + i),
                                                 _mm512_set1_epi8(static_cast<char>(0x80)));
        acc[1] = _mm512_add_epi64(acc[1], _mm512_sad_epu8(_mm512_maskz_mov_epi8(keep, flipped), _mm512_setzero_si512()));
    }
    const __m512i sum = _mm512_add_epi64(_mm512_add_epi64(acc[0], acc[1]), _mm512_add_epi64(acc[2], acc[3]));
    return static_cast<int32_t>(static_cast<uint32_t>(lane_sum(sum) - uint64_t{128} * n));
}

#undef CORVANE_AVX512BW

}  // namespace

// Below one vector the SSE2 paths' fixed costs are lower.
int64_t sum_q15(const int16_t *a, size_t n)
{
    if (n * sizeof(int16_t) < kVectorBytes) {
        return sse2::sum_q15(a, n);
    }
    return sum_q15_vectors(a, n);
}

int32_t sum_q8(const int8_t *a, size_t n)
{
    if (n < kQ8Vector) {
        return sse2::sum_q8(a, n);
    }
    return sum_q8_vectors(a, n);
}

}  // namespace corvane::avx512

#endif  // CORVANE_X86_PATHS
