// AVX-512 narrowing of raw 64-bit sums in every rounding and overflow mode:
// the 64-bit arithmetic shift and the saturating or truncating narrow
// stores are single instructions, and the last partial step is masked.
// The rounding is that of narrow_avx2.cpp: the floor, plus one where the
// remainder exceeds the mode's threshold.
#include "narrow_paths.h"

#if CORVANE_X86_PATHS

#include "avx512_intrinsics.h"

namespace corvane::avx512 {

namespace {

#define CORVANE_AVX512 __attribute__((target("avx512f,avx512bw")))

constexpr size_t kStep = 8;

struct Consts {
    __m128i count;
    __m512i mask, half, half_less_one;
};

template <Rounding R>
CORVANE_AVX512 __m512i round_shift(__m512i x, const Consts &c)
{
    const __m512i floor = _mm512_sra_epi64(x, c.count);
    if constexpr (R == Rounding::Floor) {
        return floor;
    }
    const __m512i r = _mm512_and_si512(x, c.mask);
    __m512i t;
    if constexpr (R == Rounding::Nearest) {
        t = c.half_less_one;
    } else if constexpr (R == Rounding::Ceiling) {
        t = _mm512_setzero_si512();
    } else if constexpr (R == Rounding::Zero) {
        t = _mm512_andnot_si512(_mm512_srai_epi64(x, 63), c.mask);
    } else if constexpr (R == Rounding::HalfAway) {
        t = _mm512_sub_epi64(c.half_less_one, _mm512_srai_epi64(x, 63));
    } else {
        t = _mm512_sub_epi64(c.half, _mm512_and_si512(floor, _mm512_set1_epi64(1)));
    }
    return _mm512_mask_add_epi64(floor, _mm512_cmpgt_epi64_mask(r, t), floor, _mm512_set1_epi64(1));
}

CORVANE_AVX512 __mmask8 tail_mask(size_t left)
{
    return left >= kStep ? static_cast<__mmask8>(0xFF) : static_cast<__mmask8>((1u << left) - 1);
}

template <Rounding R, Overflow O, typename Sample>
CORVANE_AVX512 void narrow_all(const int64_t *x, size_t n, Sample *out, int s)
{
    const int shift = s < 0 ? 0 : s;
    const int64_t half = shift >= 1 ? int64_t{1} << (shift - 1) : 0;
    const Consts c{_mm_cvtsi32_si128(shift), _mm512_set1_epi64((int64_t{1} << shift) - 1), _mm512_set1_epi64(half),
                   _mm512_set1_epi64(half - 1)};
    for (size_t i = 0; i < n; i += kStep) {
        const __mmask8 m = tail_mask(n - i);
        __m512i v = _mm512_maskz_loadu_epi64(m, x + i);
        if (shift >= 1) {
            v = round_shift<R>(v, c);
        }
        if constexpr (sizeof(Sample) == 2 && O == Overflow::Saturate) {
            _mm512_mask_cvtsepi64_storeu_epi16(out + i, m, v);
        } else if constexpr (sizeof(Sample) == 2) {
            _mm512_mask_cvtepi64_storeu_epi16(out + i, m, v);
        } else if constexpr (O == Overflow::Saturate) {
            _mm512_mask_cvtsepi64_storeu_epi8(out + i, m, v);
        } else {
            _mm512_mask_cvtepi64_storeu_epi8(out + i, m, v);
        }
    }
}

#undef CORVANE_AVX512

}  // namespace

CORVANE_DEFINE_NARROW_PATHS

}  // namespace corvane::avx512

#endif  // CORVANE_X86_PATHS
