// AVX2 quantisation of floats to Q15/Q7 in every rounding and overflow mode,
// the quantize_rule of rounding_rules.h four lanes at a time in float64:
// saturation clamps before the scaling, wrap reduces modulo 2 first, and
// the roundings are the exact floor, ceiling, truncation and ties-to-even
// of vroundpd ("nearest" and "round" built on the floor, as in the rule).
#include "narrow_paths.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

#include <cstring>

namespace corvane::avx2 {

namespace {

#define CORVANE_AVX2 __attribute__((target("avx2")))

constexpr size_t kStep = 8;  // two vectors of four lanes

CORVANE_AVX2 __m256d load4(const double *p) { return _mm256_loadu_pd(p); }
CORVANE_AVX2 __m256d load4(const float *p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }

template <Rounding R>
CORVANE_AVX2 __m256d round4(__m256d y)
{
    const __m256d one = _mm256_set1_pd(1.0), half = _mm256_set1_pd(0.5);
    if constexpr (R == Rounding::Floor) {
        return _mm256_round_pd(y, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    } else if constexpr (R == Rounding::Ceiling) {
        return _mm256_round_pd(y, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
    } else if constexpr (R == Rounding::Zero) {
        return _mm256_round_pd(y, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    } else if constexpr (R == Rounding::Convergent) {
        return _mm256_round_pd(y, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    } else if constexpr (R == Rounding::Nearest) {
        const __m256d f = _mm256_round_pd(y, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        return _mm256_add_pd(f, _mm256_and_pd(_mm256_cmp_pd(_mm256_sub_pd(y, f), half, _CMP_GE_OQ), one));
    } else {
        const __m256d sign = _mm256_set1_pd(-0.0);
        const __m256d a = _mm256_andnot_pd(sign, y);
        const __m256d f = _mm256_round_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        const __m256d r = _mm256_add_pd(f, _mm256_and_pd(_mm256_cmp_pd(_mm256_sub_pd(a, f), half, _CMP_GE_OQ), one));
        return _mm256_or_pd(r, _mm256_and_pd(sign, y));
    }
}

// Four floats as four int32 (0 where invalid); `invalid` gets the lanes'
// invalid bits.
template <Rounding R, Overflow O, typename Sample>
CORVANE_AVX2 __m128i quantize4(__m256d x, int &invalid)
{
    constexpr double scale = sizeof(Sample) == 2 ? 32768.0 : 128.0;
    constexpr double lo = sizeof(Sample) == 2 ? -32768.0 : -128.0;
    __m256d y, valid;
    if constexpr (O == Overflow::Saturate) {
        valid = _mm256_cmp_pd(x, x, _CMP_ORD_Q);
        const __m256d c = _mm256_min_pd(_mm256_max_pd(x, _mm256_set1_pd(lo / scale)),
                                        _mm256_set1_pd((-lo - 1) / scale));
        y = _mm256_mul_pd(c, _mm256_set1_pd(scale));
    } else {
        // Below 2^15 in magnitude the scaled value rounds within int32, whose
        // low bits are those of the reduced value's: the reduction is needed
        // only for the rare larger, infinite or NaN lanes.
        const __m256d small = _mm256_cmp_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), x), _mm256_set1_pd(32768.0), _CMP_LT_OQ);
        if (_mm256_movemask_pd(small) == 0xF) {
            valid = small;
            y = _mm256_mul_pd(x, _mm256_set1_pd(scale));
        } else {
            const __m256d t = _mm256_round_pd(_mm256_mul_pd(x, _mm256_set1_pd(0.5)), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
            const __m256d r = _mm256_sub_pd(x, _mm256_add_pd(t, t));  // NaN for +-inf and NaN
            valid = _mm256_cmp_pd(r, r, _CMP_ORD_Q);
            y = _mm256_mul_pd(r, _mm256_set1_pd(scale));
        }
    }
    invalid = ~_mm256_movemask_pd(valid) & 0xF;
    return _mm256_cvttpd_epi32(_mm256_and_pd(round4<R>(y), valid));
}

template <Rounding R, Overflow O, typename Float, typename Sample>
CORVANE_AVX2 size_t quantize_all(const Float *x, size_t n, Sample *out)
{
    size_t invalid = 0;
    Float tail[kStep] = {};
    Sample narrowed[kStep];
    for (size_t i = 0; i < n; i += kStep) {
        const size_t step = n - i < kStep ? n - i : kStep;
        const Float *src = x + i;
        if (step < kStep) {
            std::memcpy(tail, src, step * sizeof(Float));
            src = tail;
        }
        int bad_a, bad_b;
        const __m128i a = quantize4<R, O, Sample>(load4(src), bad_a);
        const __m128i b = quantize4<R, O, Sample>(load4(src + 4), bad_b);
        invalid += __builtin_popcount(bad_a | (bad_b << 4));
        __m128i v;
        if constexpr (O == Overflow::Saturate) {
            v = _mm_packs_epi32(a, b);
            if constexpr (sizeof(Sample) == 1) {
                v = _mm_packs_epi16(v, v);
            }
        } else {
            const __m128i low16 = _mm_set1_epi32(0xFFFF);
            v = _mm_packus_epi32(_mm_and_si128(a, low16), _mm_and_si128(b, low16));
            if constexpr (sizeof(Sample) == 1) {
                v = _mm_and_si128(v, _mm_set1_epi16(0xFF));
                v = _mm_packus_epi16(v, v);
            }
        }
        Sample *dst = step == kStep ? out + i : narrowed;
        if constexpr (sizeof(Sample) == 2) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), v);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), v);
        }
        if (step < kStep) {
            std::memcpy(out + i, narrowed, step * sizeof(Sample));
        }
    }
    return invalid;
}

#undef CORVANE_AVX2

}  // namespace

CORVANE_DEFINE_QUANTIZE_PATHS

}  // namespace corvane::avx2

#endif  // CORVANE_X86_PATHS
