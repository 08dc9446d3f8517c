// Internal: what the channel-lane paths of the biquad cascade share, the
// kernel written once over an instruction set's lane helpers.
//
// A lane set `L` gives a vector V of 64-bit lanes, one channel each, and
//   L::kLanes, L::load(p) (kLanes int16 -> lanes), L::store(p, v),
//   L::coef(c) (broadcast), L::mul(coef, v), L::add(a, b),
//   L::section(section, rounding) (its Sec),
//   L::narrow<Convergent, Signed, Saturate>(acc, s) (the narrowing of section s,
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

// The instantiation of a kernel template <Convergent, Signed, Saturate,
// Wrap32> for the plan's modes: Signed where the rounding offset depends on
// the sign (towards zero, half away); the other roundings differ in
// constants only.
#define CORVANE_BIQUAD_BY_MODES(kernel, plan)                                                              \
    ((plan).mode.rounding == Rounding::Convergent                                                          \
         ? CORVANE_BIQUAD_BY_OVERFLOW(kernel, plan, true, false)                                           \
         : ((plan).mode.rounding == Rounding::Zero || (plan).mode.rounding == Rounding::HalfAway)          \
               ? CORVANE_BIQUAD_BY_OVERFLOW(kernel, plan, false, true)                                     \
               : CORVANE_BIQUAD_BY_OVERFLOW(kernel, plan, false, false))
#define CORVANE_BIQUAD_BY_OVERFLOW(kernel, plan, c, sg)                                                    \
    ((plan).mode.overflow == Overflow::Saturate                                                            \
         ? ((plan).wrap32 ? kernel<c, sg, true, true> : kernel<c, sg, true, false>)                        \
         : ((plan).wrap32 ? kernel<c, sg, false, true> : kernel<c, sg, false, false>))

// The kernel: channels [0, groups * L::kLanes) of one chunk of G sections,
// their state in registers; samples step by `stride` int16s. `TARGET` is the
// instruction set's attribute.
#define CORVANE_BIQUAD_LANE_KERNEL(TARGET, L)                                                                 \
    template <bool Convergent, bool Signed, bool Saturate, bool Wrap32, size_t G>                                            \
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
                const L::V older = L::add(L::add(L::mul(s[g].b1, x1[g]), L::mul(s[g].b2, x2[g])),               \
                                          L::mul(s[g].na2, y2[g]));                                             \
                L::V acc = L::add(L::add(older, L::mul(s[g].na1, y1[g])), L::mul(s[g].b0, v));                  \
                if constexpr (Wrap32) {                                                                         \
                    acc = L::wrap32(acc);                                                                       \
                }                                                                                               \
                const L::V y = L::template narrow<Convergent, Signed, Saturate>(acc, s[g]);                            \
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
    template <bool Convergent, bool Signed, bool Saturate, bool Wrap32>                                                      \
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
                    run_lanes<Convergent, Signed, Saturate, Wrap32, kChunk>(s, in, out + c, n, channels, st, channels); \
                } else {                                                                                        \
                    for (size_t g = 0; g < count; ++g) {                                                        \
                        run_lanes<Convergent, Signed, Saturate, Wrap32, 1>(s + g, g == 0 ? in : out + c, out + c, n,    \
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
            CORVANE_BIQUAD_BY_MODES(run_groups, plan)(plan, x, n, channels, groups, state, out);                \
        }                                                                                                       \
        scalar::sosfilt_channels(plan, x, n, channels, groups * L::kLanes, state, out);                         \
    }

#endif  // CORVANE_BIQUAD_LANES_H

// One channel with its sections in lanes: lane k runs section k on sample
// t - k at step t, its input the output lane k - 1 gave at step t - 1. Each
// step is one narrowing of every section at once; the first and last
// kLanes - 1 steps leave the lanes that have no sample alone. Needs, beyond
// the lane set above: L::from(const int64_t *) (one value per lane),
// L::shift_in(y, x) (lane 0 = x, lane k = y's lane k - 1), L::lane(y, k),
// L::M, L::active(lo, hi) (lanes lo .. hi - 1) and L::select(m, new, old).
#define CORVANE_BIQUAD_SECTION_LANES(TARGET, L)                                                                   \
    template <bool Convergent, bool Signed, bool Saturate, bool Wrap32, bool Masked>                                             \
    TARGET void section_steps(const L::Sec &s, const int16_t *x, int16_t *out, size_t n, size_t count, size_t from,  \
                              size_t to, L::V *st)                                                                  \
    {                                                                                                               \
        L::V x1 = st[0], x2 = st[1], y1 = st[2], y2 = st[3];                                                        \
        for (size_t t = from; t < to; ++t) {                                                                        \
            const L::V v = L::shift_in(y1, t < n ? x[t] : 0);                                                       \
            /* The newest terms last: they are the step's critical path. */                                         \
            const L::V older = L::add(L::add(L::mul(s.b1, x1), L::mul(s.b2, x2)), L::mul(s.na2, y2));              \
            L::V acc = L::add(L::add(older, L::mul(s.na1, y1)), L::mul(s.b0, v));                                   \
            if constexpr (Wrap32) {                                                                                 \
                acc = L::wrap32(acc);                                                                               \
            }                                                                                                       \
            const L::V y = L::template narrow<Convergent, Signed, Saturate>(acc, s);                                       \
            if constexpr (Masked) {                                                                                 \
                const L::M m = L::active(t + 1 > n ? t + 1 - n : 0, t + 1 < count ? t + 1 : count);                 \
                x2 = L::select(m, x1, x2);                                                                          \
                x1 = L::select(m, v, x1);                                                                           \
                y2 = L::select(m, y1, y2);                                                                          \
                y1 = L::select(m, y, y1);                                                                           \
            } else {                                                                                                \
                x2 = x1;                                                                                            \
                x1 = v;                                                                                             \
                y2 = y1;                                                                                            \
                y1 = y;                                                                                             \
            }                                                                                                       \
            if (t + 1 >= count) {                                                                                   \
                out[t + 1 - count] = static_cast<int16_t>(L::lane(y1, count - 1));                                  \
            }                                                                                                       \
        }                                                                                                           \
        st[0] = x1;                                                                                                 \
        st[1] = x2;                                                                                                 \
        st[2] = y1;                                                                                                 \
        st[3] = y2;                                                                                                 \
    }                                                                                                               \
                                                                                                                    \
    template <bool Convergent, bool Signed, bool Saturate, bool Wrap32>                                                          \
    TARGET void one_channel_modes(const Plan &plan, const int16_t *x, size_t n, int16_t *state, int16_t *out)       \
    {                                                                                                               \
        for (size_t k = 0; k < plan.count; k += L::kLanes) {                                                        \
            const size_t count = plan.count - k < L::kLanes ? plan.count - k : L::kLanes;                           \
            int64_t fields[12][L::kLanes] = {};                                                                     \
            int64_t words[kStateWords][L::kLanes] = {};                                                             \
            for (size_t g = 0; g < count; ++g) {                                                                    \
                const Section &q = plan.sections[k + g];                                                            \
                const LaneRounding r = lane_rounding(plan.mode.rounding, q.f);                                      \
                const int64_t row[12] = {q.b0, q.b1, q.b2, q.na1, q.na2, r.pos, r.neg - r.pos, r.tie,               \
                                         (int64_t{1} << q.f) - 1, L::count_of(q.f), L::bias_of(q.f),                \
                                         L::unbias_of(q.f)};                                                        \
                for (size_t j = 0; j < 12; ++j) {                                                                   \
                    fields[j][g] = row[j];                                                                          \
                }                                                                                                   \
                for (size_t j = 0; j < kStateWords; ++j) {                                                          \
                    words[j][g] = state[(k + g) * kStateWords + j];                                                 \
                }                                                                                                   \
            }                                                                                                       \
            const L::Sec s = {L::from(fields[0]), L::from(fields[1]), L::from(fields[2]), L::from(fields[3]),       \
                              L::from(fields[4]), L::from(fields[5]), L::from(fields[6]), L::from(fields[7]),       \
                              L::from(fields[8]), L::from(fields[9]), L::from(fields[10]), L::from(fields[11])};    \
            L::V st[kStateWords] = {L::from(words[0]), L::from(words[1]), L::from(words[2]), L::from(words[3])};    \
            const int16_t *in = k == 0 ? x : out;                                                                   \
            const size_t steps = n + count - 1;                                                                     \
            const size_t full_from = count - 1 < steps ? count - 1 : steps;                                         \
            const size_t full_to = n > full_from ? n : full_from;                                                   \
            section_steps<Convergent, Signed, Saturate, Wrap32, true>(s, in, out, n, count, 0, full_from, st);              \
            section_steps<Convergent, Signed, Saturate, Wrap32, false>(s, in, out, n, count, full_from, full_to, st);       \
            section_steps<Convergent, Signed, Saturate, Wrap32, true>(s, in, out, n, count, full_to, steps, st);            \
            for (size_t j = 0; j < kStateWords; ++j) {                                                              \
                for (size_t g = 0; g < count; ++g) {                                                                \
                    state[(k + g) * kStateWords + j] = static_cast<int16_t>(L::lane(st[j], g));                     \
                }                                                                                                   \
            }                                                                                                       \
        }                                                                                                           \
    }                                                                                                               \
                                                                                                                    \
    TARGET void one_channel(const Plan &plan, const int16_t *x, size_t n, int16_t *state, int16_t *out)             \
    {                                                                                                               \
        CORVANE_BIQUAD_BY_MODES(one_channel_modes, plan)(plan, x, n, state, out);                                 \
    }                                                                                                               \
                                                                                                                    \
    /* One channel through its sections in lanes, more through channel lanes. */                                  \
    TARGET void run_any(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state,              \
                        int16_t *out)                                                                               \
    {                                                                                                               \
        if (channels == 1 && plan.count > 1) {                                                                      \
            one_channel(plan, x, n, state, out);                                                                    \
        } else {                                                                                                    \
            run_all(plan, x, n, channels, state, out);                                                              \
        }                                                                                                           \
    }
