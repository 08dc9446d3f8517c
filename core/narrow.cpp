// Narrowing of raw sums to samples, on the widest path this CPU has, and the
// float conversions, which are bound by memory and stay on the scalar rules.
#include "fir_paths.h"
#include "narrow.h"
#include "narrow_rules.h"

using namespace corvane;

namespace {

template <typename Float, typename Sample, typename Rule>
size_t convert(const Float *x, size_t n, Sample *out, Rule rule)
{
    size_t nans = 0;
    for (size_t i = 0; i < n; ++i) {
        const double v = load(x + i);
        nans += v != v;
        store(out + i, rule(v));
    }
    return nans;
}

template <typename Sample, typename Rule>
void widen(const Sample *y, size_t n, double *out, Rule rule)
{
    for (size_t i = 0; i < n; ++i) {
        store(out + i, rule(load(y + i)));
    }
}

}  // namespace

extern "C" {

void narrow_q15(const int64_t *x, size_t n, int16_t *out, int s) { fir::chosen().narrow15(x, n, out, s); }
void narrow_q8(const int64_t *x, size_t n, int8_t *out, int s) { fir::chosen().narrow8(x, n, out, s); }

size_t to_q15_f64(const double *x, size_t n, int16_t *out) { return convert(x, n, out, to_q15_rule); }
size_t to_q15_f32(const float *x, size_t n, int16_t *out) { return convert(x, n, out, to_q15_rule); }
size_t to_q8_f64(const double *x, size_t n, int8_t *out) { return convert(x, n, out, to_q8_rule); }
size_t to_q8_f32(const float *x, size_t n, int8_t *out) { return convert(x, n, out, to_q8_rule); }

void from_q15(const int16_t *y, size_t n, double *out) { widen(y, n, out, from_q15_rule); }
void from_q8(const int8_t *y, size_t n, double *out) { widen(y, n, out, from_q8_rule); }

}  // extern "C"
