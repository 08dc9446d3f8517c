// Internal: the block paths of the narrowing kernels in every rounding and
// overflow mode, in the tables of paths.h (widest first, scalar last), and
// the switch that turns a mode pair into one instantiation per call.
#ifndef CORVANE_NARROW_PATHS_H
#define CORVANE_NARROW_PATHS_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "paths.h"
#include "rounding_rules.h"

namespace corvane {

// The signatures of narrow_q15_modes / narrow_q8_modes (rounding.h).
using NarrowQ15 = void (*)(const int64_t *x, size_t n, int16_t *out, int s, int rounding, int overflow);
using NarrowQ8 = void (*)(const int64_t *x, size_t n, int8_t *out, int s, int rounding, int overflow);

// Calls f(integral_constant<Rounding>, integral_constant<Overflow>) for the
// pair, so that the inner loops see both modes as constants.
template <typename F>
inline void with_modes(int rounding, int overflow, F &&f)
{
    auto pick = [&](auto r) {
        if (overflow == CORVANE_OVERFLOW_WRAP) {
            f(r, std::integral_constant<Overflow, Overflow::Wrap>{});
        } else {
            f(r, std::integral_constant<Overflow, Overflow::Saturate>{});
        }
    };
    switch (static_cast<Rounding>(rounding)) {
    case Rounding::Floor:
        return pick(std::integral_constant<Rounding, Rounding::Floor>{});
    case Rounding::Ceiling:
        return pick(std::integral_constant<Rounding, Rounding::Ceiling>{});
    case Rounding::Zero:
        return pick(std::integral_constant<Rounding, Rounding::Zero>{});
    case Rounding::HalfAway:
        return pick(std::integral_constant<Rounding, Rounding::HalfAway>{});
    case Rounding::Convergent:
        return pick(std::integral_constant<Rounding, Rounding::Convergent>{});
    case Rounding::Nearest:
    default:
        return pick(std::integral_constant<Rounding, Rounding::Nearest>{});
    }
}

// The signatures of quantize_q15_f64 ... quantize_q8_f32 (rounding.h).
using QuantizeQ15F64 = size_t (*)(const double *x, size_t n, int16_t *out, int rounding, int overflow);
using QuantizeQ15F32 = size_t (*)(const float *x, size_t n, int16_t *out, int rounding, int overflow);
using QuantizeQ8F64 = size_t (*)(const double *x, size_t n, int8_t *out, int rounding, int overflow);
using QuantizeQ8F32 = size_t (*)(const float *x, size_t n, int8_t *out, int rounding, int overflow);

// Counts the vector paths take; every other count is left to the scalar
// rules, whose results there are only -1, 0 or 1.
inline constexpr int kVectorMaxShift = 62;

#define CORVANE_DECLARE_NARROW_PATHS                                                           \
    void narrow_q15_modes(const int64_t *x, size_t n, int16_t *out, int s, int rounding, int overflow); \
    void narrow_q8_modes(const int64_t *x, size_t n, int8_t *out, int s, int rounding, int overflow);
#define CORVANE_DECLARE_QUANTIZE_PATHS                                                           \
    size_t quantize_q15_f64(const double *x, size_t n, int16_t *out, int rounding, int overflow); \
    size_t quantize_q15_f32(const float *x, size_t n, int16_t *out, int rounding, int overflow);  \
    size_t quantize_q8_f64(const double *x, size_t n, int8_t *out, int rounding, int overflow);   \
    size_t quantize_q8_f32(const float *x, size_t n, int8_t *out, int rounding, int overflow);

// The entries of one vector path, on the file's own kernel templates
// narrow_all<R, O>(x, n, out, s) and quantize_all<R, O>(x, n, out) (which
// returns the invalid count), each instantiated for every mode pair; counts
// past kVectorMaxShift go to the scalar rules.
#define CORVANE_DEFINE_NARROW_PATHS                                                                  \
    template <typename Sample>                                                                     \
    void narrow_modes(const int64_t *x, size_t n, Sample *out, int s, int rounding, int overflow)  \
    {                                                                                              \
        with_modes(rounding, overflow, [&](auto r, auto o) { narrow_all<r.value, o.value>(x, n, out, s); }); \
    }                                                                                              \
    void narrow_q15_modes(const int64_t *x, size_t n, int16_t *out, int s, int rounding, int overflow) \
    {                                                                                              \
        if (s > kVectorMaxShift) {                                                                 \
            return scalar::narrow_q15_modes(x, n, out, s, rounding, overflow);                     \
        }                                                                                          \
        narrow_modes(x, n, out, s, rounding, overflow);                                            \
    }                                                                                              \
    void narrow_q8_modes(const int64_t *x, size_t n, int8_t *out, int s, int rounding, int overflow)  \
    {                                                                                              \
        if (s > kVectorMaxShift) {                                                                 \
            return scalar::narrow_q8_modes(x, n, out, s, rounding, overflow);                      \
        }                                                                                          \
        narrow_modes(x, n, out, s, rounding, overflow);                                            \
    }
#define CORVANE_DEFINE_QUANTIZE_PATHS                                                                \
    template <typename Float, typename Sample>                                                     \
    size_t quantize_modes(const Float *x, size_t n, Sample *out, int rounding, int overflow)       \
    {                                                                                              \
        size_t invalid = 0;                                                                        \
        with_modes(rounding, overflow,                                                             \
                   [&](auto r, auto o) { invalid = quantize_all<r.value, o.value>(x, n, out); });   \
        return invalid;                                                                            \
    }                                                                                              \
    size_t quantize_q15_f64(const double *x, size_t n, int16_t *out, int rounding, int overflow)    \
    {                                                                                              \
        return quantize_modes(x, n, out, rounding, overflow);                                      \
    }                                                                                              \
    size_t quantize_q15_f32(const float *x, size_t n, int16_t *out, int rounding, int overflow)     \
    {                                                                                              \
        return quantize_modes(x, n, out, rounding, overflow);                                      \
    }                                                                                              \
    size_t quantize_q8_f64(const double *x, size_t n, int8_t *out, int rounding, int overflow)      \
    {                                                                                              \
        return quantize_modes(x, n, out, rounding, overflow);                                      \
    }                                                                                              \
    size_t quantize_q8_f32(const float *x, size_t n, int8_t *out, int rounding, int overflow)       \
    {                                                                                              \
        return quantize_modes(x, n, out, rounding, overflow);                                      \
    }

namespace scalar {
CORVANE_DECLARE_NARROW_PATHS
CORVANE_DECLARE_QUANTIZE_PATHS
}
#if CORVANE_X86_PATHS
namespace avx2 {
CORVANE_DECLARE_NARROW_PATHS
CORVANE_DECLARE_QUANTIZE_PATHS
}
namespace avx512 {
CORVANE_DECLARE_NARROW_PATHS
CORVANE_DECLARE_QUANTIZE_PATHS
}
#endif
#if CORVANE_NEON_PATHS
namespace neon {
CORVANE_DECLARE_NARROW_PATHS
CORVANE_DECLARE_QUANTIZE_PATHS
}
#endif

inline constexpr Path<NarrowQ15> kNarrowQ15Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::narrow_q15_modes},
    {Isa::Avx2, avx2::narrow_q15_modes},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::narrow_q15_modes},
#endif
    {Isa::Scalar, scalar::narrow_q15_modes},
};

inline constexpr Path<NarrowQ8> kNarrowQ8Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::narrow_q8_modes},
    {Isa::Avx2, avx2::narrow_q8_modes},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::narrow_q8_modes},
#endif
    {Isa::Scalar, scalar::narrow_q8_modes},
};


inline constexpr Path<QuantizeQ15F64> kQuantizeQ15F64Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::quantize_q15_f64},
    {Isa::Avx2, avx2::quantize_q15_f64},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::quantize_q15_f64},
#endif
    {Isa::Scalar, scalar::quantize_q15_f64},
};

inline constexpr Path<QuantizeQ15F32> kQuantizeQ15F32Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::quantize_q15_f32},
    {Isa::Avx2, avx2::quantize_q15_f32},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::quantize_q15_f32},
#endif
    {Isa::Scalar, scalar::quantize_q15_f32},
};

inline constexpr Path<QuantizeQ8F64> kQuantizeQ8F64Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::quantize_q8_f64},
    {Isa::Avx2, avx2::quantize_q8_f64},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::quantize_q8_f64},
#endif
    {Isa::Scalar, scalar::quantize_q8_f64},
};

inline constexpr Path<QuantizeQ8F32> kQuantizeQ8F32Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::quantize_q8_f32},
    {Isa::Avx2, avx2::quantize_q8_f32},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::quantize_q8_f32},
#endif
    {Isa::Scalar, scalar::quantize_q8_f32},
};

}  // namespace corvane

#endif  // CORVANE_NARROW_PATHS_H
