// Internal: the polyphase filters of upfirdn.h, split into plain FIRs that run
// on the FIR's sums paths, one table entry per instruction set, so that
// tests can run each of them by name whatever this CPU would pick.
//
// Output m of a block reads v[k], k = phase + m * down, whose nonzero terms
// are taps[r + l * up] * x[q - l] with q = k / up and r = k % up: a FIR of
// the phase-r taps at input q. The outputs m = c, c + P, c + 2P, ... (P =
// up / gcd(up, down)) share r and step q by D = down / gcd(up, down), so
// each such class is a FIR decimating by D, computed as the sum of D plain
// FIRs over the inputs taken every D-th (sub-phase p: taps[r + (p + s*D) *
// up] over x[q0 - p + i * D]). Each plain FIR gets a window of its inputs
// gathered behind its history, as the FIR driver does, so the sums paths
// see plain memory.
#ifndef CORVANE_POLYPHASE_PATHS_H
#define CORVANE_POLYPHASE_PATHS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fir_paths.h"
#include "paths.h"
#include "upfirdn.h"

struct upfirdn_plan {
    size_t up;
    size_t down;
    size_t classes;  // P
    size_t stride;   // D
    size_t history;  // inputs before the block that an output can reach
    size_t widest;   // the most tap pairs of one plain FIR
    // The plain FIRs of phase r are subs[first[r] .. first[r + 1]), sub-phase
    // offsets[e] each.
    std::vector<corvane::fir::Taps> subs;
    std::vector<size_t> offsets;
    std::vector<size_t> first;
    std::vector<int16_t> taps;
    std::vector<int32_t> hi_pairs;
    std::vector<int32_t> lo_pairs;
};

namespace corvane::polyphase {

inline constexpr Path<fir::SumsFn> kSumsPaths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Vnni, fir::sums_avx512},
    {Isa::Avx2, fir::sums_avx2},
#endif
    {Isa::Scalar, fir::sums_scalar},
};

// The filters of upfirdn.h on the given sums path.
int run_q15(fir::SumsFn sums, const upfirdn_plan &plan, const int16_t *x, size_t n, int16_t *history,
            size_t phase, int16_t *out, int s, int rounding, int overflow);
int run_q8(fir::SumsFn sums, const upfirdn_plan &plan, const int8_t *x, size_t n, int8_t *history,
           size_t phase, int8_t *out, int s, int rounding, int overflow);

}  // namespace corvane::polyphase

#endif  // CORVANE_POLYPHASE_PATHS_H
