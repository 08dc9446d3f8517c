// Internal: what the channel-lane paths of the biquad cascade share, the
// kernel written once over an instruction set's lane helpers.
//
// A lane set `L` gives a vector V of 64-bit lanes, one channel each, and
//   L::kLanes, L::load(p) (kLanes int16 -> lanes), L::store(p, v),
//   L::coef(c) (broadcast), L::mul(coef, v), L::add(a, b),
//   L::section(section, rounding) (its Sec),
//   L::narrow<Convergent, Saturate>(acc, s) (the narrowing of section s,
//   exact against narrow_rule), L::wrap32(acc).
// Every helper carries its instruction set's target attribute, and so does
// the kernel, instantiated in that set's file.
#ifndef CORVANE_BIQUAD_LANES_H
#define CORVANE_BIQUAD_LANES_H

#include "biquad_paths.h"

namespace corvane::biquad {

inline constexpr size_t kStateWords = 4;  // x[-1], x[-2], y[-1], y[-2]

// Per-section lane constants, prepared once per call for up to kChunk
// sections of one chunk, in a struct of each lane set (vector types lose
// their attributes as template arguments):
//   V b0, b1, b2, na1, na2;
//   V pos, delta, tie, mask;   LaneRounding: delta = neg - pos, mask = 2^f - 1
//   V count;                   the shift by f in the set's form
//   V bias, unbias;            for sets without 64-bit arithmetic shifts
#define CORVANE_BIQUAD_LANE_SECTION(V) \
    struct Sec {                       \
        V b0, b1, b2, na1, na2;        \
        V pos, delta, tie, mask;       \
        V count;                       \
        V bias, unbias;                \
    }

}  // namespace corvane::biquad

// The kernel: channels [0, groups * L::kLanes) of one chunk of G sections,
// their state in registers; samples step by `stride` int16s. `TARGET` is the
// instruction set's attribute.
#define CORVANE_BIQUAD_LANE_KERNEL(TARGET, L)                                                                 \
    template <bool Convergent, bool Saturate, bool Wrap32, size_t G>                                            \
    TARGET void run_lanes(const L::Sec *s, const int16_t *in, int16_t *out, size_t n,                \
                          size_t stride, int16_t *state, size_t state_stride)                                   \
    {                                                                                                           \
        L::V x1[G], x2[G], y1[G], y2[G];                                                                        \
        for (size_t g = 0; g < G; ++g) {                                                                        \
            int16_t *st = state + g * kStateWords * state_stride;                                               \
            x1[g] = L::load(st);                                                                                \
            x2[g] = L::load(st + state_stride);                                                                 \
            y1[g] = L::load(st + 2 * state_stride);                                                             \
            y2[g] = L::load(st + 3 * state_stride);                                                             \
        }                                                                                                       \
        for (size_t i = 0; i < n; ++i) {                                                                        \
            L::V v = L::load(in + i * stride);                                                                  \
            for (size_t g = 0; g < G; ++g) {                                                                    \
                const L::V ff = L::add(L::add(L::mul(s[g].b0, v), L::mul(s[g].b1, x1[g])),                      \
                                       L::add(L::mul(s[g].b2, x2[g]), L::mul(s[g].na2, y2[g])));                \
                L::V acc = L::add(ff, L::mul(s[g].na1, y1[g]));                                                 \
                if constexpr (Wrap32) {                                                                         \
                    acc = L::wrap32(acc);                                                                       \
                }                                                                                               \
                const L::V y = L::template narrow<Convergent, Saturate>(acc, s[g]);                            \
                x2[g] = x1[g];                                                                                  \
                x1[g] = v;                                                                                      \
                y2[g] = y1[g];                                                                                  \
                y1[g] = y;                                                                                      \
                v = y;                                                                                          \
            }                                                                                                   \
            L::store(out + i * stride, v);                                                                      \
        }                                                                                                       \
        for (size_t g = 0; g < G; ++g) {                                                                        \
            int16_t *st = state + g * kStateWords * state_stride;                                               \
            L::store(st, x1[g]);                                                                                \
            L::store(st + state_stride, x2[g]);                                                                 \
            L::store(st + 2 * state_stride, y1[g]);                                                             \
            L::store(st + 3 * state_stride, y2[g]);                                                             \
        }                                                                                                       \
    }                                                                                                           \
                                                                                                                \
    template <bool Convergent, bool Saturate, bool Wrap32>                                                      \
    TARGET void run_groups(const Plan &plan, const int16_t *x, size_t n, size_t channels, size_t groups,         \
                           int16_t *state, int16_t *out)                                                        \
    {                                                                                                           \
        L::Sec s[kChunk];                                                                            \
        for (size_t k = 0; k < plan.count; k += kChunk) {                                                       \
            const size_t count = plan.count - k < kChunk ? plan.count - k : kChunk;                             \
            for (size_t g = 0; g < count; ++g) {                                                                \
                s[g] = L::section(plan.sections[k + g], plan.mode.rounding);                                    \
            }                                                                                                   \
            for (size_t c = 0; c < groups * L::kLanes; c += L::kLanes) {                                        \
                const int16_t *in = k == 0 ? x + c : out + c;                                                   \
                int16_t *st = state + k * kStateWords * channels + c;                                           \
                if (count == kChunk) {                                                                          \
                    run_lanes<Convergent, Saturate, Wrap32, kChunk>(s, in, out + c, n, channels, st, channels); \
                } else {                                                                                        \
                    for (size_t g = 0; g < count; ++g) {                                                        \
                        run_lanes<Convergent, Saturate, Wrap32, 1>(s + g, g == 0 ? in : out + c, out + c, n,    \
                                                                   channels, st + g * kStateWords * channels,   \
                                                                   channels);                                   \
                    }                                                                                           \
                }                                                                                               \
            }                                                                                                   \
        }                                                                                                       \
    }                                                                                                           \
                                                                                                                \
    TARGET void run_all(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state,           \
                        int16_t *out)                                                                           \
    {                                                                                                           \
        const size_t groups = channels / L::kLanes;                                                             \
        if (groups != 0) {                                                                                      \
            const bool convergent = plan.mode.rounding == Rounding::Convergent;                                 \
            const bool saturate = plan.mode.overflow == Overflow::Saturate;                                     \
            auto run = convergent ? (saturate ? (plan.wrap32 ? run_groups<true, true, true>                     \
                                                             : run_groups<true, true, false>)                   \
                                              : (plan.wrap32 ? run_groups<true, false, true>                    \
                                                             : run_groups<true, false, false>))                 \
                                  : (saturate ? (plan.wrap32 ? run_groups<false, true, true>                    \
                                                             : run_groups<false, true, false>)                  \
                                              : (plan.wrap32 ? run_groups<false, false, true>                   \
                                                             : run_groups<false, false, false>));               \
            run(plan, x, n, channels, groups, state, out);                                                      \
        }                                                                                                       \
        scalar::sosfilt_channels(plan, x, n, channels, groups * L::kLanes, state, out);                         \
    }

#endif  // CORVANE_BIQUAD_LANES_H
