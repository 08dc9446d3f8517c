// NEON quantisation of floats to Q15/Q7 in every rounding and overflow mode,
// the quantize_rule of rounding_rules.h two float64 lanes at a time, as in
// quantize_avx2.cpp: FRINTM/FRINTP/FRINTZ/FRINTN are the exact floor,
// ceiling, truncation and ties-to-even. Loads and stores go through bytes:
// the samples may sit at any address.
#include "narrow_paths.h"

#if CORVANE_NEON_PATHS

#include <arm_neon.h>

#include <cstring>

namespace corvane::neon {

namespace {

constexpr size_t kStep = 8;  // four vectors of two lanes

inline float64x2_t load2(const double *p) { return vreinterpretq_f64_u8(vld1q_u8(reinterpret_cast<const uint8_t *>(p))); }
inline float64x2_t load2(const float *p)
{
    return vcvt_f64_f32(vreinterpret_f32_u8(vld1_u8(reinterpret_cast<const uint8_t *>(p))));
}

template <Rounding R>
inline float64x2_t round2(float64x2_t y)
{
    const float64x2_t one = vdupq_n_f64(1.0), half = vdupq_n_f64(0.5);
    if constexpr (R == Rounding::Floor) {
        return vrndmq_f64(y);
    } else if constexpr (R == Rounding::Ceiling) {
        return vrndpq_f64(y);
    } else if constexpr (R == Rounding::Zero) {
        return vrndq_f64(y);
    } else if constexpr (R == Rounding::Convergent) {
        return vrndnq_f64(y);
    } else if constexpr (R == Rounding::Nearest) {
        const float64x2_t f = vrndmq_f64(y);
        const uint64x2_t up = vcgeq_f64(vsubq_f64(y, f), half);
        return vaddq_f64(f, vreinterpretq_f64_u64(vandq_u64(up, vreinterpretq_u64_f64(one))));
    } else {
        const float64x2_t a = vabsq_f64(y);
        const float64x2_t f = vrndmq_f64(a);
        const uint64x2_t up = vcgeq_f64(vsubq_f64(a, f), half);
        const float64x2_t r = vaddq_f64(f, vreinterpretq_f64_u64(vandq_u64(up, vreinterpretq_u64_f64(one))));
        const uint64x2_t sign = vdupq_n_u64(uint64_t{1} << 63);
        return vreinterpretq_f64_u64(vorrq_u64(vreinterpretq_u64_f64(r), vandq_u64(sign, vreinterpretq_u64_f64(y))));
    }
}

// Two floats as two int64 (0 where invalid); adds the invalid lanes.
template <Rounding R, Overflow O, typename Sample>
inline int64x2_t quantize2(float64x2_t x, size_t &invalid)
{
    constexpr double scale = sizeof(Sample) == 2 ? 32768.0 : 128.0;
    constexpr double lo = sizeof(Sample) == 2 ? -32768.0 : -128.0;
    float64x2_t y;
    uint64x2_t valid;
    if constexpr (O == Overflow::Saturate) {
        valid = vceqq_f64(x, x);
        const float64x2_t c = vminnmq_f64(vmaxnmq_f64(x, vdupq_n_f64(lo / scale)), vdupq_n_f64((-lo - 1) / scale));
        y = vmulq_f64(c, vdupq_n_f64(scale));
    } else {
        const float64x2_t t = vrndq_f64(vmulq_f64(x, vdupq_n_f64(0.5)));
        const float64x2_t r = vsubq_f64(x, vaddq_f64(t, t));  // NaN for +-inf and NaN
        valid = vceqq_f64(r, r);
        y = vmulq_f64(r, vdupq_n_f64(scale));
    }
    invalid += 2 + static_cast<size_t>(vaddvq_s64(vreinterpretq_s64_u64(valid)));  // each valid lane is -1
    const float64x2_t rounded = vreinterpretq_f64_u64(vandq_u64(vreinterpretq_u64_f64(round2<R>(y)), valid));
    return vcvtq_s64_f64(rounded);
}

template <Rounding R, Overflow O, typename Float, typename Sample>
size_t quantize_all(const Float *x, size_t n, Sample *out)
{
    size_t invalid = 0;
    Float tail[kStep] = {};
    Sample narrowed[kStep];
    for (size_t i = 0; i < n; i += kStep) {
        const size_t step = n - i < kStep ? n - i : kStep;
        const Float *src = x + i;
        if (step < kStep) {
            std::memcpy(tail, src, step * sizeof(Float));
            src = tail;
        }
        int64x2_t v[4];
        for (int k = 0; k < 4; ++k) {
            v[k] = quantize2<R, O, Sample>(load2(src + 2 * k), invalid);
        }
        // Every lane is already in range under saturation: plain narrowing
        // moves keep the low bits, which is also the wrap.
        const int32x4_t a = vcombine_s32(vmovn_s64(v[0]), vmovn_s64(v[1]));
        const int32x4_t b = vcombine_s32(vmovn_s64(v[2]), vmovn_s64(v[3]));
        const int16x8_t words = vcombine_s16(vmovn_s32(a), vmovn_s32(b));
        Sample *dst = step == kStep ? out + i : narrowed;
        if constexpr (sizeof(Sample) == 2) {
            vst1q_u8(reinterpret_cast<uint8_t *>(dst), vreinterpretq_u8_s16(words));
        } else {
            vst1_u8(reinterpret_cast<uint8_t *>(dst), vreinterpret_u8_s8(vmovn_s16(words)));
        }
        if (step < kStep) {
            std::memcpy(out + i, narrowed, step * sizeof(Sample));
        }
    }
    return invalid;
}

}  // namespace

CORVANE_DEFINE_QUANTIZE_PATHS

}  // namespace corvane::neon

#endif  // CORVANE_NEON_PATHS
