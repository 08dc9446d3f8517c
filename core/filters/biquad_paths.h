// Internal: the block paths of the biquad cascade, one table entry per
// instruction set (core/paths.h scheme), so that tests can call each one.
//
// A path filters interleaved channels as sosfilt_q15 (biquad.h) does, with
// the coefficients and modes prepared once per call. The vector paths hold
// channels in 64-bit lanes (the exact sums), run whole groups of lanes and
// hand the remaining channels to the scalar rules.
#ifndef CORVANE_BIQUAD_PATHS_H
#define CORVANE_BIQUAD_PATHS_H

#include <cstddef>
#include <cstdint>

#include "paths.h"
#include "rounding_rules.h"

namespace corvane::biquad {

// One section: a1 and a2 negated, so that every term is added; f = log2(a0).
struct Section {
    int32_t b0, b1, b2, na1, na2;
    int f;
};

struct Plan {
    const Section *sections;
    size_t count;
    NarrowMode mode;
    bool wrap32;  // accumulator wrapped to 32 bits before narrowing
};

using SosFn = void (*)(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state,
                       int16_t *out);

// Sections are run in chunks of at most this many, their states in
// registers, one sample of every section of the chunk per step: section k
// works on sample i while section k + 1 still finishes sample i - 1.
inline constexpr size_t kChunk = 4;

namespace scalar {
void sosfilt(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state, int16_t *out);
// Channels [first, channels) only, each on its own.
void sosfilt_channels(const Plan &plan, const int16_t *x, size_t n, size_t channels, size_t first,
                      int16_t *state, int16_t *out);
}  // namespace scalar

#if CORVANE_X86_PATHS
namespace avx2 {
void sosfilt(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state, int16_t *out);
}
namespace avx512 {
void sosfilt(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state, int16_t *out);
}
#endif
#if CORVANE_NEON_PATHS
namespace neon {
void sosfilt(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state, int16_t *out);
}
#endif

inline constexpr Path<SosFn> kSosPaths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::sosfilt},
    {Isa::Avx2, avx2::sosfilt},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::sosfilt},
#endif
    {Isa::Scalar, scalar::sosfilt},
};

// Prepares the sections of a valid sos (sos_check_q15) into `sections`.
void prepare(const int32_t *sos, size_t n_sections, Section *sections);

// The rounding constants of a vector path, per section: x / 2^f rounded is
// floor((x + (x < 0 ? neg : pos)) / 2^f), and in convergent rounding a
// remainder x mod 2^f equal to `tie` clears the result's lowest bit.
struct LaneRounding {
    int64_t pos, neg, tie;
};
inline LaneRounding lane_rounding(Rounding r, int f)
{
    const int64_t half = f >= 1 ? int64_t{1} << (f - 1) : 0;
    const int64_t below = (int64_t{1} << f) - 1;
    switch (r) {
    case Rounding::Nearest:
        return {half, half, -1};
    case Rounding::Floor:
        return {0, 0, -1};
    case Rounding::Ceiling:
        return {below, below, -1};
    case Rounding::Zero:
        return {0, below, -1};
    case Rounding::HalfAway:
        return {half, f >= 1 ? half - 1 : 0, -1};
    case Rounding::Convergent:
        return {half, half, f >= 1 ? half : -1};
    }
    return {0, 0, -1};
}

}  // namespace corvane::biquad

#endif  // CORVANE_BIQUAD_PATHS_H
