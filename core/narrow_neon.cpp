// NEON narrowing of raw 64-bit sums in every rounding and overflow mode:
// the rounding of narrow_avx2.cpp (the floor, plus one where the remainder
// exceeds the mode's threshold) on pairs of lanes, then the saturating or
// plain narrowing moves down to the sample width. Loads and stores go
// through bytes, as in simd_neon.h: the sums may sit at any address.
#include "narrow_paths.h"

#if CORVANE_NEON_PATHS

#include <arm_neon.h>

#include <cstring>

namespace corvane::neon {

namespace {

constexpr size_t kStep = 8;  // four vectors of two sums

struct Consts {
    int64x2_t count, mask, half, half_less_one;
};

inline int64x2_t load(const int64_t *p) { return vreinterpretq_s64_u8(vld1q_u8(reinterpret_cast<const uint8_t *>(p))); }

template <Rounding R>
inline int64x2_t round_shift(int64x2_t x, const Consts &c)
{
    const int64x2_t floor = vshlq_s64(x, c.count);  // a negative count shifts right, filling the sign
    if constexpr (R == Rounding::Floor) {
        return floor;
    }
    const int64x2_t r = vandq_s64(x, c.mask);
    int64x2_t t;
    if constexpr (R == Rounding::Nearest) {
        t = c.half_less_one;
    } else if constexpr (R == Rounding::Ceiling) {
        t = vdupq_n_s64(0);
    } else if constexpr (R == Rounding::Zero) {
        t = vbicq_s64(c.mask, vshrq_n_s64(x, 63));
    } else if constexpr (R == Rounding::HalfAway) {
        t = vsubq_s64(c.half_less_one, vshrq_n_s64(x, 63));
    } else {
        t = vsubq_s64(c.half, vandq_s64(floor, vdupq_n_s64(1)));
    }
    return vsubq_s64(floor, vreinterpretq_s64_u64(vcgtq_s64(r, t)));
}

template <Overflow O>
inline int32x4_t to_words32(int64x2_t a, int64x2_t b)
{
    if constexpr (O == Overflow::Saturate) {
        return vcombine_s32(vqmovn_s64(a), vqmovn_s64(b));
    } else {
        return vcombine_s32(vmovn_s64(a), vmovn_s64(b));
    }
}

template <Overflow O>
inline int16x8_t to_words16(int32x4_t a, int32x4_t b)
{
    if constexpr (O == Overflow::Saturate) {
        return vcombine_s16(vqmovn_s32(a), vqmovn_s32(b));
    } else {
        return vcombine_s16(vmovn_s32(a), vmovn_s32(b));
    }
}

// Eight sums as eight samples; saturating each narrowing step in turn
// saturates to the final width.
template <Rounding R, Overflow O, typename Sample>
inline void narrow_step(const int64_t *x, bool shifts, const Consts &c, Sample *out)
{
    int64x2_t v[4];
    for (int k = 0; k < 4; ++k) {
        v[k] = load(x + 2 * k);
        if (shifts) {
            v[k] = round_shift<R>(v[k], c);
        }
    }
    const int16x8_t words = to_words16<O>(to_words32<O>(v[0], v[1]), to_words32<O>(v[2], v[3]));
    if constexpr (sizeof(Sample) == 2) {
        vst1q_u8(reinterpret_cast<uint8_t *>(out), vreinterpretq_u8_s16(words));
    } else {
        const int8x8_t bytes = O == Overflow::Saturate ? vqmovn_s16(words) : vmovn_s16(words);
        vst1_u8(reinterpret_cast<uint8_t *>(out), vreinterpret_u8_s8(bytes));
    }
}

template <Rounding R, Overflow O, typename Sample>
void narrow_all(const int64_t *x, size_t n, Sample *out, int s)
{
    const int shift = s < 0 ? 0 : s;
    const int64_t half = shift >= 1 ? int64_t{1} << (shift - 1) : 0;
    const Consts c{vdupq_n_s64(-shift), vdupq_n_s64((int64_t{1} << shift) - 1), vdupq_n_s64(half),
                   vdupq_n_s64(half - 1)};
    size_t i = 0;
    for (; i + kStep <= n; i += kStep) {
        narrow_step<R, O>(x + i, shift >= 1, c, out + i);
    }
    if (i < n) {
        int64_t tail[kStep] = {};
        Sample narrowed[kStep];
        std::memcpy(tail, x + i, (n - i) * sizeof(int64_t));
        narrow_step<R, O>(tail, shift >= 1, c, narrowed);
        std::memcpy(out + i, narrowed, (n - i) * sizeof(Sample));
    }
}

}  // namespace

CORVANE_DEFINE_NARROW_PATHS

}  // namespace corvane::neon

#endif  // CORVANE_NEON_PATHS
