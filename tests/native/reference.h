// Reference rules of the native tests, written from the element rules with
// nothing shared with the code under test: divisions where the core shifts,
// wide exact arithmetic where it wraps or saturates.
#ifndef CORVANE_TESTS_REFERENCE_H
#define CORVANE_TESTS_REFERENCE_H

#include <algorithm>
#include <cstdint>

namespace reference {

inline int64_t clamp64(int64_t x, int64_t lo, int64_t hi) { return x < lo ? lo : (x > hi ? hi : x); }

inline int32_t clamp32(int32_t x, int32_t lo, int32_t hi) { return x < lo ? lo : (x > hi ? hi : x); }

// Floor division by 2^k, written with '/' so it shares nothing with a shift.
template <typename W>
inline W floor_div_pow2(W x, int k)
{
    W d = static_cast<W>(1) << k;
    W q = x / d;
    return (x % d != 0 && x < 0) ? q - 1 : q;
}

// The elementwise rules stay in 32 bits (every sum and product fits) so that
// the exhaustive sweep's reference loop vectorises.
inline int32_t ref_add15(int32_t a, int32_t b) { return clamp32(a + b, -32768, 32767); }
inline int32_t ref_sub15(int32_t a, int32_t b) { return clamp32(a - b, -32768, 32767); }
inline int32_t ref_mul15(int32_t a, int32_t b) { return clamp32(floor_div_pow2(a * b + 16384, 15), -32768, 32767); }
inline int32_t ref_add8(int32_t a, int32_t b) { return clamp32(a + b, -128, 127); }
inline int32_t ref_sub8(int32_t a, int32_t b) { return clamp32(a - b, -128, 127); }
inline int32_t ref_mul8(int32_t a, int32_t b) { return clamp32(floor_div_pow2(a * b + 64, 7), -128, 127); }

// Saturating x * 2^s for a sample of `bits` bits; counts past 40 cannot change
// a clamped result, so they are capped before forming the exact product.
inline int64_t ref_shl_sat(int64_t x, int s, int bits)
{
    if (s <= 0) {
        return x;
    }
    int64_t hi = (int64_t{1} << (bits - 1)) - 1;
    return clamp64(x * (int64_t{1} << std::min(s, 40)), -hi - 1, hi);
}

inline int64_t ref_shr_round(int64_t x, int s, int bits)
{
    if (s <= 0) {
        return x;
    }
    if (s >= bits) {
        return x < 0 ? -1 : 0;
    }
    return floor_div_pow2(x + (int64_t{1} << (s - 1)), s);
}

inline int64_t wrap64(__int128 x) { return static_cast<int64_t>(static_cast<uint64_t>(static_cast<unsigned __int128>(x))); }

inline int64_t ref_shl64(int64_t x, int s)
{
    if (s <= 0) {
        return x;
    }
    return s >= 63 ? 0 : wrap64(static_cast<__int128>(x) * (static_cast<__int128>(1) << s));
}

inline int64_t ref_shr64(int64_t x, int s)
{
    if (s <= 0) {
        return x;
    }
    if (s >= 63) {
        return x < 0 ? -1 : 0;
    }
    return static_cast<int64_t>(floor_div_pow2<__int128>(wrap64(static_cast<__int128>(x) + (int64_t{1} << (s - 1))), s));
}

}  // namespace reference

#endif  // CORVANE_TESTS_REFERENCE_H
