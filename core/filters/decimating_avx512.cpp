// AVX-512 sums of a FIR decimating by an even factor, straight over its
// window (polyphase_paths.h, DecimatingTaps): no inputs are gathered into
// sub-phase streams. Output m of down = 2E reads the word pairs ending at
// w[m * down - 2j], j = 0, 1, ..; a vector loaded at w + m0 * down - r *
// down - 1 holds, in lane E * t + e, the pair j = E * r - e of output m0 + t,
// so E adjacent lanes together take every pair of one output, each from
// its own row of taps, and are summed at the end.
#include "polyphase_paths.h"

#if CORVANE_X86_PATHS

#include "pair_sums_avx512.h"

#define CORVANE_DECIMATING __attribute__((target("avx512f,avx512bw,avx512vnni")))
#define CORVANE_DECIMATING_INLINE __attribute__((target("avx512f,avx512bw,avx512vnni"), always_inline)) inline

namespace corvane::polyphase {

namespace {

using fir::avx512::widen_high;
using fir::avx512::widen_low;

constexpr size_t kLanes = kDecimatingRowLanes;
static_assert(kLanes * sizeof(int32_t) == sizeof(__m512i), "a row of taps is one vector");
constexpr size_t kBlock = fir::kMaxBlock;

// Each pair of adjacent 32-bit lanes summed in 64 bits, where no sum can
// overflow.
CORVANE_DECIMATING_INLINE __m512i add_lane_pairs(__m512i v)
{
    return _mm512_add_epi64(_mm512_srai_epi64(_mm512_slli_epi64(v, 32), 32), _mm512_srai_epi64(v, 32));
}

// kBlocks blocks of 32 outputs from m0, E lanes per output. The 32-bit
// lanes move to 64 bits every per_lane rows; with E > 1 they do so with
// their neighbours already added, one 64-bit lane per pair of them.
template <size_t E, size_t kBlocks>
CORVANE_DECIMATING_INLINE void blocks(const int16_t *w, const DecimatingTaps &t, size_t m0, int64_t *sums)
{
    constexpr size_t kDown = 2 * E;
    constexpr size_t kPerVector = kLanes / E;  // outputs
    constexpr size_t kVectors = kBlocks * kBlock / kPerVector;
    constexpr size_t kWide = E == 1 ? 2 : 1;  // 64-bit accumulators per vector
    __m512i wide[kVectors][kWide];
    for (size_t v = 0; v < kVectors; ++v) {
        for (size_t k = 0; k < kWide; ++k) {
            wide[v][k] = _mm512_setzero_si512();
        }
    }
    const int16_t *const first = w + m0 * kDown - 1;
    for (size_t r0 = 0; r0 < t.rows; r0 += t.per_lane) {
        const size_t r_end = t.rows - r0 < t.per_lane ? t.rows : r0 + t.per_lane;
        __m512i acc[kVectors];
        for (size_t v = 0; v < kVectors; ++v) {
            acc[v] = _mm512_setzero_si512();
        }
        for (size_t r = r0; r < r_end; ++r) {
            const __m512i taps = _mm512_loadu_si512(t.lanes + r * kLanes);
            const int16_t *at = first - r * kDown;
            for (size_t v = 0; v < kVectors; ++v) {
                acc[v] = _mm512_dpwssd_epi32(acc[v], _mm512_loadu_si512(at + v * 2 * kLanes), taps);
            }
        }
        for (size_t v = 0; v < kVectors; ++v) {
            if constexpr (E == 1) {
                wide[v][0] = _mm512_add_epi64(wide[v][0], widen_low(acc[v]));
                wide[v][1] = _mm512_add_epi64(wide[v][1], widen_high(acc[v]));
            } else {
                wide[v][0] = _mm512_add_epi64(wide[v][0], add_lane_pairs(acc[v]));
            }
        }
    }
    int64_t *dst = sums + m0;
    if constexpr (E <= 2) {
        for (size_t v = 0; v < kVectors; ++v) {
            for (size_t k = 0; k < kWide; ++k) {
                _mm512_storeu_si512(dst + (v * kWide + k) * 8, wide[v][k]);
            }
        }
    } else {
        // Four outputs per vector, each still in two 64-bit lanes: two
        // vectors give eight outputs in order.
        static_assert(E == 4, "at most four lanes per output");
        const __m512i newer = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
        const __m512i older = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
        for (size_t v = 0; v < kVectors; v += 2) {
            const __m512i a = wide[v][0], b = wide[v + 1][0];
            _mm512_storeu_si512(dst + v * 4, _mm512_add_epi64(_mm512_permutex2var_epi64(a, newer, b),
                                                                _mm512_permutex2var_epi64(a, older, b)));
        }
    }
}

// Two blocks at a time where one block is too few vectors to keep the
// multiply-adds in flight.
template <size_t E>
CORVANE_DECIMATING_INLINE void sums_of(const int16_t *w, size_t n, const DecimatingTaps &t, int64_t *sums)
{
    constexpr size_t kRun = E == 1 ? 4 : E == 2 ? 2 : 1;
    size_t m0 = 0;
    for (; m0 + (kRun - 1) * kBlock < n; m0 += kRun * kBlock) {
        blocks<E, kRun>(w, t, m0, sums);
    }
    for (; m0 < n; m0 += kBlock) {
        blocks<E, 1>(w, t, m0, sums);
    }
}

}  // namespace

CORVANE_DECIMATING void decimating_sums_avx512(const int16_t *w, size_t n, const DecimatingTaps &t, int64_t *sums)
{
    static_assert(kMaxDecimatingDown == 8, "a sums_of per even factor");
    switch (t.down) {
    case 2: sums_of<1>(w, n, t, sums); break;
    case 4: sums_of<2>(w, n, t, sums); break;
    default: sums_of<4>(w, n, t, sums); break;
    }
}

}  // namespace corvane::polyphase

#undef CORVANE_DECIMATING
#undef CORVANE_DECIMATING_INLINE

#endif  // CORVANE_X86_PATHS
