// AVX2 sums of the FIR: sixteen consecutive outputs per block, each tap pair
// one pmaddwd per parity and tap half, or per parity alone for small taps
// (see Taps in fir_paths.h).
//
// A plain load at x[i0 - 2p - 1] puts the pair (x[i - 2p - 1], x[i - 2p]) of
// the even outputs i = i0 + 2k in 32-bit lane k; the load one sample later
// does the same for the odd outputs. No shuffles in the tap loop.
//
// Every function here carries its own target attribute and the file includes
// none of the core's inline helpers, so that no AVX2 copy of a shared inline
// function can stand in for the baseline one.
#include "fir_paths.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

namespace corvane::fir {

namespace {

#define CORVANE_AVX2 __attribute__((target("avx2")))

constexpr size_t kBlock = 16;

CORVANE_AVX2 __m256i load(const int16_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }

// hi * 2^8 + lo in four 64-bit lanes.
CORVANE_AVX2 __m256i combine(__m128i hi, __m128i lo)
{
    return _mm256_add_epi64(_mm256_slli_epi64(_mm256_cvtepi32_epi64(hi), 8), _mm256_cvtepi32_epi64(lo));
}

CORVANE_AVX2 void put(int64_t *dst, __m256i v, bool first)
{
    __m256i *p = reinterpret_cast<__m256i *>(dst);
    _mm256_storeu_si256(p, first ? v : _mm256_add_epi64(_mm256_loadu_si256(p), v));
}

// even holds outputs 0, 2, 4, 6 and odd 1, 3, 5, 7; the unpacks pair them
// within each 128-bit half and the cross-half permutes restore the order.
CORVANE_AVX2 void put_interleaved(int64_t *dst, __m256i even, __m256i odd, bool first)
{
    __m256i a = _mm256_unpacklo_epi64(even, odd);  // 0 1 | 4 5
    __m256i b = _mm256_unpackhi_epi64(even, odd);  // 2 3 | 6 7
    put(dst, _mm256_permute2x128_si256(a, b, 0x20), first);
    put(dst + 4, _mm256_permute2x128_si256(a, b, 0x31), first);
}

CORVANE_AVX2 void finish_block(__m256i he, __m256i le, __m256i ho, __m256i lo, int64_t *dst, bool first)
{
    __m256i e0 = combine(_mm256_castsi256_si128(he), _mm256_castsi256_si128(le));
    __m256i e1 = combine(_mm256_extracti128_si256(he, 1), _mm256_extracti128_si256(le, 1));
    __m256i o0 = combine(_mm256_castsi256_si128(ho), _mm256_castsi256_si128(lo));
    __m256i o1 = combine(_mm256_extracti128_si256(ho, 1), _mm256_extracti128_si256(lo, 1));
    put_interleaved(dst, e0, o0, first);
    put_interleaved(dst + 8, e1, o1, first);
}

// Each accumulator takes one multiply-add per tap pair, a chain as long as
// the filter: two blocks at a time keep eight chains in flight.
constexpr size_t kBlocksInFlight = 2;

// Sums of tap pairs [g, g_end) for kBlocks consecutive blocks from w.
template <size_t kBlocks>
CORVANE_AVX2 void block_sums(const int16_t *w, const Taps &t, size_t g, size_t g_end, int64_t *sums)
{
    __m256i he[kBlocks], le[kBlocks], ho[kBlocks], lo[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        he[b] = le[b] = ho[b] = lo[b] = _mm256_setzero_si256();
    }
    for (size_t p = g; p < g_end; ++p) {
        const __m256i th = _mm256_set1_epi32(t.hi_pairs[p]);
        const __m256i tl = _mm256_set1_epi32(t.lo_pairs[p]);
        for (size_t b = 0; b < kBlocks; ++b) {
            const int16_t *newest = w + b * kBlock - 2 * p;
            const __m256i xe = load(newest - 1);
            const __m256i xo = load(newest);
            he[b] = _mm256_add_epi32(he[b], _mm256_madd_epi16(xe, th));
            le[b] = _mm256_add_epi32(le[b], _mm256_madd_epi16(xe, tl));
            ho[b] = _mm256_add_epi32(ho[b], _mm256_madd_epi16(xo, th));
            lo[b] = _mm256_add_epi32(lo[b], _mm256_madd_epi16(xo, tl));
        }
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        finish_block(he[b], le[b], ho[b], lo[b], sums + b * kBlock, g == 0);
    }
}

// Sums of the whole pairs (Taps::whole_pairs) for kBlocks consecutive
// blocks from w: one pmaddwd per pair and parity, half those of the split,
// with the 32-bit lanes moved to 64 bits every t.whole_per_lane pairs.
template <size_t kBlocks>
CORVANE_AVX2 void whole_block_sums(const int16_t *w, const Taps &t, int64_t *sums)
{
    __m256i e0[kBlocks], e1[kBlocks], o0[kBlocks], o1[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        e0[b] = e1[b] = o0[b] = o1[b] = _mm256_setzero_si256();
    }
    for (size_t g = 0; g < t.pairs; g += t.whole_per_lane) {
        const size_t g_end = t.pairs - g < t.whole_per_lane ? t.pairs : g + t.whole_per_lane;
        __m256i e[kBlocks], o[kBlocks];
        for (size_t b = 0; b < kBlocks; ++b) {
            e[b] = o[b] = _mm256_setzero_si256();
        }
        for (size_t p = g; p < g_end; ++p) {
            const __m256i tw = _mm256_set1_epi32(t.whole_pairs[p]);
            for (size_t b = 0; b < kBlocks; ++b) {
                const int16_t *newest = w + b * kBlock - 2 * p;
                e[b] = _mm256_add_epi32(e[b], _mm256_madd_epi16(load(newest - 1), tw));
                o[b] = _mm256_add_epi32(o[b], _mm256_madd_epi16(load(newest), tw));
            }
        }
        for (size_t b = 0; b < kBlocks; ++b) {
            e0[b] = _mm256_add_epi64(e0[b], _mm256_cvtepi32_epi64(_mm256_castsi256_si128(e[b])));
            e1[b] = _mm256_add_epi64(e1[b], _mm256_cvtepi32_epi64(_mm256_extracti128_si256(e[b], 1)));
            o0[b] = _mm256_add_epi64(o0[b], _mm256_cvtepi32_epi64(_mm256_castsi256_si128(o[b])));
            o1[b] = _mm256_add_epi64(o1[b], _mm256_cvtepi32_epi64(_mm256_extracti128_si256(o[b], 1)));
        }
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        put_interleaved(sums + b * kBlock, e0[b], o0[b], true);
        put_interleaved(sums + b * kBlock + 8, e1[b], o1[b], true);
    }
}

#undef CORVANE_AVX2

}  // namespace

__attribute__((target("avx2"))) void sums_avx2(const int16_t *w, size_t n, const Taps &t, int64_t *sums)
{
    if (t.whole_per_lane != 0) {
        size_t i0 = 0;
        for (; i0 + kBlock < n; i0 += kBlocksInFlight * kBlock) {
            whole_block_sums<kBlocksInFlight>(w + i0, t, sums + i0);
        }
        if (i0 < n) {
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
