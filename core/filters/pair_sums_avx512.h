// Internal: the AVX-512 VNNI blocks of sums that the FIR and the polyphase
// class sums share, over the tap pairs of fir::Taps. A block is 32
// consecutive outputs: the pairs at the even outputs load from one sample
// before those at the odd ones, so each accumulator holds 16 of one kind,
// and the 64-bit sums go back in order when the block is stored.
//
// A kernel takes `newest(j)`, the newest sample of tap pair j's window at
// output 0, so that the FIR (pair j at w - 2j) and a class of plain
// FIRs (pairs of several windows) run the same loop. Every function is
// inlined into its caller, which carries the same target attribute.
#ifndef CORVANE_PAIR_SUMS_AVX512_H
#define CORVANE_PAIR_SUMS_AVX512_H

#include "fir_paths.h"

#if CORVANE_X86_PATHS

#include "avx512_intrinsics.h"

namespace corvane::fir::avx512 {

#define CORVANE_PAIR_SUMS __attribute__((target("avx512f,avx512bw,avx512vnni"), always_inline)) inline

inline constexpr size_t kBlock = 32;

// Each accumulator takes one fused multiply-add per tap pair, a chain as
// long as the filter: split taps keep eight chains in flight with two
// blocks, whole taps (two multiply-adds per pair and block) with four.
inline constexpr size_t kSplitBlocks = 2;
inline constexpr size_t kWholeBlocks = 4;

CORVANE_PAIR_SUMS __m512i widen_low(__m512i v) { return _mm512_cvtepi32_epi64(_mm512_castsi512_si256(v)); }
CORVANE_PAIR_SUMS __m512i widen_high(__m512i v) { return _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(v, 1)); }

// hi * 2^8 + lo, the split sums put back together in 64 bits.
CORVANE_PAIR_SUMS __m512i join(__m512i hi, __m512i lo) { return _mm512_add_epi64(_mm512_slli_epi64(hi, 8), lo); }

CORVANE_PAIR_SUMS void add_to(int64_t *dst, __m512i v, bool first)
{
    _mm512_storeu_si512(dst, first ? v : _mm512_add_epi64(_mm512_loadu_si512(dst), v));
}

// Even outputs 0, 2, .. and odd 1, 3, .. back in order, 16 at a time.
CORVANE_PAIR_SUMS void add_in_order(int64_t *dst, __m512i even, __m512i odd, bool first)
{
    const __m512i low = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
    const __m512i high = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
    add_to(dst, _mm512_permutex2var_epi64(even, low, odd), first);
    add_to(dst + 8, _mm512_permutex2var_epi64(even, high, odd), first);
}

// Sums of split pairs [begin, end) for kBlocks blocks from output i0, added
// to sums unless `first`. end - begin <= kPairsPerGroup, so the 32-bit
// lanes are exact.
template <size_t kBlocks, typename Newest>
CORVANE_PAIR_SUMS void split_blocks(Newest newest, const int32_t *hi_pairs, const int32_t *lo_pairs, size_t begin,
                                    size_t end, size_t i0, int64_t *sums, bool first)
{
    __m512i he[kBlocks], le[kBlocks], ho[kBlocks], lo[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        he[b] = le[b] = ho[b] = lo[b] = _mm512_setzero_si512();
    }
    for (size_t j = begin; j < end; ++j) {
        const __m512i th = _mm512_set1_epi32(hi_pairs[j]);
        const __m512i tl = _mm512_set1_epi32(lo_pairs[j]);
        for (size_t b = 0; b < kBlocks; ++b) {
            const int16_t *at = newest(j) + i0 + b * kBlock;
            const __m512i xe = _mm512_loadu_si512(at - 1);
            const __m512i xo = _mm512_loadu_si512(at);
            he[b] = _mm512_dpwssd_epi32(he[b], xe, th);
            le[b] = _mm512_dpwssd_epi32(le[b], xe, tl);
            ho[b] = _mm512_dpwssd_epi32(ho[b], xo, th);
            lo[b] = _mm512_dpwssd_epi32(lo[b], xo, tl);
        }
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        int64_t *dst = sums + i0 + b * kBlock;
        add_in_order(dst, join(widen_low(he[b]), widen_low(le[b])), join(widen_low(ho[b]), widen_low(lo[b])), first);
        add_in_order(dst + 16, join(widen_high(he[b]), widen_high(le[b])), join(widen_high(ho[b]), widen_high(lo[b])),
                     first);
    }
}

// Sums of whole pairs [0, pairs) for kBlocks blocks from output i0, added
// to sums unless `first`: the 32-bit lanes move into 64-bit ones every
// per_lane pairs.
template <size_t kBlocks, typename Newest>
CORVANE_PAIR_SUMS void whole_blocks(Newest newest, const int32_t *whole_pairs, size_t pairs, size_t per_lane,
                                    size_t i0, int64_t *sums, bool first)
{
    __m512i e0[kBlocks], e1[kBlocks], o0[kBlocks], o1[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        e0[b] = e1[b] = o0[b] = o1[b] = _mm512_setzero_si512();
    }
    for (size_t j0 = 0; j0 < pairs; j0 += per_lane) {
        const size_t j_end = pairs - j0 < per_lane ? pairs : j0 + per_lane;
        __m512i e[kBlocks], o[kBlocks];
        for (size_t b = 0; b < kBlocks; ++b) {
            e[b] = o[b] = _mm512_setzero_si512();
        }
        for (size_t j = j0; j < j_end; ++j) {
            const __m512i tw = _mm512_set1_epi32(whole_pairs[j]);
            for (size_t b = 0; b < kBlocks; ++b) {
                const int16_t *at = newest(j) + i0 + b * kBlock;
                e[b] = _mm512_dpwssd_epi32(e[b], _mm512_loadu_si512(at - 1), tw);
                o[b] = _mm512_dpwssd_epi32(o[b], _mm512_loadu_si512(at), tw);
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
        int64_t *dst = sums + i0 + b * kBlock;
        add_in_order(dst, e0[b], o0[b], first);
        add_in_order(dst + 16, e1[b], o1[b], first);
    }
}

// The sums of outputs [0, n), in runs of the blocks that keep the chains in
// flight and single blocks after them. Windows are readable, and sums have
// room, to n rounded up to a block.
template <typename Newest>
CORVANE_PAIR_SUMS void split_sums(Newest newest, const int32_t *hi_pairs, const int32_t *lo_pairs, size_t begin,
                                  size_t end, size_t n, int64_t *sums, bool first)
{
    size_t i0 = 0;
    for (; i0 + (kSplitBlocks - 1) * kBlock < n; i0 += kSplitBlocks * kBlock) {
        split_blocks<kSplitBlocks>(newest, hi_pairs, lo_pairs, begin, end, i0, sums, first);
    }
    for (; i0 < n; i0 += kBlock) {
        split_blocks<1>(newest, hi_pairs, lo_pairs, begin, end, i0, sums, first);
    }
}

template <typename Newest>
CORVANE_PAIR_SUMS void whole_sums(Newest newest, const int32_t *whole_pairs, size_t pairs, size_t per_lane, size_t n,
                                  int64_t *sums, bool first)
{
    size_t i0 = 0;
    for (; i0 + (kWholeBlocks - 1) * kBlock < n; i0 += kWholeBlocks * kBlock) {
        whole_blocks<kWholeBlocks>(newest, whole_pairs, pairs, per_lane, i0, sums, first);
    }
    for (; i0 < n; i0 += kBlock) {
        whole_blocks<1>(newest, whole_pairs, pairs, per_lane, i0, sums, first);
    }
}

#undef CORVANE_PAIR_SUMS

}  // namespace corvane::fir::avx512

#endif  // CORVANE_X86_PATHS

#endif  // CORVANE_PAIR_SUMS_AVX512_H
