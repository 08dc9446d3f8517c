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
// up] over x[q0 - p + i * D]). The inputs of each pass are gathered once
// into D streams (every D-th input, history in front), and each plain FIR's
// window is a place in one of them, so the sums paths see plain memory.
//
// A FIR decimating by an even factor (up = 1) can also skip the gather: its
// sums run straight over one window of the inputs (DecimatingTaps).
#ifndef CORVANE_POLYPHASE_PATHS_H
#define CORVANE_POLYPHASE_PATHS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fir_paths.h"
#include "paths.h"
#include "upfirdn.h"

namespace corvane::polyphase {

// The 32-bit lanes of a row of decimating taps (one 512-bit vector), the
// most of them a decimating path gives one output, and the widest factor it
// takes (2 of them per lane).
inline constexpr size_t kDecimatingRowLanes = 16;
inline constexpr size_t kMaxDecimatingLanes = 4;
inline constexpr size_t kMaxDecimatingDown = 2 * kMaxDecimatingLanes;

// The taps of a FIR decimating by down = 2E, laid out for the sums straight
// over the window: output m's tap pairs (fir::Taps' whole pairs) are spread
// over E adjacent 32-bit lanes of a 16-lane row, lane e of each E taking
// pair E * r - e in row r, zero where that is no pair, so that row r
// multiplies the words loaded at w + m * down - r * down - 1. Only whole
// taps have this form: down is 0 where it does not apply (up > 1, an odd or
// wider factor, or taps too large to sum whole).
struct DecimatingTaps {
    size_t down = 0;
    size_t rows = 0;
    size_t per_lane = 0;  // rows a 32-bit lane takes (fir::Taps::whole_per_lane)
    size_t reach = 0;     // how far before an output's newest input the rows read
    const int32_t *lanes = nullptr;  // rows x kDecimatingRowLanes
};

}  // namespace corvane::polyphase

struct upfirdn_plan {
    size_t up;
    size_t down;
    size_t classes;  // P
    size_t stride;   // D
    size_t history;  // inputs before the block that an output can reach
    size_t most_subs;  // the most plain FIRs of one phase
    size_t reach;      // how far before its first input a window reaches
    // The plain FIRs of phase r are subs[first[r] .. first[r + 1]), sub-phase
    // offsets[e] each; sub_taps points at each.
    std::vector<corvane::fir::Taps> subs;
    std::vector<const corvane::fir::Taps *> sub_taps;
    std::vector<size_t> offsets;
    std::vector<size_t> first;
    std::vector<int16_t> taps;
    std::vector<int32_t> hi_pairs;
    std::vector<int32_t> lo_pairs;
    std::vector<int32_t> whole_pairs;
    corvane::polyphase::DecimatingTaps decimating;
    std::vector<int32_t> decimating_lanes;
};

namespace corvane::polyphase {

// The sums of `count` plain FIRs of one class added together: sums[i] =
// sum over k of the FIR sums of taps[k] over windows[k] (each laid out as
// fir::SumsFn needs), for i < n. n >= 1; sums and part have room for n
// rounded up to fir::kMaxBlock; part is scratch. count == 0 gives zeros.
using ClassSumsFn = void (*)(const int16_t *const *windows, const fir::Taps *const *taps, size_t count, size_t n,
                             int64_t *sums, int64_t *part);

// Any FIR sums path as class sums: one call per plain FIR, added in 64 bits.
template <fir::SumsFn Sums>
void class_sums_of(const int16_t *const *windows, const fir::Taps *const *taps, size_t count, size_t n,
                   int64_t *sums, int64_t *part)
{
    if (count == 0) {
        for (size_t i = 0; i < n; ++i) {
            sums[i] = 0;
        }
        return;
    }
    Sums(windows[0], n, *taps[0], sums);
    for (size_t k = 1; k < count; ++k) {
        Sums(windows[k], n, *taps[k], part);
        for (size_t i = 0; i < n; ++i) {
            sums[i] += part[i];
        }
    }
}

// out[i] = src[i * step] for i < count: the inputs of one sub-phase.
using GatherFn = void (*)(const int16_t *src, size_t step, size_t count, int16_t *out);
void gather_scalar(const int16_t *src, size_t step, size_t count, int16_t *out);

// The widest step the vector gathers take; wider ones are scalar.
inline constexpr size_t kMaxVectorStep = 8;

// out[i] = rows[(i % classes) * row_length + i / classes] for i < count:
// the narrowed outputs of each class back in the stream's order. Each row is
// readable to row_length, at least ceil(count / classes) + kSpreadPad.
using SpreadFn = void (*)(const int16_t *rows, size_t row_length, size_t classes, size_t count, int16_t *out);
void spread_scalar(const int16_t *rows, size_t row_length, size_t classes, size_t count, int16_t *out);

// The most classes the vector spreads take, and the samples each row is
// readable past its last.
inline constexpr size_t kMaxVectorClasses = 8;
inline constexpr size_t kSpreadPad = 32;

#if CORVANE_X86_PATHS
void gather_avx512(const int16_t *src, size_t step, size_t count, int16_t *out);
void spread_avx512(const int16_t *rows, size_t row_length, size_t classes, size_t count, int16_t *out);

// All plain FIRs of a class in the same 32-bit lanes (polyphase_avx512.cpp).
void class_sums_avx512(const int16_t *const *windows, const fir::Taps *const *taps, size_t count, size_t n,
                       int64_t *sums, int64_t *part);
#endif

#if CORVANE_NEON_PATHS
void gather_neon(const int16_t *src, size_t step, size_t count, int16_t *out);
void spread_neon(const int16_t *rows, size_t row_length, size_t classes, size_t count, int16_t *out);
#endif

// sums[m] = sum over j < ntaps of taps[j] * w[m * down - j], exactly, for
// m < n, from taps laid out by DecimatingTaps (down != 0); w[-t.reach] ..
// w[round_up(n, fir::kMaxBlock) * down - 1] are readable, and sums has room
// for n rounded up to fir::kMaxBlock.
using DecimatingSumsFn = void (*)(const int16_t *w, size_t n, const DecimatingTaps &t, int64_t *sums);

#if CORVANE_X86_PATHS
void decimating_sums_avx512(const int16_t *w, size_t n, const DecimatingTaps &t, int64_t *sums);
#endif

inline constexpr Path<ClassSumsFn> kSumsPaths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Vnni, class_sums_avx512},
    {Isa::Avx2, class_sums_of<fir::sums_avx2>},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, class_sums_of<fir::sums_neon>},
#endif
    {Isa::Scalar, class_sums_of<fir::sums_scalar>},
};

inline constexpr Path<GatherFn> kGatherPaths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, gather_avx512},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, gather_neon},
#endif
    {Isa::Scalar, gather_scalar},
};

inline constexpr Path<SpreadFn> kSpreadPaths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, spread_avx512},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, spread_neon},
#endif
    {Isa::Scalar, spread_scalar},
};

// Where the window pays for itself: elsewhere (a null path) decimating
// filters gather their sub-phases as every other filter does.
inline constexpr Path<DecimatingSumsFn> kDecimatingPaths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Vnni, decimating_sums_avx512},
#endif
    {Isa::Scalar, nullptr},
};

// The filters of upfirdn.h on the given sums paths (and the widest gather):
// `decimating`, unless null, for the plans that have DecimatingTaps.
int run_q15(ClassSumsFn sums, DecimatingSumsFn decimating, const upfirdn_plan &plan, const int16_t *x, size_t n,
            int16_t *history, size_t phase, int16_t *out, int s, int rounding, int overflow);
int run_q8(ClassSumsFn sums, DecimatingSumsFn decimating, const upfirdn_plan &plan, const int8_t *x, size_t n,
           int8_t *history, size_t phase, int8_t *out, int s, int rounding, int overflow);

}  // namespace corvane::polyphase

#endif  // CORVANE_POLYPHASE_PATHS_H
