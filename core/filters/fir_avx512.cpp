// AVX-512 path of the FIR sums, 32 consecutive outputs per block with VNNI's
// fused pmaddwd-and-add (the narrowing is in core/narrow_avx512.cpp).
//
// The sums follow the AVX2 path's layout (see fir_avx2.cpp). As there, every
// function carries its own target attribute and no shared inline helper is
// included.
#include "fir_paths.h"

#if CORVANE_X86_PATHS

#include "avx512_intrinsics.h"

namespace corvane::fir {

namespace {

#define CORVANE_AVX512 __attribute__((target("avx512f,avx512bw,avx512vnni"), always_inline)) inline

constexpr size_t kBlock = 32;

CORVANE_AVX512 __m512i load(const int16_t *p) { return _mm512_loadu_si512(p); }

CORVANE_AVX512 __m512i combine(__m256i hi, __m256i lo)
{
    return _mm512_add_epi64(_mm512_slli_epi64(_mm512_cvtepi32_epi64(hi), 8), _mm512_cvtepi32_epi64(lo));
}

CORVANE_AVX512 void put(int64_t *dst, __m512i v, bool first)
{
    _mm512_storeu_si512(dst, first ? v : _mm512_add_epi64(_mm512_loadu_si512(dst), v));
}

// even holds outputs 0, 2, .., 14 and odd 1, 3, .., 15.
CORVANE_AVX512 void put_interleaved(int64_t *dst, __m512i even, __m512i odd, bool first)
{
    const __m512i first_half = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
    const __m512i second_half = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
    put(dst, _mm512_permutex2var_epi64(even, first_half, odd), first);
    put(dst + 8, _mm512_permutex2var_epi64(even, second_half, odd), first);
}

CORVANE_AVX512 void finish_block(__m512i he, __m512i le, __m512i ho, __m512i lo, int64_t *dst, bool first)
{
    __m512i e0 = combine(_mm512_castsi512_si256(he), _mm512_castsi512_si256(le));
    __m512i e1 = combine(_mm512_extracti64x4_epi64(he, 1), _mm512_extracti64x4_epi64(le, 1));
    __m512i o0 = combine(_mm512_castsi512_si256(ho), _mm512_castsi512_si256(lo));
    __m512i o1 = combine(_mm512_extracti64x4_epi64(ho, 1), _mm512_extracti64x4_epi64(lo, 1));
    put_interleaved(dst, e0, o0, first);
    put_interleaved(dst + 16, e1, o1, first);
}

// Each accumulator takes one fused multiply-add per tap pair, a chain as
// long as the filter: two blocks at a time keep eight chains in flight.
constexpr size_t kBlocksInFlight = 2;

// Sums of tap pairs [g, g_end) for kBlocks consecutive blocks from w.
template <size_t kBlocks>
CORVANE_AVX512 void block_sums(const int16_t *w, const Taps &t, size_t g, size_t g_end, int64_t *sums)
{
    __m512i he[kBlocks], le[kBlocks], ho[kBlocks], lo[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        he[b] = le[b] = ho[b] = lo[b] = _mm512_setzero_si512();
    }
    for (size_t p = g; p < g_end; ++p) {
        const __m512i th = _mm512_set1_epi32(t.hi_pairs[p]);
        const __m512i tl = _mm512_set1_epi32(t.lo_pairs[p]);
        for (size_t b = 0; b < kBlocks; ++b) {
            const int16_t *newest = w + b * kBlock - 2 * p;
            const __m512i xe = load(newest - 1);
            const __m512i xo = load(newest);
            he[b] = _mm512_dpwssd_epi32(he[b], xe, th);
            le[b] = _mm512_dpwssd_epi32(le[b], xe, tl);
            ho[b] = _mm512_dpwssd_epi32(ho[b], xo, th);
            lo[b] = _mm512_dpwssd_epi32(lo[b], xo, tl);
        }
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        finish_block(he[b], le[b], ho[b], lo[b], sums + b * kBlock, g == 0);
    }
}

CORVANE_AVX512 __m512i widen_low(__m512i v) { return _mm512_cvtepi32_epi64(_mm512_castsi512_si256(v)); }
CORVANE_AVX512 __m512i widen_high(__m512i v) { return _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(v, 1)); }

// Whole taps take two multiply-adds per pair and block, not four: twice the
// blocks keep as many chains in flight.
constexpr size_t kWholeBlocksInFlight = 2 * kBlocksInFlight;

// Sums of every pair, whole taps, for kBlocks consecutive blocks from w:
// the 32-bit lanes move into 64-bit ones every t.whole_per_lane pairs, and
// the block's sums are stored once, in order.
template <size_t kBlocks>
CORVANE_AVX512 void whole_block_sums(const int16_t *w, const Taps &t, int64_t *sums)
{
    __m512i e0[kBlocks], e1[kBlocks], o0[kBlocks], o1[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        e0[b] = e1[b] = o0[b] = o1[b] = _mm512_setzero_si512();
    }
    for (size_t g = 0; g < t.pairs; g += t.whole_per_lane) {
        const size_t g_end = t.pairs - g < t.whole_per_lane ? t.pairs : g + t.whole_per_lane;
        __m512i e[kBlocks], o[kBlocks];
        for (size_t b = 0; b < kBlocks; ++b) {
            e[b] = o[b] = _mm512_setzero_si512();
        }
        for (size_t p = g; p < g_end; ++p) {
            const __m512i tw = _mm512_set1_epi32(t.whole_pairs[p]);
            for (size_t b = 0; b < kBlocks; ++b) {
                const int16_t *newest = w + b * kBlock - 2 * p;
                e[b] = _mm512_dpwssd_epi32(e[b], load(newest - 1), tw);
                o[b] = _mm512_dpwssd_epi32(o[b], load(newest), tw);
            }
        }
        for (size_t b = 0; b < kBlocks; ++b) {
            e0[b] = _mm512_add_epi64(e0[b], widen_low(e[b]));
            e1[b] = _mm512_add_epi64(e1[b], widen_high(e[b]));
            o0[b] = _mm512_add_epi64(o0[b], widen_low(o[b]));
            o1[b] = _mm512_add_epi64(o1[b], widen_high(o[b]));
        }
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        put_interleaved(sums + b * kBlock, e0[b], o0[b], true);
        put_interleaved(sums + b * kBlock + 16, e1[b], o1[b], true);
    }
}

#undef CORVANE_AVX512

}  // namespace

__attribute__((target("avx512f,avx512bw,avx512vnni"))) void sums_avx512(const int16_t *w, size_t n,
                                                                        const Taps &t, int64_t *sums)
{
    if (t.whole_per_lane != 0) {
        size_t i0 = 0;
        for (; i0 + (kWholeBlocksInFlight - 1) * kBlock < n; i0 += kWholeBlocksInFlight * kBlock) {
            whole_block_sums<kWholeBlocksInFlight>(w + i0, t, sums + i0);
        }
        for (; i0 < n; i0 += kBlock) {
            whole_block_sums<1>(w + i0, t, sums + i0);
        }
        return;
    }
    for (size_t g = 0; g < t.pairs; g += kPairsPerGroup) {
        const size_t g_end = t.pairs - g < kPairsPerGroup ? t.pairs : g + kPairsPerGroup;
        size_t i0 = 0;
        for (; i0 + kBlock < n; i0 += kBlocksInFlight * kBlock) {
            block_sums<kBlocksInFlight>(w + i0, t, g, g_end, sums + i0);
        }
        if (i0 < n) {
            block_sums<1>(w + i0, t, g, g_end, sums + i0);
        }
    }
}

}  // namespace corvane::fir

#endif  // CORVANE_X86_PATHS
