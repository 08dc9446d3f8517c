// AVX2 path of the biquad cascade: four channels per register in 64-bit
// lanes. AVX2 has no 64-bit arithmetic shift, min or max: the quotient is
// taken with a logical shift of the sum lifted by 2^48 (a multiple of every
// 2^f, far above any sum), and clamped with compares and blends.
#include "biquad_paths.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

#include "biquad_lanes.h"

namespace corvane::biquad::avx2 {

namespace {

#define CORVANE_AVX2 __attribute__((target("avx2")))

constexpr int kBiasBits = 48;

struct Lanes {
    using V = __m256i;
    CORVANE_BIQUAD_LANE_SECTION(V);
    static constexpr size_t kLanes = 4;

    CORVANE_AVX2 static V load(const int16_t *p)
    {
        return _mm256_cvtepi16_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)));
    }
    // The low 16 bits of each lane: lanes hold their sample sign-extended in
    // at least their low 32 bits, which packs without saturating.
    CORVANE_AVX2 static void store(int16_t *p, V v)
    {
        const __m128i low = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p), _mm_packs_epi32(low, low));
    }
    CORVANE_AVX2 static V coef(int64_t c) { return _mm256_set1_epi64x(c); }
    CORVANE_AVX2 static V mul(V a, V b) { return _mm256_mul_epi32(a, b); }
    CORVANE_AVX2 static V add(V a, V b) { return _mm256_add_epi64(a, b); }
    // One channel, sections in lanes.
    using M = __m256i;
    CORVANE_AVX2 static V from(const int64_t *a) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a)); }
    CORVANE_AVX2 static V shift_in(V y, int64_t x)
    {
        const V up = _mm256_permute4x64_epi64(y, _MM_SHUFFLE(2, 1, 0, 0));
        return _mm256_blend_epi32(up, _mm256_castsi128_si256(_mm_cvtsi64_si128(x)), 0x03);
    }
    // The low 32 bits of lane k (which hold its sample).
    CORVANE_AVX2 static int64_t lane(V y, size_t k)
    {
        const V at = _mm256_set1_epi32(static_cast<int>(2 * k));
        return _mm256_cvtsi256_si32(_mm256_permutevar8x32_epi32(y, at));
    }
    CORVANE_AVX2 static M active(size_t lo, size_t hi)
    {
        const V index = _mm256_setr_epi64x(0, 1, 2, 3);
        const V from = _mm256_set1_epi64x(static_cast<int64_t>(lo) - 1), to = _mm256_set1_epi64x(static_cast<int64_t>(hi));
        return _mm256_and_si256(_mm256_cmpgt_epi64(index, from), _mm256_cmpgt_epi64(to, index));
    }
    CORVANE_AVX2 static V select(M m, V now, V old) { return _mm256_blendv_epi8(old, now, m); }
    static int64_t count_of(int f) { return f; }
    static int64_t bias_of(int) { return int64_t{1} << kBiasBits; }
    static int64_t unbias_of(int f) { return int64_t{1} << (kBiasBits - f); }

    // The low 32 bits sign-extended into the high ones.
    CORVANE_AVX2 static V wrap32(V acc)
    {
        const V sign = _mm256_shuffle_epi32(_mm256_srai_epi32(acc, 31), _MM_SHUFFLE(2, 2, 0, 0));
        return _mm256_blend_epi32(acc, sign, 0xAA);
    }

    CORVANE_AVX2 static Sec section(const Section &s, Rounding rounding)
    {
        const LaneRounding r = lane_rounding(rounding, s.f);
        return {coef(s.b0), coef(s.b1), coef(s.b2), coef(s.na1), coef(s.na2),
                coef(r.pos), coef(r.neg - r.pos), coef(r.tie), coef((int64_t{1} << s.f) - 1),
                coef(s.f), coef(int64_t{1} << kBiasBits), coef(int64_t{1} << (kBiasBits - s.f))};
    }

    template <bool Convergent, bool Signed, bool Saturate>
    CORVANE_AVX2 static V narrow(V acc, const Sec &s)
    {
        V sum = _mm256_add_epi64(acc, _mm256_add_epi64(s.pos, s.bias));
        if constexpr (Signed) {
            sum = _mm256_add_epi64(sum, _mm256_and_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), acc), s.delta));
        }
        V lifted = _mm256_srlv_epi64(sum, s.count);
        if constexpr (Convergent) {
            // The lift is even, so clearing bit 0 evens the quotient itself.
            const V tie = _mm256_cmpeq_epi64(_mm256_and_si256(acc, s.mask), s.tie);
            lifted = _mm256_andnot_si256(_mm256_and_si256(tie, _mm256_set1_epi64x(1)), lifted);
        }
        if constexpr (Saturate) {
            const V hi = _mm256_set1_epi64x(32767), lo = _mm256_set1_epi64x(-32768);
            V q = _mm256_sub_epi64(lifted, s.unbias);
            q = _mm256_blendv_epi8(q, hi, _mm256_cmpgt_epi64(q, hi));
            return _mm256_blendv_epi8(q, lo, _mm256_cmpgt_epi64(lo, q));
        }
        // The lift is a multiple of 2^16: the low 16 bits are the quotient's.
        return _mm256_srai_epi32(_mm256_slli_epi32(lifted, 16), 16);
    }
};

CORVANE_BIQUAD_LANE_KERNEL(CORVANE_AVX2, Lanes)
CORVANE_BIQUAD_SECTION_LANES(CORVANE_AVX2, Lanes)

}  // namespace

void sosfilt(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state, int16_t *out)
{
    if (n == 0) {
        return;  // an empty block leaves the state as it is; x may be null
    }
    run_any(plan, x, n, channels, state, out);
}

}  // namespace corvane::biquad::avx2

#endif  // CORVANE_X86_PATHS
