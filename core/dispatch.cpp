// The exported kernels: each calls the path its table picks for this CPU.
#include "dispatch.h"

#include "fixedpoint.h"

using namespace corvane;

extern "C" {

void add_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    chosen<kAddQ15Paths>()(a, len_a, b, len_b, out);
}

void sub_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    chosen<kSubQ15Paths>()(a, len_a, b, len_b, out);
}

void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    chosen<kMulQ15Paths>()(a, len_a, b, len_b, out);
}

void add_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    chosen<kAddQ8Paths>()(a, len_a, b, len_b, out);
}

void sub_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    chosen<kSubQ8Paths>()(a, len_a, b, len_b, out);
}

void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    chosen<kMulQ8Paths>()(a, len_a, b, len_b, out);
}

int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    return chosen<kDotQ15Paths>()(a, len_a, b, len_b);
}

int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    return chosen<kDotQ8Paths>()(a, len_a, b, len_b);
}

void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s) { chosen<kShlQ15Paths>()(a, len_a, out, s); }

void shr_q15(const int16_t *a, size_t len_a, int16_t *out, int s) { chosen<kShrQ15Paths>()(a, len_a, out, s); }

void shl_q8(const int8_t *a, size_t len_a, int8_t *out, int s) { chosen<kShlQ8Paths>()(a, len_a, out, s); }

void shr_q8(const int8_t *a, size_t len_a, int8_t *out, int s) { chosen<kShrQ8Paths>()(a, len_a, out, s); }

void shl_i64(const int64_t *a, size_t len_a, int64_t *out, int s) { chosen<kShlI64Paths>()(a, len_a, out, s); }

void shr_i64(const int64_t *a, size_t len_a, int64_t *out, int s) { chosen<kShrI64Paths>()(a, len_a, out, s); }

}  // extern "C"
