// AVX-512 path of the biquad cascade: eight channels per register in 64-bit
// lanes, which AVX-512 serves in full (arithmetic shifts, min and max, the
// truncating 64-to-16-bit move).
#include "biquad_paths.h"

#if CORVANE_X86_PATHS

#include "avx512_intrinsics.h"

#include "biquad_lanes.h"

namespace corvane::biquad::avx512 {

namespace {

#define CORVANE_AVX512 __attribute__((target("avx512f,avx512bw")))

struct Lanes {
    using V = __m512i;
    CORVANE_BIQUAD_LANE_SECTION(V);
    static constexpr size_t kLanes = 8;

    CORVANE_AVX512 static V load(const int16_t *p)
    {
        return _mm512_cvtepi16_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
    }
    CORVANE_AVX512 static void store(int16_t *p, V v)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm512_cvtepi64_epi16(v));
    }
    CORVANE_AVX512 static V coef(int64_t c) { return _mm512_set1_epi64(c); }
    CORVANE_AVX512 static V mul(V a, V b) { return _mm512_mul_epi32(a, b); }
    CORVANE_AVX512 static V add(V a, V b) { return _mm512_add_epi64(a, b); }
    // One channel, sections in lanes.
    using M = __mmask8;
    CORVANE_AVX512 static V from(const int64_t *a) { return _mm512_loadu_si512(a); }
    CORVANE_AVX512 static V shift_in(V y, int64_t x) { return _mm512_alignr_epi64(y, _mm512_set1_epi64(x), 7); }
    CORVANE_AVX512 static int64_t lane(V y, size_t k)
    {
        return _mm_cvtsi128_si64(_mm512_castsi512_si128(_mm512_permutexvar_epi64(_mm512_set1_epi64(k), y)));
    }
    static M active(size_t lo, size_t hi) { return static_cast<M>(((1u << hi) - 1) & ~((1u << lo) - 1)); }
    CORVANE_AVX512 static V select(M m, V now, V old) { return _mm512_mask_mov_epi64(old, m, now); }
    static int64_t count_of(int f) { return f; }
    static int64_t bias_of(int) { return 0; }
    static int64_t unbias_of(int) { return 0; }

    CORVANE_AVX512 static V wrap32(V acc) { return _mm512_srai_epi64(_mm512_slli_epi64(acc, 32), 32); }

    CORVANE_AVX512 static Sec section(const Section &s, Rounding rounding)
    {
        const LaneRounding r = lane_rounding(rounding, s.f);
        const V zero = _mm512_setzero_si512();
        return {coef(s.b0), coef(s.b1), coef(s.b2), coef(s.na1), coef(s.na2),
                coef(r.pos), coef(r.neg - r.pos), coef(r.tie), coef((int64_t{1} << s.f) - 1),
                coef(s.f), zero, zero};
    }

    // floor((acc + pos or neg) / 2^f), the convergent tie made even, then
    // the overflow rule on the 64-bit quotient.
    template <bool Convergent, bool Signed, bool Saturate>
    CORVANE_AVX512 static V narrow(V acc, const Sec &s)
    {
        V sum = _mm512_add_epi64(acc, s.pos);
        if constexpr (Signed) {
            sum = _mm512_add_epi64(sum, _mm512_and_si512(_mm512_srai_epi64(acc, 63), s.delta));
        }
        V q = _mm512_srav_epi64(sum, s.count);
        if constexpr (Convergent) {
            const __mmask8 tie = _mm512_cmpeq_epi64_mask(_mm512_and_si512(acc, s.mask), s.tie);
            q = _mm512_mask_and_epi64(q, tie, q, _mm512_set1_epi64(~int64_t{1}));
        }
        if constexpr (Saturate) {
            return _mm512_min_epi64(_mm512_max_epi64(q, _mm512_set1_epi64(-32768)), _mm512_set1_epi64(32767));
        }
        return _mm512_srai_epi64(_mm512_slli_epi64(q, 48), 48);
    }
};

CORVANE_BIQUAD_LANE_KERNEL(CORVANE_AVX512, Lanes)
CORVANE_BIQUAD_SECTION_LANES(CORVANE_AVX512, Lanes)

// Up to four sections of one channel in the 256-bit forms: a step of the
// section lanes is a chain of dependent operations, and the cross-lane
// shift and the multiply are quicker on half the width.
namespace quarter {

#define CORVANE_AVX512VL __attribute__((target("avx512f,avx512bw,avx512vl")))

struct Lanes {
    using V = __m256i;
    CORVANE_BIQUAD_LANE_SECTION(V);
    static constexpr size_t kLanes = 4;

    CORVANE_AVX512VL static V load(const int16_t *p)
    {
        return _mm256_cvtepi16_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)));
    }
    CORVANE_AVX512VL static void store(int16_t *p, V v)
    {
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p), _mm256_cvtepi64_epi16(v));
    }
    CORVANE_AVX512VL static V coef(int64_t c) { return _mm256_set1_epi64x(c); }
    CORVANE_AVX512VL static V mul(V a, V b) { return _mm256_mul_epi32(a, b); }
    CORVANE_AVX512VL static V add(V a, V b) { return _mm256_add_epi64(a, b); }
    using M = __mmask8;
    CORVANE_AVX512VL static V from(const int64_t *a) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a)); }
    CORVANE_AVX512VL static V shift_in(V y, int64_t x) { return _mm256_alignr_epi64(y, _mm256_set1_epi64x(x), 3); }
    CORVANE_AVX512VL static int64_t lane(V y, size_t k)
    {
        return _mm_cvtsi128_si64(_mm256_castsi256_si128(_mm256_permutexvar_epi64(_mm256_set1_epi64x(k), y)));
    }
    static M active(size_t lo, size_t hi) { return static_cast<M>(((1u << hi) - 1) & ~((1u << lo) - 1)); }
    CORVANE_AVX512VL static V select(M m, V now, V old) { return _mm256_mask_mov_epi64(old, m, now); }
    static int64_t count_of(int f) { return f; }
    static int64_t bias_of(int) { return 0; }
    static int64_t unbias_of(int) { return 0; }

    CORVANE_AVX512VL static V wrap32(V acc) { return _mm256_srai_epi64(_mm256_slli_epi64(acc, 32), 32); }

    CORVANE_AVX512VL static Sec section(const Section &s, Rounding rounding)
    {
        const LaneRounding r = lane_rounding(rounding, s.f);
        const V zero = _mm256_setzero_si256();
        return {coef(s.b0), coef(s.b1), coef(s.b2), coef(s.na1), coef(s.na2),
                coef(r.pos), coef(r.neg - r.pos), coef(r.tie), coef((int64_t{1} << s.f) - 1),
                coef(s.f), zero, zero};
    }

    template <bool Convergent, bool Signed, bool Saturate>
    CORVANE_AVX512VL static V narrow(V acc, const Sec &s)
    {
        V sum = _mm256_add_epi64(acc, s.pos);
        if constexpr (Signed) {
            sum = _mm256_add_epi64(sum, _mm256_and_si256(_mm256_srai_epi64(acc, 63), s.delta));
        }
        V q = _mm256_srav_epi64(sum, s.count);
        if constexpr (Convergent) {
            const __mmask8 tie = _mm256_cmpeq_epi64_mask(_mm256_and_si256(acc, s.mask), s.tie);
            q = _mm256_mask_and_epi64(q, tie, q, _mm256_set1_epi64x(~int64_t{1}));
        }
        if constexpr (Saturate) {
            return _mm256_min_epi64(_mm256_max_epi64(q, _mm256_set1_epi64x(-32768)), _mm256_set1_epi64x(32767));
        }
        return _mm256_srai_epi64(_mm256_slli_epi64(q, 48), 48);
    }
};

CORVANE_BIQUAD_LANE_KERNEL(CORVANE_AVX512VL, Lanes)
CORVANE_BIQUAD_SECTION_LANES(CORVANE_AVX512VL, Lanes)

#undef CORVANE_AVX512VL

}  // namespace quarter

}  // namespace

void sosfilt(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state, int16_t *out)
{
    if (n == 0) {
        return;  // an empty block leaves the state as it is; x may be null
    }
    if (channels == 1 && plan.count > 1 && plan.count <= quarter::Lanes::kLanes) {
        quarter::run_any(plan, x, n, channels, state, out);
        return;
    }
    run_any(plan, x, n, channels, state, out);
}

}  // namespace corvane::biquad::avx512

#endif  // CORVANE_X86_PATHS
