// AVX-512 class sums of the polyphase filters: every plain FIR of a class
// (one per sub-phase) adds into the same 32-bit accumulators, so the sums
// move to 64 bits once per block and class, not once per sub-phase. The
// blocks are the FIR's (pair_sums_avx512.h); the gathers and spreads are
// permutes with tables made at compile time.
#include "polyphase_paths.h"

#if CORVANE_X86_PATHS

#include "pair_sums_avx512.h"

namespace corvane::polyphase {

namespace {

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

// Sums of the group's pairs over outputs [0, n), added to sums unless
// `first`.
__attribute__((target("avx512f,avx512bw,avx512vnni"))) void group_sums(const Group &g, size_t n, int64_t *sums,
                                                                       bool first)
{
    using namespace fir::avx512;
    const auto newest = [&g](size_t j) { return g.newest[j]; };
    if (g.whole_per_lane != 0) {
        whole_sums(newest, g.whole, g.pairs, g.whole_per_lane, n, sums, first);
    } else {
        split_sums(newest, g.hi, g.lo, 0, g.pairs, n, sums, first);
    }
}

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
