// AVX2 narrowing of raw 64-bit sums in every rounding and overflow mode.
// AVX2 lacks the 64-bit arithmetic shift, min and max, so each is built from
// what it has: the shift from a logical one on the sign-flipped value, the
// clamp from 64-bit compares and blends.
//
// Rounding goes as in rounds_up (rounding_rules.h): the floor, plus one when
// the remainder r = x & (2^s - 1) exceeds a threshold the mode sets per lane
// (2^(s-1) - 1 for "nearest", one more for a tie that must stay down). With
// s <= 62 both fit the signed compare.
//
// Every function carries its own target attribute and no shared inline
// helper with intrinsics is included (see elementwise_avx2.cpp).
#include "narrow_paths.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

#include <cstring>

namespace corvane::avx2 {

namespace {

#define CORVANE_AVX2 __attribute__((target("avx2")))

constexpr size_t kStep = 8;  // two vectors of four sums

CORVANE_AVX2 __m256i load(const int64_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }

struct Consts {
    __m128i count;
    __m256i mask, half, half_less_one, lo, hi;
};

template <Rounding R>
CORVANE_AVX2 __m256i round_shift(__m256i x, const Consts &c)
{
    const __m256i sign = _mm256_cmpgt_epi64(_mm256_setzero_si256(), x);
    const __m256i floor = _mm256_xor_si256(_mm256_srl_epi64(_mm256_xor_si256(x, sign), c.count), sign);
    if constexpr (R == Rounding::Floor) {
        return floor;
    }
    const __m256i r = _mm256_and_si256(x, c.mask);
    __m256i t;
    if constexpr (R == Rounding::Nearest) {
        t = c.half_less_one;
    } else if constexpr (R == Rounding::Ceiling) {
        t = _mm256_setzero_si256();
    } else if constexpr (R == Rounding::Zero) {
        t = _mm256_andnot_si256(sign, c.mask);  // never exceeded unless negative
    } else if constexpr (R == Rounding::HalfAway) {
        t = _mm256_sub_epi64(c.half_less_one, sign);  // a negative tie stays down
    } else {
        t = _mm256_sub_epi64(c.half, _mm256_and_si256(floor, _mm256_set1_epi64x(1)));  // an even floor keeps a tie
    }
    return _mm256_sub_epi64(floor, _mm256_cmpgt_epi64(r, t));
}

// The low 32 bits of the four 64-bit lanes, as four int32 in the low half.
CORVANE_AVX2 __m128i low_halves(__m256i v)
{
    const __m256i even_dwords = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(v, even_dwords));
}

CORVANE_AVX2 __m256i clamp(__m256i x, __m256i lo, __m256i hi)
{
    x = _mm256_blendv_epi8(x, hi, _mm256_cmpgt_epi64(x, hi));
    return _mm256_blendv_epi8(x, lo, _mm256_cmpgt_epi64(lo, x));
}

// Eight sums as eight samples in the low bytes of the result.
template <Rounding R, Overflow O, typename Sample>
CORVANE_AVX2 __m128i narrow_step(const int64_t *x, bool shifts, const Consts &c)
{
    __m256i a = load(x), b = load(x + 4);
    if (shifts) {
        a = round_shift<R>(a, c);
        b = round_shift<R>(b, c);
    }
    if constexpr (O == Overflow::Saturate) {
        const __m128i words = _mm_packs_epi32(low_halves(clamp(a, c.lo, c.hi)), low_halves(clamp(b, c.lo, c.hi)));
        return sizeof(Sample) == 2 ? words : _mm_packs_epi16(words, words);
    } else {
        // Unsigned packs of the masked low bits keep exactly those bits.
        const __m128i low16 = _mm_set1_epi32(0xFFFF);
        const __m128i words = _mm_packus_epi32(_mm_and_si128(low_halves(a), low16), _mm_and_si128(low_halves(b), low16));
        if constexpr (sizeof(Sample) == 2) {
            return words;
        }
        const __m128i bytes = _mm_and_si128(words, _mm_set1_epi16(0xFF));
        return _mm_packus_epi16(bytes, bytes);
    }
}

// Whole steps from x; the last partial one goes through a zero-padded copy.
template <Rounding R, Overflow O, typename Sample>
CORVANE_AVX2 void narrow_all(const int64_t *x, size_t n, Sample *out, int s)
{
    const int shift = s < 0 ? 0 : s;
    const int64_t half = shift >= 1 ? int64_t{1} << (shift - 1) : 0;
    Consts c;
    c.count = _mm_cvtsi32_si128(shift);
    c.mask = _mm256_set1_epi64x((int64_t{1} << shift) - 1);
    c.half = _mm256_set1_epi64x(half);
    c.half_less_one = _mm256_set1_epi64x(half - 1);
    c.lo = _mm256_set1_epi64x(sizeof(Sample) == 2 ? INT16_MIN : INT8_MIN);
    c.hi = _mm256_set1_epi64x(sizeof(Sample) == 2 ? INT16_MAX : INT8_MAX);
    int64_t tail[kStep] = {};
    Sample narrowed[kStep];
    for (size_t i = 0; i < n; i += kStep) {
        const size_t step = n - i < kStep ? n - i : kStep;
        const int64_t *src = x + i;
        if (step < kStep) {
            std::memcpy(tail, src, step * sizeof(int64_t));
            src = tail;
        }
        const __m128i v = narrow_step<R, O, Sample>(src, shift >= 1, c);
        if (step == kStep) {
            if constexpr (sizeof(Sample) == 2) {
                _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), v);
            } else {
                _mm_storel_epi64(reinterpret_cast<__m128i *>(out + i), v);
            }
            continue;
        }
        if constexpr (sizeof(Sample) == 2) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(narrowed), v);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i *>(narrowed), v);
        }
        std::memcpy(out + i, narrowed, step * sizeof(Sample));
    }
}

#undef CORVANE_AVX2

}  // namespace

CORVANE_DEFINE_NARROW_PATHS

}  // namespace corvane::avx2

#endif  // CORVANE_X86_PATHS
