// Power-of-two scaling: saturating left shifts, round-half-up right shifts,
// wrapping 64-bit left shift. The regime is chosen once per call from s.
#include <strings.h>

#include "fixedpoint.h"
#include "sample_rules.h"

using namespace corvane;

namespace {

template <typename T>
void forward_copy(const T *a, size_t n, T *out)
{
    forward_unary(a, out, 0, n, [](T x) { return x; });
}

// Saturating left shift of a sample of width Bits: scaling range 1..Bits-1,
// then only the sign matters.
template <typename T, int Bits, typename Sat>
void shl_saturating(const T *a, size_t n, T *out, int s, Sat sat)
{
    if (n == 0) {
        return;
    }
    if (s <= 0) {
        forward_copy(a, n, out);
    } else if (s < Bits) {
        const int32_t scale = int32_t{1} << s;
        forward_unary(a, out, 0, n, [=](T x) { return sat(int32_t{x} * scale); });
    } else {
        // x * 2^s saturates to the end of the range on the side of its sign.
        forward_unary(a, out, 0, n, [=](T x) { return sat(int32_t{x} * 65536); });
    }
}

// Round-half-up right shift with constant r and effective shift k, fixed once.
template <typename T, typename Wide, int Bits, int MaxShift>
void shr_rounding(const T *a, size_t n, T *out, int s)
{
    if (n == 0) {
        return;
    }
    if (s <= 0) {
        forward_copy(a, n, out);
        return;
    }
    const Wide r = s < Bits ? static_cast<Wide>(Wide{1} << (s - 1)) : Wide{0};
    const int k = s < MaxShift ? s : MaxShift;
    forward_unary(a, out, 0, n, [=](T x) { return static_cast<T>(static_cast<Wide>(Wide{x} + r) >> k); });
}

}  // namespace

extern "C" {

void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    shl_saturating<int16_t, 16>(a, len_a, out, s, sat16);
}

void shl_q8(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    shl_saturating<int8_t, 8>(a, len_a, out, s, sat8);
}

void shr_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    shr_rounding<int16_t, int32_t, 16, 31>(a, len_a, out, s);
}

void shr_q8(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    shr_rounding<int8_t, int16_t, 8, 15>(a, len_a, out, s);
}

void shl_i64(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        forward_copy(a, len_a, out);
    } else if (s < 63) {
        forward_unary(a, out, 0, len_a, [=](int64_t x) {
            return static_cast<int64_t>(static_cast<uint64_t>(x) << s);
        });
    } else {
        bzero(out, len_a * sizeof *out);
    }
}

void shr_i64(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        forward_copy(a, len_a, out);
        return;
    }
    const uint64_t r = s < 63 ? uint64_t{1} << (s - 1) : 0;
    const int k = s < 63 ? s : 63;
    forward_unary(a, out, 0, len_a, [=](int64_t x) {
        return static_cast<int64_t>(static_cast<uint64_t>(x) + r) >> k;
    });
}

}  // extern "C"
