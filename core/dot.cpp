// Raw inner products: exact Q30 sums in 64 bits, Q14 sums wrapping at 32 bits.
#include "fixedpoint.h"
#include "sample_rules.h"

using namespace corvane;

extern "C" {

int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    size_t n = len_a < len_b ? len_a : len_b;
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += static_cast<uint64_t>(int64_t{load(a + i)} * load(b + i));
    }
    return static_cast<int64_t>(sum);
}

int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    size_t n = len_a < len_b ? len_a : len_b;
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += static_cast<uint32_t>(int32_t{load(a + i)} * load(b + i));
    }
    return static_cast<int32_t>(sum);
}

}  // extern "C"
