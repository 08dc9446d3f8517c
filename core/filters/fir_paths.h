// Internal: the block paths of the FIR.
//
// A sums path forms raw 64-bit sums over a window of samples; the narrowing
// kernels of narrow_paths.h bring them back to samples. The sums paths form a table of the scheme
// of paths.h (kSumsPaths: widest first, ending in the scalar rules); the
// vector entries are compiled with per-function target attributes, or for
// NEON by the target itself, in files of their own.
#ifndef CORVANE_FIR_PATHS_H
#define CORVANE_FIR_PATHS_H

#include <cstddef>
#include <cstdint>

#include "paths.h"
#include "rounding_rules.h"
#include "targets.h"

namespace corvane::fir {

// Taps prepared once per call. The scalar path reads `taps` (sign-extended
// to 16 bits). The pmaddwd paths read them in pairs: taps[2p] and
// taps[2p+1] multiply x[i - 2p] and x[i - 2p - 1], which lie at the higher
// and the lower address of an adjacent pair, so each 32-bit word holds
// taps[2p+1] in its low half and taps[2p] in its high half. A product of two
// Q15 values needs 31 bits and two of them overflow a 32-bit lane, so each
// tap is split as t = hi * 2^8 + lo with lo in 0..255: a pair sum of the lo
// parts stays below 2^24 and of the hi parts below 2^23, and 32-bit lanes
// take kPairsPerGroup of either before the sum moves to 64 bits as
// hi_sum * 2^8 + lo_sum. An odd tap count gets a zero tap at the end.
//
// Small taps need no split: with every |tap| <= T a pair sum of whole taps
// is at most 2^16 * T in magnitude, so a 32-bit lane takes 32767 / T pairs
// exactly, half the multiply-adds of the split. whole_pairs holds the
// pairs unsplit and whole_per_lane how many a lane may take; it is 0 where
// that is too few to pay for the moves to 64 bits, and paths may always
// ignore it.
struct Taps {
    const int16_t *taps;
    size_t count;
    const int32_t *hi_pairs;
    const int32_t *lo_pairs;
    size_t pairs;
    const int32_t *whole_pairs = nullptr;
    size_t whole_per_lane = 0;
};

inline constexpr size_t kPairsPerGroup = 128;
inline constexpr size_t kMinWholePerLane = 4;

// The split and the whole pairs of Taps from its 2 * pairs taps
// (zero-padded to even).
void pack_pairs(const int16_t *taps, size_t pairs, int32_t *hi_pairs, int32_t *lo_pairs, int32_t *whole_pairs);

// One whole pair: taps[2p] (the newer sample's) and taps[2p + 1].
int32_t whole_pair(int16_t newer, int16_t older);

// Taps::whole_per_lane of these taps: min(32767 / max |tap|, kPairsPerGroup),
// or 0 below kMinWholePerLane.
size_t whole_per_lane(const int16_t *taps, size_t count);

// Outputs per block of the widest path. Windows are readable, zero-padded,
// up to n rounded up to this; every path may compute outputs past n there.
inline constexpr size_t kMaxBlock = 32;

// sums[i] = sum over j < t.count of t.taps[j] * w[i - j], exactly, for
// i < n; w[-(2 * t.pairs - 1)] .. w[round_up(n, kMaxBlock) - 1] are readable.
// `sums` has room for n rounded up to kMaxBlock.
using SumsFn = void (*)(const int16_t *w, size_t n, const Taps &t, int64_t *sums);

// The filters of fir.h on the given sums path, narrowed in `mode`.
int run_q15(SumsFn sums, const int16_t *x, size_t n, const int16_t *taps, size_t ntaps,
            const int16_t *history, int16_t *out, int s, NarrowMode mode = {});
int run_q8(SumsFn sums, const int8_t *x, size_t n, const int8_t *taps, size_t ntaps,
           const int8_t *history, int8_t *out, int s, NarrowMode mode = {});

void sums_scalar(const int16_t *w, size_t n, const Taps &t, int64_t *sums);

#if CORVANE_X86_PATHS
void sums_avx2(const int16_t *w, size_t n, const Taps &t, int64_t *sums);
void sums_avx512(const int16_t *w, size_t n, const Taps &t, int64_t *sums);
#endif

#if CORVANE_NEON_PATHS
void sums_neon(const int16_t *w, size_t n, const Taps &t, int64_t *sums);
#endif

// The sums of fir_q15 and fir_q8 (both run on the int16 window). The AVX-512
// path needs VNNI's fused multiply-add.
inline constexpr corvane::Path<SumsFn> kSumsPaths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Vnni, sums_avx512},
    {Isa::Avx2, sums_avx2},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, sums_neon},
#endif
    {Isa::Scalar, sums_scalar},
};

}  // namespace corvane::fir

#endif  // CORVANE_FIR_PATHS_H
