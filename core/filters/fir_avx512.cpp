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
    const auto newest = [w](size_t p) { return w - 2 * p; };
    if (t.whole_per_lane != 0) {
        whole_sums(newest, t.whole_pairs, t.pairs, t.whole_per_lane, n, sums, true);
        return;
    }
    for (size_t g = 0; g < t.pairs; g += kPairsPerGroup) {
        const size_t g_end = t.pairs - g < kPairsPerGroup ? t.pairs : g + kPairsPerGroup;
        split_sums(newest, t.hi_pairs, t.lo_pairs, g, g_end, n, sums, g == 0);
    }
}

}  // namespace corvane::fir

#endif  // CORVANE_X86_PATHS
