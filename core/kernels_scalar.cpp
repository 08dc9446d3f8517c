// The scalar path of every kernel: the element rules alone, one element at a
// time in the order of the forward pass. It runs on any target, is what a
// portable build has, and finishes whatever the block paths leave.
#include "paths.h"
#include "sample_rules.h"
#include "shift_rules.h"

namespace corvane::scalar {

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

// Both sums wrap through the unsigned type: exact modulo the width.
int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += static_cast<uint64_t>(int64_t{load(a + i)} * load(b + i));
    }
    return static_cast<int64_t>(sum);
}

int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    const size_t n = processed(len_a, len_b);
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += static_cast<uint32_t>(int32_t{load(a + i)} * load(b + i));
    }
    return static_cast<int32_t>(sum);
}

int64_t sum_q15(const int16_t *a, size_t n)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += static_cast<uint64_t>(int64_t{load(a + i)});
    }
    return static_cast<int64_t>(sum);
}

int32_t sum_q8(const int8_t *a, size_t n)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += static_cast<uint32_t>(int32_t{load(a + i)});
    }
    return static_cast<int32_t>(sum);
}

void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
    } else if (s < 16) {
        const int32_t scale = int32_t{1} << s;
        forward_unary(a, out, 0, len_a, [=](int16_t x) { return shl_q15_rule(x, scale); });
    } else {
        forward_unary(a, out, 0, len_a, saturated_sign<int16_t, kQ15Max, kQ15Min>);
    }
}

void shl_q8(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
    } else if (s < 8) {
        const int32_t scale = int32_t{1} << s;
        forward_unary(a, out, 0, len_a, [=](int8_t x) { return shl_q8_rule(x, scale); });
    } else {
        forward_unary(a, out, 0, len_a, saturated_sign<int8_t, kQ8Max, kQ8Min>);
    }
}

void shr_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
        return;
    }
    const Rounding c = rounding_for<16, 31>(s);
    forward_unary(a, out, 0, len_a, [=](int16_t x) { return shr_q15_rule(x, c); });
}

void shr_q8(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
        return;
    }
    const Rounding c = rounding_for<8, 15>(s);
    forward_unary(a, out, 0, len_a, [=](int8_t x) { return shr_q8_rule(x, c); });
}

void shl_i64(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
    } else if (s < 63) {
        forward_unary(a, out, 0, len_a, [=](int64_t x) { return shl_i64_rule(x, s); });
    } else {
        // The result is 0 for every sample and needs no input at all.
        std::memset(out, 0, len_a * sizeof *out);
    }
}

void shr_i64(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
        return;
    }
    const RoundingI64 c = rounding_i64_for(s);
    const uint64_t r = c.r;
    const int k = c.k;
    forward_unary(a, out, 0, len_a, [=](int64_t x) { return shr_i64_rule(x, r, k); });
}

}  // namespace corvane::scalar
