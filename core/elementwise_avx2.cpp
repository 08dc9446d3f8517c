// AVX2 blocks of the Q15 and Q8 products. AVX2 has the rounding multiply
// (vpmulhrsw) that SSE2 lacks, which halves the work per product.
//
// Every function that touches a 256-bit register carries its own target
// attribute, never a pragma or flag over the whole file: that could let the
// linker keep an AVX2-compiled copy of a shared inline helper for the SSE2
// callers too. Lambdas do not inherit the attribute, so the lane steps are
// plain functions.
#include "targets.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

#include "paths.h"
#include "sample_rules.h"

namespace corvane::avx2 {

namespace {

#define CORVANE_AVX2 __attribute__((target("avx2")))

// Bytes of each operand per block: the output must start at least this far
// past each input (unsigned distance) for the blocks to give the forward pass.
constexpr size_t kMulQ15BlockBytes = 64;
constexpr size_t kMulQ8BlockBytes = 32;

CORVANE_AVX2 __m256i load(const void *p)
{
    return _mm256_loadu_si256(static_cast<const __m256i *>(p));
}

CORVANE_AVX2 void store(void *p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i *>(p), v); }

// vpmulhrsw gives (a*b + 2^14) >> 15 exactly, except that -32768 * -32768
// wraps to -32768; no other pair yields -32768 (the smallest product rounds
// to -32767), so flipping every bit of those lanes gives the clamp at 32767.
CORVANE_AVX2 __m256i mul_q15_lanes(__m256i a, __m256i b)
{
    const __m256i wrapped = _mm256_set1_epi16(INT16_MIN);
    __m256i r = _mm256_mulhrs_epi16(a, b);
    return _mm256_xor_si256(r, _mm256_cmpeq_epi16(r, wrapped));
}

// The even and odd bytes of each 16-bit lane are multiplied apart, each with
// one sample scaled by 2^8 and the other sign-extended: no widening shuffles.
// The rounding multiply then gives (a*b*2^8 + 2^14) >> 15 = (a*b + 64) >> 7
// exactly, -127 .. 128 in 16 bits, and the narrowing pack clamps the lone 128
// from -128 * -128. The pack leaves eight even results, then eight odd ones,
// in each 128-bit half; the byte shuffle interleaves them back in place.
CORVANE_AVX2 __m256i mul_q8_lanes(__m256i a, __m256i b)
{
    const __m256i high_bytes = _mm256_set1_epi16(static_cast<int16_t>(0xFF00));
    const __m256i interleave = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,
                                                0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    __m256i odd = _mm256_mulhrs_epi16(_mm256_and_si256(a, high_bytes), _mm256_srai_epi16(b, 8));
    __m256i even = _mm256_mulhrs_epi16(_mm256_slli_epi16(a, 8),
                                       _mm256_srai_epi16(_mm256_slli_epi16(b, 8), 8));
    return _mm256_shuffle_epi8(_mm256_packs_epi16(even, odd), interleave);
}

// Two vectors of each operand per 64-byte block, matching the SSE2 block
// size so that both paths share one distance test.
// Whole blocks over the first n samples; each returns how many samples it
// covered. Each block loads all of its inputs before it stores.
CORVANE_AVX2 size_t mul_q15_blocks(const int16_t *a, const int16_t *b,
                                                      int16_t *out, size_t n)
{
    constexpr size_t kStep = kMulQ15BlockBytes / sizeof(int16_t);
    constexpr size_t kHalf = kStep / 2;
    size_t done = 0;
    for (; n - done >= kStep; done += kStep) {
        __m256i x0 = load(a + done), x1 = load(a + done + kHalf);
        __m256i y0 = load(b + done), y1 = load(b + done + kHalf);
        store(out + done, mul_q15_lanes(x0, y0));
        store(out + done + kHalf, mul_q15_lanes(x1, y1));
    }
    return done;
}

// One vector of each operand per block: outputs as close as 32 bytes past an
// input keep the wide path.
CORVANE_AVX2 size_t mul_q8_blocks(const int8_t *a, const int8_t *b,
                                                     int8_t *out, size_t n)
{
    constexpr size_t kStep = kMulQ8BlockBytes;
    size_t done = 0;
    for (; n - done >= kStep; done += kStep) {
        __m256i x = load(a + done);
        __m256i y = load(b + done);
        store(out + done, mul_q8_lanes(x, y));
    }
    return done;
}

#undef CORVANE_AVX2

bool blocks_allowed(const void *a, const void *b, const void *out, size_t block_bytes)
{
    return byte_distance(a, out) >= block_bytes && byte_distance(b, out) >= block_bytes;
}

}  // namespace

// The SSE2 path finishes what the wide blocks leave (or all of it, when the
// output is too close for them): the same block size and distance test, so
// the two paths part only in how fast they are.
void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    const size_t n = processed(len_a, len_b);
    const size_t done = blocks_allowed(a, b, out, kMulQ15BlockBytes) ? mul_q15_blocks(a, b, out, n) : 0;
    sse2::mul_q15(a + done, n - done, b + done, n - done, out + done);
}

// Outputs too close for a 32-byte block may still take the SSE2 16-byte one.
void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    const size_t n = processed(len_a, len_b);
    const size_t done = blocks_allowed(a, b, out, kMulQ8BlockBytes) ? mul_q8_blocks(a, b, out, n) : 0;
    sse2::mul_q8(a + done, n - done, b + done, n - done, out + done);
}

}  // namespace corvane::avx2

#endif  // CORVANE_X86_PATHS
