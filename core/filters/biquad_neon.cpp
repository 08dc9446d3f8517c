// NEON path of the biquad cascade: two channels per register in 64-bit
// lanes, products by the widening 32x32 multiply.
#include "biquad_paths.h"

#if CORVANE_NEON_PATHS

#include <arm_neon.h>

#include "biquad_lanes.h"

namespace corvane::biquad::neon {

namespace {

#define CORVANE_NEON

struct Lanes {
    using V = int64x2_t;
    CORVANE_BIQUAD_LANE_SECTION(V);
    static constexpr size_t kLanes = 2;

    static V load(const int16_t *p) { return V{p[0], p[1]}; }
    static void store(int16_t *p, V v)
    {
        p[0] = static_cast<int16_t>(vgetq_lane_s64(v, 0));
        p[1] = static_cast<int16_t>(vgetq_lane_s64(v, 1));
    }
    static V coef(int64_t c) { return vdupq_n_s64(c); }
    static V mul(V a, V b) { return vmull_s32(vmovn_s64(a), vmovn_s64(b)); }
    static V add(V a, V b) { return vaddq_s64(a, b); }
    static V wrap32(V acc) { return vmovl_s32(vmovn_s64(acc)); }

    // count holds -f: NEON shifts right by a negative left count.
    static Sec section(const Section &s, Rounding rounding)
    {
        const LaneRounding r = lane_rounding(rounding, s.f);
        const V zero = vdupq_n_s64(0);
        return {coef(s.b0), coef(s.b1), coef(s.b2), coef(s.na1), coef(s.na2),
                coef(r.pos), coef(r.neg - r.pos), coef(r.tie), coef((int64_t{1} << s.f) - 1),
                coef(-s.f), zero, zero};
    }

    template <bool Convergent, bool Signed, bool Saturate>
    static V narrow(V acc, const Sec &s)
    {
        V sum = vaddq_s64(acc, s.pos);
        if constexpr (Signed) {
            sum = vaddq_s64(sum, vandq_s64(vshrq_n_s64(acc, 63), s.delta));
        }
        V q = vshlq_s64(sum, s.count);
        if constexpr (Convergent) {
            const uint64x2_t tie = vceqq_s64(vandq_s64(acc, s.mask), s.tie);
            q = vbicq_s64(q, vreinterpretq_s64_u64(vandq_u64(tie, vdupq_n_u64(1))));
        }
        if constexpr (Saturate) {
            const V hi = vdupq_n_s64(32767), lo = vdupq_n_s64(-32768);
            q = vbslq_s64(vcgtq_s64(q, hi), hi, q);
            return vbslq_s64(vcgtq_s64(lo, q), lo, q);
        }
        return vshrq_n_s64(vshlq_n_s64(q, 48), 48);
    }
};

CORVANE_BIQUAD_LANE_KERNEL(CORVANE_NEON, Lanes)

}  // namespace

void sosfilt(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state, int16_t *out)
{
    if (n == 0) {
        return;  // an empty block leaves the state as it is; x may be null
    }
    run_all(plan, x, n, channels, state, out);
}

}  // namespace corvane::biquad::neon

#endif  // CORVANE_NEON_PATHS
