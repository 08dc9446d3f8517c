// Narrowing of raw sums to samples, on the widest path this CPU has, in
// every rounding and overflow mode; the scalar paths of the narrowing; and
// the float conversions.
#include "dispatch.h"
#include "narrow.h"
#include "narrow_paths.h"
#include "narrow_rules.h"
#include "rounding.h"
#include "rounding_rules.h"

using namespace corvane;

namespace {

template <typename Sample, typename Rule>
void widen(const Sample *y, size_t n, double *out, Rule rule)
{
    for (size_t i = 0; i < n; ++i) {
        store(out + i, rule(load(y + i)));
    }
}

// Both modes constants of the loop, so that the rule's switches fold away.
template <Rounding R, Overflow O, typename Sample>
void narrow_run(const int64_t *x, size_t n, Sample *out, int s)
{
    for (size_t i = 0; i < n; ++i) {
        store(out + i, narrow_rule<Sample>(load(x + i), s, NarrowMode{R, O}));
    }
}

template <typename Sample>
void narrow_modes(const int64_t *x, size_t n, Sample *out, int s, int rounding, int overflow)
{
    with_modes(rounding, overflow, [&](auto r, auto o) { narrow_run<r.value, o.value>(x, n, out, s); });
}

template <Rounding R, Overflow O, typename Float, typename Sample>
size_t quantize_all(const Float *x, size_t n, Sample *out)
{
    size_t invalid = 0;
    for (size_t i = 0; i < n; ++i) {
        const double v = load(x + i);
        invalid += quantize_invalid(v, O);
        store(out + i, quantize_rule<Sample>(v, NarrowMode{R, O}));
    }
    return invalid;
}

constexpr const char *kRoundingNames[CORVANE_ROUNDING_COUNT] = {"nearest", "floor", "ceiling",
                                                               "zero",    "round", "convergent"};
constexpr const char *kOverflowNames[CORVANE_OVERFLOW_COUNT] = {"saturate", "wrap"};

}  // namespace

namespace corvane::scalar {

void narrow_q15_modes(const int64_t *x, size_t n, int16_t *out, int s, int rounding, int overflow)
{
    narrow_modes(x, n, out, s, rounding, overflow);
}

void narrow_q8_modes(const int64_t *x, size_t n, int8_t *out, int s, int rounding, int overflow)
{
    narrow_modes(x, n, out, s, rounding, overflow);
}

CORVANE_DEFINE_QUANTIZE_PATHS

}  // namespace corvane::scalar

extern "C" {

const char *corvane_rounding_name(int rounding)
{
    return rounding >= 0 && rounding < CORVANE_ROUNDING_COUNT ? kRoundingNames[rounding] : nullptr;
}

const char *corvane_overflow_name(int overflow)
{
    return overflow >= 0 && overflow < CORVANE_OVERFLOW_COUNT ? kOverflowNames[overflow] : nullptr;
}

void narrow_q15_modes(const int64_t *x, size_t n, int16_t *out, int s, int rounding, int overflow)
{
    Chosen<kNarrowQ15Paths>::call(n * sizeof(int64_t), x, n, out, s, rounding, overflow);
}

void narrow_q8_modes(const int64_t *x, size_t n, int8_t *out, int s, int rounding, int overflow)
{
    Chosen<kNarrowQ8Paths>::call(n * sizeof(int64_t), x, n, out, s, rounding, overflow);
}

void narrow_q15(const int64_t *x, size_t n, int16_t *out, int s)
{
    narrow_q15_modes(x, n, out, s, CORVANE_ROUND_NEAREST, CORVANE_OVERFLOW_SATURATE);
}

void narrow_q8(const int64_t *x, size_t n, int8_t *out, int s)
{
    narrow_q8_modes(x, n, out, s, CORVANE_ROUND_NEAREST, CORVANE_OVERFLOW_SATURATE);
}

size_t quantize_q15_f64(const double *x, size_t n, int16_t *out, int rounding, int overflow)
{
    return Chosen<kQuantizeQ15F64Paths>::call(n * sizeof *x, x, n, out, rounding, overflow);
}

size_t quantize_q15_f32(const float *x, size_t n, int16_t *out, int rounding, int overflow)
{
    return Chosen<kQuantizeQ15F32Paths>::call(n * sizeof *x, x, n, out, rounding, overflow);
}

size_t quantize_q8_f64(const double *x, size_t n, int8_t *out, int rounding, int overflow)
{
    return Chosen<kQuantizeQ8F64Paths>::call(n * sizeof *x, x, n, out, rounding, overflow);
}

size_t quantize_q8_f32(const float *x, size_t n, int8_t *out, int rounding, int overflow)
{
    return Chosen<kQuantizeQ8F32Paths>::call(n * sizeof *x, x, n, out, rounding, overflow);
}

// to_q15 / to_q8 are quantize in its default modes, on its paths.
size_t to_q15_f64(const double *x, size_t n, int16_t *out) { return quantize_q15_f64(x, n, out, 0, 0); }
size_t to_q15_f32(const float *x, size_t n, int16_t *out) { return quantize_q15_f32(x, n, out, 0, 0); }
size_t to_q8_f64(const double *x, size_t n, int8_t *out) { return quantize_q8_f64(x, n, out, 0, 0); }
size_t to_q8_f32(const float *x, size_t n, int8_t *out) { return quantize_q8_f32(x, n, out, 0, 0); }

void from_q15(const int16_t *y, size_t n, double *out) { widen(y, n, out, from_q15_rule); }
void from_q8(const int8_t *y, size_t n, double *out) { widen(y, n, out, from_q8_rule); }

}  // extern "C"
