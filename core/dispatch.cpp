// The exported kernels: each calls the path its table picks for this CPU,
// chosen on the first call and cached (dispatch.h).
#include "dispatch.h"

#include "fixedpoint.h"
#include "sample_rules.h"

using namespace corvane;

extern "C" {

void add_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    Chosen<kAddQ15Paths>::call(processed(len_a, len_b) * sizeof *a, a, len_a, b, len_b, out);
}

void sub_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    Chosen<kSubQ15Paths>::call(processed(len_a, len_b) * sizeof *a, a, len_a, b, len_b, out);
}

void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    Chosen<kMulQ15Paths>::call(processed(len_a, len_b) * sizeof *a, a, len_a, b, len_b, out);
}

void add_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    Chosen<kAddQ8Paths>::call(processed(len_a, len_b) * sizeof *a, a, len_a, b, len_b, out);
}

void sub_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    Chosen<kSubQ8Paths>::call(processed(len_a, len_b) * sizeof *a, a, len_a, b, len_b, out);
}

void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    Chosen<kMulQ8Paths>::call(processed(len_a, len_b) * sizeof *a, a, len_a, b, len_b, out);
}

int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    return Chosen<kDotQ15Paths>::call(processed(len_a, len_b) * sizeof *a, a, len_a, b, len_b);
}

int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    return Chosen<kDotQ8Paths>::call(processed(len_a, len_b) * sizeof *a, a, len_a, b, len_b);
}

void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s) { Chosen<kShlQ15Paths>::call(len_a * sizeof *a, a, len_a, out, s); }

void shr_q15(const int16_t *a, size_t len_a, int16_t *out, int s) { Chosen<kShrQ15Paths>::call(len_a * sizeof *a, a, len_a, out, s); }

void shl_q8(const int8_t *a, size_t len_a, int8_t *out, int s) { Chosen<kShlQ8Paths>::call(len_a * sizeof *a, a, len_a, out, s); }

void shr_q8(const int8_t *a, size_t len_a, int8_t *out, int s) { Chosen<kShrQ8Paths>::call(len_a * sizeof *a, a, len_a, out, s); }

void shl_i64(const int64_t *a, size_t len_a, int64_t *out, int s) { Chosen<kShlI64Paths>::call(len_a * sizeof *a, a, len_a, out, s); }

void shr_i64(const int64_t *a, size_t len_a, int64_t *out, int s) { Chosen<kShrI64Paths>::call(len_a * sizeof *a, a, len_a, out, s); }

}  // extern "C"
