// AVX-512 class sums of the polyphase filters: every plain FIR of a class
// (one per sub-phase) adds into the same 32-bit accumulators, so the sums
// move to 64 bits once per block and class, not once per sub-phase. The
// layout of taps and windows is the FIR's (fir_paths.h, fir_avx2.cpp); as
// there, every function carries its own target attribute and no shared
// inline helper is included.
#include "polyphase_paths.h"

#if CORVANE_X86_PATHS

#include "avx512_intrinsics.h"

namespace corvane::polyphase {

namespace {

#define CORVANE_AVX512 __attribute__((target("avx512f,avx512bw,avx512vnni"), always_inline)) inline

constexpr size_t kBlock = 32;
constexpr size_t kBlocksInFlight = 2;

CORVANE_AVX512 __m512i widen_pair(__m256i hi, __m256i lo)
{
    return _mm512_add_epi64(_mm512_slli_epi64(_mm512_cvtepi32_epi64(hi), 8), _mm512_cvtepi32_epi64(lo));
}

CORVANE_AVX512 void add_to(int64_t *dst, __m512i v, bool first)
{
    _mm512_storeu_si512(dst, first ? v : _mm512_add_epi64(_mm512_loadu_si512(dst), v));
}

// Even outputs 0, 2, .. and odd 1, 3, .. back in order, 16 at a time.
CORVANE_AVX512 void add_in_order(int64_t *dst, __m512i even, __m512i odd, bool first)
{
    const __m512i low = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
    const __m512i high = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
    add_to(dst, _mm512_permutex2var_epi64(even, low, odd), first);
    add_to(dst + 8, _mm512_permutex2var_epi64(even, high, odd), first);
}

// The pairs of one group: each with the newest sample of its window at
// output 0, so that every pair of every plain FIR of the class is one step
// of the same loop.
struct Group {
    const int16_t *newest[fir::kPairsPerGroup];
    int32_t hi[fir::kPairsPerGroup];
    int32_t lo[fir::kPairsPerGroup];
    int32_t whole[fir::kPairsPerGroup];
    size_t pairs = 0;
    size_t whole_per_lane = 0;  // of every plain FIR of the class (fir::Taps)
};

// Sums of the group's pairs for kBlocks consecutive blocks from output i0,
// added to sums unless `first`. The accumulators are plain locals so that
// they stay in registers through the loop.
template <size_t kBlocks>
__attribute__((target("avx512f,avx512bw,avx512vnni"))) void group_blocks(const Group &g, size_t i0, int64_t *sums,
                                                                         bool first)
{
    __m512i he[kBlocks], le[kBlocks], ho[kBlocks], lo[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        he[b] = le[b] = ho[b] = lo[b] = _mm512_setzero_si512();
    }
    for (size_t j = 0; j < g.pairs; ++j) {
        const __m512i th = _mm512_set1_epi32(g.hi[j]);
        const __m512i tl = _mm512_set1_epi32(g.lo[j]);
        for (size_t b = 0; b < kBlocks; ++b) {
            const int16_t *newest = g.newest[j] + i0 + b * kBlock;
            const __m512i xe = _mm512_loadu_si512(newest - 1);
            const __m512i xo = _mm512_loadu_si512(newest);
            he[b] = _mm512_dpwssd_epi32(he[b], xe, th);
            le[b] = _mm512_dpwssd_epi32(le[b], xe, tl);
            ho[b] = _mm512_dpwssd_epi32(ho[b], xo, th);
            lo[b] = _mm512_dpwssd_epi32(lo[b], xo, tl);
        }
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        int64_t *dst = sums + i0 + b * kBlock;
        add_in_order(dst, widen_pair(_mm512_castsi512_si256(he[b]), _mm512_castsi512_si256(le[b])),
                     widen_pair(_mm512_castsi512_si256(ho[b]), _mm512_castsi512_si256(lo[b])), first);
        add_in_order(dst + 16, widen_pair(_mm512_extracti64x4_epi64(he[b], 1), _mm512_extracti64x4_epi64(le[b], 1)),
                     widen_pair(_mm512_extracti64x4_epi64(ho[b], 1), _mm512_extracti64x4_epi64(lo[b], 1)), first);
    }
}

CORVANE_AVX512 __m512i widen_low(__m512i v) { return _mm512_cvtepi32_epi64(_mm512_castsi512_si256(v)); }
CORVANE_AVX512 __m512i widen_high(__m512i v) { return _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(v, 1)); }

// The same with whole taps (fir::Taps): two multiply-adds per pair and
// block, the 32-bit lanes moved into 64-bit ones every whole_per_lane pairs.
template <size_t kBlocks>
__attribute__((target("avx512f,avx512bw,avx512vnni"))) void whole_group_blocks(const Group &g, size_t i0,
                                                                               int64_t *sums, bool first)
{
    __m512i e0[kBlocks], e1[kBlocks], o0[kBlocks], o1[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        e0[b] = e1[b] = o0[b] = o1[b] = _mm512_setzero_si512();
    }
    for (size_t j0 = 0; j0 < g.pairs; j0 += g.whole_per_lane) {
        const size_t j_end = g.pairs - j0 < g.whole_per_lane ? g.pairs : j0 + g.whole_per_lane;
        __m512i e[kBlocks], o[kBlocks];
        for (size_t b = 0; b < kBlocks; ++b) {
            e[b] = o[b] = _mm512_setzero_si512();
        }
        for (size_t j = j0; j < j_end; ++j) {
            const __m512i tw = _mm512_set1_epi32(g.whole[j]);
            for (size_t b = 0; b < kBlocks; ++b) {
                const int16_t *newest = g.newest[j] + i0 + b * kBlock;
                e[b] = _mm512_dpwssd_epi32(e[b], _mm512_loadu_si512(newest - 1), tw);
                o[b] = _mm512_dpwssd_epi32(o[b], _mm512_loadu_si512(newest), tw);
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

// Whole taps keep as many chains in flight with twice the blocks.
constexpr size_t kWholeBlocksInFlight = 2 * kBlocksInFlight;

__attribute__((target("avx512f,avx512bw,avx512vnni"))) void group_sums(const Group &g, size_t n, int64_t *sums,
                                                                       bool first)
{
    if (g.whole_per_lane != 0) {
        size_t i0 = 0;
        for (; i0 + (kWholeBlocksInFlight - 1) * kBlock < n; i0 += kWholeBlocksInFlight * kBlock) {
            whole_group_blocks<kWholeBlocksInFlight>(g, i0, sums, first);
        }
        for (; i0 < n; i0 += kBlock) {
            whole_group_blocks<1>(g, i0, sums, first);
        }
        return;
    }
    size_t i0 = 0;
    for (; i0 + kBlock < n; i0 += kBlocksInFlight * kBlock) {
        group_blocks<kBlocksInFlight>(g, i0, sums, first);
    }
    if (i0 < n) {
        group_blocks<1>(g, i0, sums, first);
    }
}

#undef CORVANE_AVX512

}  // namespace

__attribute__((target("avx512f,avx512bw,avx512vnni"))) void class_sums_avx512(
    const int16_t *const *windows, const fir::Taps *const *taps, size_t count, size_t n, int64_t *sums, int64_t *)
{
    // One plain FIR (every plain filter and interpolator) is the FIR's own.
    if (count == 1) {
        fir::sums_avx512(windows[0], n, *taps[0], sums);
        return;
    }
    // The 32-bit lanes move to 64 bits every kPairsPerGroup pairs, before
    // they could overflow.
    Group g;
    g.whole_per_lane = fir::kPairsPerGroup;
    for (size_t k = 0; k < count; ++k) {
        g.whole_per_lane = taps[k]->whole_per_lane < g.whole_per_lane ? taps[k]->whole_per_lane : g.whole_per_lane;
    }
    bool first = true;
    for (size_t k = 0; k < count; ++k) {
        const fir::Taps &t = *taps[k];
        for (size_t p = 0; p < t.pairs; ++p) {
            g.newest[g.pairs] = windows[k] - 2 * p;
            g.hi[g.pairs] = t.hi_pairs[p];
            g.lo[g.pairs] = t.lo_pairs[p];
            g.whole[g.pairs] = g.whole_per_lane != 0 ? t.whole_pairs[p] : 0;
            if (++g.pairs == fir::kPairsPerGroup) {
                group_sums(g, n, sums, first);
                first = false;
                g.pairs = 0;
            }
        }
    }
    if (g.pairs > 0 || first) {
        group_sums(g, n, sums, first);
    }
}

// Which lane of which pair of loaded vectors each of 32 outputs takes, for
// a step of kStep: the pairs of vectors, one two-source permute each, and
// `take` marks the outputs of a pair.
template <size_t kStep>
struct GatherIndex {
    static constexpr size_t kPairs = (kStep + 1) / 2;
    int16_t idx[kPairs][32] = {};
    uint32_t take[kPairs] = {};
};

template <size_t kStep>
constexpr GatherIndex<kStep> make_gather_index()
{
    GatherIndex<kStep> t;
    for (size_t i = 0; i < 32; ++i) {
        const size_t at = i * kStep;
        for (size_t j = 0; j < GatherIndex<kStep>::kPairs; ++j) {
            t.idx[j][i] = static_cast<int16_t>(at % 64);
        }
        t.take[at / 64] |= uint32_t{1} << i;
    }
    return t;
}

template <size_t kStep>
inline constexpr GatherIndex<kStep> kGatherIndex = make_gather_index<kStep>();

// out[i] = src[i * kStep] for i < count. Each block of 32 outputs spans
// kStep loaded vectors; a two-source permute takes the lanes that fall in
// each pair of them, and a blend puts the pairs together: half the permutes
// of one per vector. The step is a template parameter so the loop over the
// pairs unrolls.
template <size_t kStep>
__attribute__((target("avx512f,avx512bw"))) void gather_step(const int16_t *src, size_t count, int16_t *out)
{
    constexpr size_t kLanes = 32;
    constexpr size_t kPairs = GatherIndex<kStep>::kPairs;
    const GatherIndex<kStep> &t = kGatherIndex<kStep>;
    // Each block reads up to kStep - 1 samples past its last one: only
    // while a later sample is still to be gathered.
    size_t i = 0;
    for (; i + kLanes < count; i += kLanes) {
        const int16_t *from = src + i * kStep;
        __m512i v = _mm512_setzero_si512();
        for (size_t j = 0; j < kPairs; ++j) {
            const __m512i idx = _mm512_loadu_si512(t.idx[j]);
            const __m512i a = _mm512_loadu_si512(from + 2 * j * kLanes);
            const __m512i picked = 2 * j + 1 < kStep
                                       ? _mm512_permutex2var_epi16(a, idx, _mm512_loadu_si512(from + (2 * j + 1) * kLanes))
                                       : _mm512_permutexvar_epi16(idx, a);
            v = _mm512_mask_mov_epi16(v, t.take[j], picked);
        }
        _mm512_storeu_si512(out + i, v);
    }
    gather_scalar(src + i * kStep, kStep, count - i, out + i);
}

void gather_avx512(const int16_t *src, size_t step, size_t count, int16_t *out)
{
    static_assert(kMaxVectorStep == 8, "a gather_step per vector step");
    switch (step) {
    case 2: gather_step<2>(src, count, out); break;
    case 3: gather_step<3>(src, count, out); break;
    case 4: gather_step<4>(src, count, out); break;
    case 5: gather_step<5>(src, count, out); break;
    case 6: gather_step<6>(src, count, out); break;
    case 7: gather_step<7>(src, count, out); break;
    case 8: gather_step<8>(src, count, out); break;
    default: gather_scalar(src, step, count, out); break;
    }
}

namespace {

// Which row and which place in it each lane of a block of 32 outputs takes,
// for each residue of the block's first output modulo P: the rows come in
// pairs, one two-source permute each, and `take` marks a pair's lanes.
template <size_t P>
struct SpreadIndex {
    static constexpr size_t kPairs = (P + 1) / 2;
    int16_t idx[P][kPairs][32] = {};
    uint32_t take[P][kPairs] = {};
};

template <size_t P>
constexpr SpreadIndex<P> make_spread_index()
{
    SpreadIndex<P> t;
    for (size_t rho = 0; rho < P; ++rho) {
        for (size_t i = 0; i < 32; ++i) {
            const size_t row = (rho + i) % P, place = (rho + i) / P;
            t.idx[rho][row / 2][i] = static_cast<int16_t>((row % 2) * 32 + place);
            t.take[rho][row / 2] |= uint32_t{1} << i;
        }
    }
    return t;
}

template <size_t P>
inline constexpr SpreadIndex<P> kSpreadIndex = make_spread_index<P>();

template <size_t P>
__attribute__((target("avx512f,avx512bw"))) void spread_classes(const int16_t *rows, size_t row_length, size_t count,
                                                                int16_t *out)
{
    constexpr size_t kLanes = 32;
    const SpreadIndex<P> &t = kSpreadIndex<P>;
    size_t o = 0;
    for (; o + kLanes <= count; o += kLanes) {
        const size_t rho = o % P;
        const int16_t *from = rows + o / P;
        __m512i v = _mm512_setzero_si512();
        for (size_t j = 0; j < SpreadIndex<P>::kPairs; ++j) {
            const __m512i idx = _mm512_loadu_si512(t.idx[rho][j]);
            const __m512i a = _mm512_loadu_si512(from + 2 * j * row_length);
            const __m512i picked = 2 * j + 1 < P
                                       ? _mm512_permutex2var_epi16(a, idx, _mm512_loadu_si512(from + (2 * j + 1) * row_length))
                                       : _mm512_permutexvar_epi16(idx, a);
            v = _mm512_mask_mov_epi16(v, t.take[rho][j], picked);
        }
        _mm512_storeu_si512(out + o, v);
    }
    for (; o < count; ++o) {
        out[o] = rows[(o % P) * row_length + o / P];
    }
}

}  // namespace

void spread_avx512(const int16_t *rows, size_t row_length, size_t classes, size_t count, int16_t *out)
{
    static_assert(kMaxVectorClasses == 8, "a spread_classes per vector class count");
    switch (classes) {
    case 2: spread_classes<2>(rows, row_length, count, out); break;
    case 3: spread_classes<3>(rows, row_length, count, out); break;
    case 4: spread_classes<4>(rows, row_length, count, out); break;
    case 5: spread_classes<5>(rows, row_length, count, out); break;
    case 6: spread_classes<6>(rows, row_length, count, out); break;
    case 7: spread_classes<7>(rows, row_length, count, out); break;
    case 8: spread_classes<8>(rows, row_length, count, out); break;
    default: spread_scalar(rows, row_length, classes, count, out); break;
    }
}

}  // namespace corvane::polyphase

#endif  // CORVANE_X86_PATHS
