// Saturating add/sub and rounding multiply of Q15 and Q8 sample arrays.
#include "fixedpoint.h"
#include "sample_rules.h"

using namespace corvane;

namespace {

inline size_t processed(size_t len_a, size_t len_b) { return len_a < len_b ? len_a : len_b; }

}  // namespace

extern "C" {

void add_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    forward_binary(a, b, out, 0, processed(len_a, len_b), add_q15_rule);
}

void sub_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    forward_binary(a, b, out, 0, processed(len_a, len_b), sub_q15_rule);
}

void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    forward_binary(a, b, out, 0, processed(len_a, len_b), mul_q15_rule);
}

void add_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    forward_binary(a, b, out, 0, processed(len_a, len_b), add_q8_rule);
}

void sub_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    forward_binary(a, b, out, 0, processed(len_a, len_b), sub_q8_rule);
}

void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    forward_binary(a, b, out, 0, processed(len_a, len_b), mul_q8_rule);
}

}  // extern "C"
