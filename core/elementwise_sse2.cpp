// SSE2 paths of the saturating add/sub and rounding multiply of Q15 and Q8
// sample arrays.
//
// Each kernel runs SSE2 blocks over the bulk of the arrays when the output is
// far enough from both inputs for a block to reproduce the forward pass, and
// the scalar rule over everything else.
#include "targets.h"

#if CORVANE_X86_PATHS

#include "paths.h"
#include "sample_rules.h"
#include "simd_sse2.h"

using namespace corvane;

namespace {

// Four vectors of each operand per step keep enough independent work in
// flight to hide the load latency; the output must then sit a whole block
// past each input.
constexpr size_t kWideVectors = 4;
constexpr size_t kWideBlockBytes = kWideVectors * sse2::kVectorBytes;
// The Q8 product is bound by the multiplier, not by loads, so one vector per
// step loses nothing and lets outputs as close as one vector past an input
// keep the block path.
constexpr size_t kMulQ8BlockBytes = sse2::kVectorBytes;

inline bool blocks_allowed(const void *a, const void *b, const void *out, size_t block_bytes)
{
    return sse2::far_enough(a, out, block_bytes) && sse2::far_enough(b, out, block_bytes);
}

inline __m128i add_q15_lanes(__m128i a, __m128i b) { return _mm_adds_epi16(a, b); }
inline __m128i sub_q15_lanes(__m128i a, __m128i b) { return _mm_subs_epi16(a, b); }
inline __m128i add_q8_lanes(__m128i a, __m128i b) { return _mm_adds_epi8(a, b); }
inline __m128i sub_q8_lanes(__m128i a, __m128i b) { return _mm_subs_epi8(a, b); }

// The multiplies are what limits the products: SSE2 has no rounding 16-bit
// multiply, so each takes exactly two multiplies per vector of products and
// as few other steps as possible.

// With p = a*b = hi*2^16 + lo (lo unsigned), (p + 2^14) >> 15 is
// 2*hi + ((lo >> 14) + 1) / 2, and the average against zero forms the second
// term. Saturating adds clamp the lone 32768 from -32768 * -32768 and never
// act on any other pair.
inline __m128i mul_q15_lanes(__m128i a, __m128i b)
{
    __m128i hi = _mm_mulhi_epi16(a, b);
    __m128i lo = _mm_mullo_epi16(a, b);
    __m128i round = _mm_avg_epu16(_mm_srli_epi16(lo, 14), _mm_setzero_si128());
    return _mm_adds_epi16(_mm_adds_epi16(hi, hi), round);
}

// Samples moved to the high byte of 16-bit lanes (a*2^8, b*2^8) give the
// exact Q14 product as the high half of their product: no sign extension
// needed. Product plus half lies in -16192 .. 16448, and the narrowing pack
// clamps the lone 128 from -128 * -128.
inline __m128i mul_q8_half_lanes(__m128i a_hi8, __m128i b_hi8)
{
    const __m128i half = _mm_set1_epi16(static_cast<int16_t>(kQ8Half));
    return _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(a_hi8, b_hi8), half), 7);
}

inline __m128i mul_q8_lanes(__m128i a, __m128i b)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = mul_q8_half_lanes(_mm_unpacklo_epi8(zero, a), _mm_unpacklo_epi8(zero, b));
    __m128i hi = mul_q8_half_lanes(_mm_unpackhi_epi8(zero, a), _mm_unpackhi_epi8(zero, b));
    return _mm_packs_epi16(lo, hi);
}

// Q15: blocks of 32 samples, then the scalar rule.
template <typename Lanes, typename Rule>
inline void q15_pass(const int16_t *a, const int16_t *b, int16_t *out, size_t n, Lanes lanes,
                     Rule rule)
{
    size_t done = 0;
    if (blocks_allowed(a, b, out, kWideBlockBytes)) {
        done = sse2::binary_blocks<kWideVectors>(a, b, out, n * sizeof(int16_t), lanes) /
               sizeof(int16_t);
    }
    forward_binary(a, b, out, done, n, rule);
}

// Q8: blocks of kVectors vectors, then half vectors, then the scalar rule.
template <size_t kVectors, typename Lanes, typename Rule>
inline void q8_pass(const int8_t *a, const int8_t *b, int8_t *out, size_t n, Lanes lanes,
                    Rule rule)
{
    size_t done = 0;
    if (blocks_allowed(a, b, out, kVectors * sse2::kVectorBytes)) {
        done = sse2::binary_blocks<kVectors>(a, b, out, n, lanes);
        done += sse2::binary_half_blocks(a + done, b + done, out + done, n - done, lanes);
    }
    forward_binary(a, b, out, done, n, rule);
}

}  // namespace

namespace corvane::sse2 {

void add_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    q15_pass(a, b, out, processed(len_a, len_b), add_q15_lanes, add_q15_rule);
}

void sub_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    q15_pass(a, b, out, processed(len_a, len_b), sub_q15_lanes, sub_q15_rule);
}

void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    q15_pass(a, b, out, processed(len_a, len_b), mul_q15_lanes, mul_q15_rule);
}

void add_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    q8_pass<kWideVectors>(a, b, out, processed(len_a, len_b), add_q8_lanes, add_q8_rule);
}

void sub_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    q8_pass<kWideVectors>(a, b, out, processed(len_a, len_b), sub_q8_lanes, sub_q8_rule);
}

void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    q8_pass<kMulQ8BlockBytes / sse2::kVectorBytes>(a, b, out, processed(len_a, len_b),
                                                   mul_q8_lanes, mul_q8_rule);
}

}  // namespace corvane::sse2

#endif  // CORVANE_X86_PATHS
