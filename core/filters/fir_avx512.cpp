// AVX-512 path of the FIR sums, 32 consecutive outputs per block with VNNI's
// fused pmaddwd-and-add (the narrowing is in core/narrow_avx512.cpp): the
// blocks of pair_sums_avx512.h, tap pair p at w - 2p.
#include "fir_paths.h"

#if CORVANE_X86_PATHS

#include "pair_sums_avx512.h"

namespace corvane::fir {

__attribute__((target("avx512f,avx512bw,avx512vnni"))) void sums_avx512(const int16_t *w, size_t n,
                                                                        const Taps &t, int64_t *sums)
{
    using namespace avx512;
    if (t.whole_per_lane != 0) {
        size_t i0 = 0;
        for (; i0 + (kWholeBlocks - 1) * kBlock < n; i0 += kWholeBlocks * kBlock) {
            const auto newest = [w, i0](size_t p) { return w + i0 - 2 * p; };
            whole_blocks<kWholeBlocks>(newest, t.whole_pairs, t.pairs, t.whole_per_lane, sums + i0, true);
        }
        for (; i0 < n; i0 += kBlock) {
            const auto newest = [w, i0](size_t p) { return w + i0 - 2 * p; };
            whole_blocks<1>(newest, t.whole_pairs, t.pairs, t.whole_per_lane, sums + i0, true);
        }
        return;
    }
    for (size_t g = 0; g < t.pairs; g += kPairsPerGroup) {
        const size_t g_end = t.pairs - g < kPairsPerGroup ? t.pairs : g + kPairsPerGroup;
        size_t i0 = 0;
        for (; i0 + (kSplitBlocks - 1) * kBlock < n; i0 += kSplitBlocks * kBlock) {
            const auto newest = [w, i0](size_t p) { return w + i0 - 2 * p; };
            split_blocks<kSplitBlocks>(newest, t.hi_pairs, t.lo_pairs, g, g_end, sums + i0, g == 0);
        }
        for (; i0 < n; i0 += kBlock) {
            const auto newest = [w, i0](size_t p) { return w + i0 - 2 * p; };
            split_blocks<1>(newest, t.hi_pairs, t.lo_pairs, g, g_end, sums + i0, g == 0);
        }
    }
}

}  // namespace corvane::fir

#endif  // CORVANE_X86_PATHS
