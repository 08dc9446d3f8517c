// AVX-512 quantisation of floats to Q15/Q7 in every rounding and overflow
// mode, the quantize_rule of rounding_rules.h eight lanes at a time in
// float64, as the AVX2 path does it (see quantize_avx2.cpp), with masks for
// the lane tests and masked loads and stores at the end of the input.
#include "narrow_paths.h"

#if CORVANE_X86_PATHS

#include "avx512_intrinsics.h"

namespace corvane::avx512 {

namespace {

#define CORVANE_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) inline

constexpr size_t kLanes = 8;
constexpr int64_t kSignBit = INT64_MIN;

CORVANE_AVX512 __m512d load8(const double *p, __mmask8 m) { return _mm512_maskz_loadu_pd(m, p); }
CORVANE_AVX512 __m512d load8(const float *p, __mmask8 m) { return _mm512_cvtps_pd(_mm256_maskz_loadu_ps(m, p)); }

CORVANE_AVX512 void store8(int16_t *p, __mmask8 m, __m256i v) { _mm_mask_storeu_epi16(p, m, _mm256_cvtepi32_epi16(v)); }
CORVANE_AVX512 void store8(int8_t *p, __mmask8 m, __m256i v) { _mm_mask_storeu_epi8(p, m, _mm256_cvtepi32_epi8(v)); }

CORVANE_AVX512 __m512d magnitude(__m512d y)
{
    return _mm512_castsi512_pd(_mm512_andnot_si512(_mm512_set1_epi64(kSignBit), _mm512_castpd_si512(y)));
}

// The roundings half up and half away take twice the scaled value, exact
// in float64: floor(y + 1/2) is (floor(2y) + 1) >> 1, and the conversion
// floors 2y without a separate rounding.
template <Rounding R>
inline constexpr double kTwice = R == Rounding::Nearest || R == Rounding::HalfAway ? 2.0 : 1.0;

CORVANE_AVX512 __m256i half_up(__m512d twice)
{
    const __m256i k = _mm512_cvt_roundpd_epi32(twice, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    return _mm256_srai_epi32(_mm256_add_epi32(k, _mm256_set1_epi32(1)), 1);
}

// The scaled value y (times kTwice<R>) rounded to an int32 (|2y| < 2^31):
// the conversion's own rounding where it is one of the rule's.
template <Rounding R>
CORVANE_AVX512 __m256i round8(__m512d y)
{
    if constexpr (R == Rounding::Floor) {
        return _mm512_cvt_roundpd_epi32(y, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    } else if constexpr (R == Rounding::Ceiling) {
        return _mm512_cvt_roundpd_epi32(y, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
    } else if constexpr (R == Rounding::Zero) {
        return _mm512_cvttpd_epi32(y);
    } else if constexpr (R == Rounding::Convergent) {
        return _mm512_cvt_roundpd_epi32(y, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    } else if constexpr (R == Rounding::Nearest) {
        return half_up(y);
    } else {
        // Half away from zero: the magnitude rounded half up, the sign put back.
        const __mmask8 negative = _mm512_cmp_pd_mask(y, _mm512_setzero_pd(), _CMP_LT_OQ);
        const __m256i r = half_up(magnitude(y));
        return _mm256_mask_sub_epi32(r, negative, _mm256_setzero_si256(), r);
    }
}

// Eight floats as eight int32 (0 where invalid); `invalid` gets the lanes'
// invalid bits.
template <Rounding R, Overflow O, typename Sample>
CORVANE_AVX512 __m256i quantize8(__m512d x, __mmask8 &invalid)
{
    constexpr double scale = sizeof(Sample) == 2 ? 32768.0 : 128.0;
    constexpr double lo = sizeof(Sample) == 2 ? -32768.0 : -128.0;
    const __m512d factor = _mm512_set1_pd(scale * kTwice<R>);
    __m512d y;
    __mmask8 valid;
    if constexpr (O == Overflow::Saturate) {
        valid = _mm512_cmp_pd_mask(x, x, _CMP_ORD_Q);
        const __m512d c = _mm512_min_pd(_mm512_max_pd(x, _mm512_set1_pd(lo / scale)),
                                        _mm512_set1_pd((-lo - 1) / scale));
        y = _mm512_maskz_mul_pd(valid, c, factor);
    } else {
        // As on AVX2: below 2^15 in magnitude the scaled value rounds within
        // int32 with the low bits of the reduced value's.
        const __mmask8 small = _mm512_cmp_pd_mask(magnitude(x), _mm512_set1_pd(32768.0), _CMP_LT_OQ);
        if (small == 0xFF) {
            valid = small;
            y = _mm512_mul_pd(x, factor);
        } else {
            const __m512d t = _mm512_roundscale_pd(_mm512_mul_pd(x, _mm512_set1_pd(0.5)), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
            const __m512d r = _mm512_sub_pd(x, _mm512_add_pd(t, t));  // NaN for +-inf and NaN
            valid = _mm512_cmp_pd_mask(r, r, _CMP_ORD_Q);
            y = _mm512_maskz_mul_pd(valid, r, factor);
        }
    }
    invalid = static_cast<__mmask8>(~valid);
    return round8<R>(y);
}

// Saturated lanes are in range already and wrapped ones keep their low
// bits: the truncating moves give either.
template <Rounding R, Overflow O, typename Float, typename Sample>
__attribute__((target("avx512f,avx512bw,avx512vl"))) size_t quantize_all(const Float *x, size_t n, Sample *out)
{
    size_t invalid = 0;
    size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        __mmask8 bad;
        store8(out + i, 0xFF, quantize8<R, O, Sample>(load8(x + i, 0xFF), bad));
        invalid += static_cast<size_t>(__builtin_popcount(bad));
    }
    if (i < n) {
        // Lanes past the end load as zeros, which are valid.
        const __mmask8 m = static_cast<__mmask8>((1u << (n - i)) - 1);
        __mmask8 bad;
        store8(out + i, m, quantize8<R, O, Sample>(load8(x + i, m), bad));
        invalid += static_cast<size_t>(__builtin_popcount(bad & m));
    }
    return invalid;
}

#undef CORVANE_AVX512

}  // namespace

CORVANE_DEFINE_QUANTIZE_PATHS

}  // namespace corvane::avx512

#endif  // CORVANE_X86_PATHS
