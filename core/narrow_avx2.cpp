// AVX2 narrowing of raw 64-bit sums, for the AVX2 FIR path and narrow_q15 /
// narrow_q8 on CPUs without AVX-512. AVX2 lacks the 64-bit arithmetic shift,
// min and max, so each is built from what it has: the shift from a logical
// one on the sign-flipped value, the clamp from 64-bit compares and blends.
//
// Every function carries its own target attribute and no shared inline
// helper is included (see elementwise_avx2.cpp).
#include "fir_paths.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

#include <cstring>

namespace corvane::fir {

namespace {

#define CORVANE_AVX2 __attribute__((target("avx2")))

constexpr size_t kStep = 8;          // two vectors of four sums
constexpr int kMaxShift = 64;        // every larger count gives 0, as 64 does

CORVANE_AVX2 __m256i load(const int64_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }

// x >> s with the sign filled in: the logical shift of x ^ m, m the lanes'
// sign masks, flipped back; a count of 64 leaves m itself.
CORVANE_AVX2 __m256i sra(__m256i x, __m128i count)
{
    const __m256i sign = _mm256_cmpgt_epi64(_mm256_setzero_si256(), x);
    return _mm256_xor_si256(_mm256_srl_epi64(_mm256_xor_si256(x, sign), count), sign);
}

// (x >> s) plus bit s-1 of x: floor((x + 2^(s-1)) / 2^s) without a sum that
// could wrap.
CORVANE_AVX2 __m256i round_shift(__m256i x, __m128i count, __m128i count_less_one)
{
    const __m256i one = _mm256_set1_epi64x(1);
    return _mm256_add_epi64(sra(x, count), _mm256_and_si256(_mm256_srl_epi64(x, count_less_one), one));
}

CORVANE_AVX2 __m256i clamp(__m256i x, __m256i lo, __m256i hi)
{
    x = _mm256_blendv_epi8(x, hi, _mm256_cmpgt_epi64(x, hi));
    return _mm256_blendv_epi8(x, lo, _mm256_cmpgt_epi64(lo, x));
}

// The low 32 bits of the four 64-bit lanes, as four int32 in the low half.
CORVANE_AVX2 __m128i low_halves(__m256i v)
{
    const __m256i even_dwords = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(v, even_dwords));
}

// Eight sums as int16 lanes, already inside the sample range. A shift of
// 0 means s <= 0: only the clamp.
CORVANE_AVX2 __m128i narrow_step(const int64_t *x, int shift, __m128i count, __m128i count_less_one,
                                 __m256i lo, __m256i hi)
{
    __m256i a = load(x), b = load(x + 4);
    if (shift >= 1) {
        a = round_shift(a, count, count_less_one);
        b = round_shift(b, count, count_less_one);
    }
    return _mm_packs_epi32(low_halves(clamp(a, lo, hi)), low_halves(clamp(b, lo, hi)));
}

// Whole steps from x; the last partial one goes through a zero-padded copy.
template <typename Sample>
CORVANE_AVX2 void narrow_all(const int64_t *x, size_t n, Sample *out, int s)
{
    const __m256i lo = _mm256_set1_epi64x(sizeof(Sample) == 2 ? INT16_MIN : INT8_MIN);
    const __m256i hi = _mm256_set1_epi64x(sizeof(Sample) == 2 ? INT16_MAX : INT8_MAX);
    const int shift = s < 0 ? 0 : (s < kMaxShift ? s : kMaxShift);
    const __m128i count = _mm_cvtsi32_si128(shift);
    const __m128i count_less_one = _mm_cvtsi32_si128(shift - 1);
    int64_t tail[kStep] = {};
    Sample narrowed[kStep];
    for (size_t i = 0; i < n; i += kStep) {
        const size_t step = n - i < kStep ? n - i : kStep;
        const int64_t *src = x + i;
        if (step < kStep) {
            std::memcpy(tail, src, step * sizeof(int64_t));
            src = tail;
        }
        const __m128i words = narrow_step(src, shift, count, count_less_one, lo, hi);
        if constexpr (sizeof(Sample) == 2) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(narrowed), words);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i *>(narrowed), _mm_packs_epi16(words, words));
        }
        std::memcpy(out + i, narrowed, step * sizeof(Sample));
    }
}

#undef CORVANE_AVX2

}  // namespace

__attribute__((target("avx2"))) void narrow15_avx2(const int64_t *x, size_t n, int16_t *out, int s)
{
    narrow_all(x, n, out, s);
}

__attribute__((target("avx2"))) void narrow8_avx2(const int64_t *x, size_t n, int8_t *out, int s)
{
    narrow_all(x, n, out, s);
}

}  // namespace corvane::fir

#endif  // CORVANE_X86_PATHS
