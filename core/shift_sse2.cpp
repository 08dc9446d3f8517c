// SSE2 paths of the power-of-two scaling: saturating left shifts,
// round-half-up right shifts, wrapping 64-bit shifts.
//
// Each kernel picks its regime (copy, scale, sign or zero result) and the
// constants for it once per call. The element loop is then the same
// branch-free rule for every sample: SSE2 vectors over the bulk where the
// output lies far enough from the input for a block to reproduce the forward
// pass, the scalar rule over everything else.
#include "targets.h"

#if CORVANE_X86_PATHS

#include <cstring>

#include "paths.h"
#include "sample_rules.h"
#include "shift_rules.h"
#include "simd_sse2.h"

using namespace corvane;

namespace {

constexpr size_t kWideVectors = 4;
constexpr size_t kWideBlockBytes = kWideVectors * sse2::kVectorBytes;

// A lane reads only its own sample, so a block also reproduces the forward
// pass in place (distance 0), as well as a block or more away.
inline bool block_fits(uint64_t distance, size_t block_bytes)
{
    return distance == 0 || distance >= block_bytes;
}

// Runs `lanes` over whole vectors wherever that equals the forward pass and
// returns how many samples it covered; the caller finishes the rest.
template <typename T, typename Lanes>
size_t vector_pass(const T *a, size_t n, T *out, Lanes lanes)
{
    const uint64_t distance = byte_distance(a, out);
    const size_t bytes = n * sizeof(T);
    size_t done = 0;
    if (block_fits(distance, kWideBlockBytes)) {
        done = sse2::unary_blocks<kWideVectors>(a, out, bytes, lanes);
    }
    if (block_fits(distance, sse2::kVectorBytes)) {
        const auto *src = reinterpret_cast<const unsigned char *>(a) + done;
        auto *dst = reinterpret_cast<unsigned char *>(out) + done;
        done += sse2::unary_blocks<1>(src, dst, bytes - done, lanes);
    }
    return done / sizeof(T);
}

template <typename T, typename Lanes, typename Rule>
void shift_pass(const T *a, size_t n, T *out, Lanes lanes, Rule rule)
{
    forward_unary(a, out, vector_pass(a, n, out, lanes), n, rule);
}

// ---- Sign regime of the saturating left shifts.

// (positive or negative) & max gives max for either sign; flipping all bits
// of the negative ones turns max into min.
inline __m128i saturated_sign_q15_lanes(__m128i x)
{
    const __m128i negative = _mm_srai_epi16(x, 15);
    const __m128i positive = _mm_cmpgt_epi16(x, _mm_setzero_si128());
    const __m128i max = _mm_set1_epi16(static_cast<int16_t>(kQ15Max));
    return _mm_xor_si128(_mm_and_si128(_mm_or_si128(positive, negative), max), negative);
}

inline __m128i saturated_sign_q8_lanes(__m128i x)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i negative = _mm_cmplt_epi8(x, zero);
    const __m128i positive = _mm_cmpgt_epi8(x, zero);
    const __m128i max = _mm_set1_epi8(static_cast<char>(kQ8Max));
    return _mm_xor_si128(_mm_and_si128(_mm_or_si128(positive, negative), max), negative);
}

// ---- Scale regime of the saturating left shifts.

// The Q15 lanes stay 16 bits wide: widening and packing back would cost three
// shuffles per vector, all on one port. Samples clamped to [lo, hi] shift
// exactly; -32768 is a multiple of 2^s, so the bottom clamp is already the
// saturated result, and 32767 is (hi << s) | (2^s - 1), so lanes clamped at
// the top get the low bits filled in.
struct ShlQ15Lanes {
    __m128i count, lo, hi, low_bits;

    explicit ShlQ15Lanes(int s)
        : count(_mm_cvtsi32_si128(s)),
          lo(_mm_set1_epi16(static_cast<int16_t>(kQ15Min >> s))),
          hi(_mm_set1_epi16(static_cast<int16_t>(kQ15Max >> s))),
          low_bits(_mm_set1_epi16(static_cast<int16_t>((1 << s) - 1)))
    {
    }

    __m128i operator()(__m128i x) const
    {
        __m128i clamped = _mm_min_epi16(_mm_max_epi16(x, lo), hi);
        __m128i over = _mm_cmpgt_epi16(x, hi);
        return _mm_or_si128(_mm_sll_epi16(clamped, count), _mm_and_si128(over, low_bits));
    }
};

// Doubling with saturation S times gives sat8(x * 2^S): an exact doubling
// stays exact and a saturated lane stays saturated. At most seven byte adds
// per vector, against two widenings, two shifts and a pack.
template <int S>
inline __m128i shl_q8_lanes(__m128i x)
{
    for (int i = 0; i < S; ++i) {
        x = _mm_adds_epi8(x, x);
    }
    return x;
}

template <int S>
void shl_q8_scaled(const int8_t *a, size_t n, int8_t *out)
{
    shift_pass(a, n, out, [](__m128i x) { return shl_q8_lanes<S>(x); },
               [](int8_t x) { return shl_q8_rule(x, int32_t{1} << S); });
}

// Indexed by the count; the scaling range is 1 to 7.
using ShlQ8Scaled = void (*)(const int8_t *, size_t, int8_t *);
constexpr ShlQ8Scaled kShlQ8Scaled[] = {
    nullptr, shl_q8_scaled<1>, shl_q8_scaled<2>, shl_q8_scaled<3>,
    shl_q8_scaled<4>, shl_q8_scaled<5>, shl_q8_scaled<6>, shl_q8_scaled<7>,
};

// ---- Rounding right shifts.

// Without widening: floor((x + 2^(k-1)) / 2^k) is x >> k plus bit k-1 of x.
// Past the scaling range the count stops at 15, where x >> 15 is already the
// sign result, and the rounding bit is masked off.
inline __m128i shr_q15_lanes(__m128i x, __m128i k, __m128i k_minus_1, __m128i round_bit)
{
    const __m128i carry = _mm_and_si128(_mm_sra_epi16(x, k_minus_1), round_bit);
    return _mm_add_epi16(_mm_sra_epi16(x, k), carry);
}

// Byte lanes, without widening: with u = x + 128 (the sign bit flipped) and
// h = 2^(k-1), (x + h) >> k = ((u >> (k-1)) + 1) >> 1 - (128 >> k), and the
// outer step is pavgb against zero. SSE2 shifts bytes only in pairs, so the
// inner shift is a 16-bit one with the bits that crossed from the
// neighbouring byte masked off. For the scaling range 1 <= k <= 7.
struct ShrQ8Lanes {
    __m128i k_minus_1;
    __m128i low_bits;  // 0xFF >> (k-1) in every byte
    __m128i bias_out;  // 128 >> k in every byte

    explicit ShrQ8Lanes(int k)
        : k_minus_1(_mm_cvtsi32_si128(k - 1)),
          low_bits(_mm_set1_epi8(static_cast<char>(0xFF >> (k - 1)))),
          bias_out(_mm_set1_epi8(static_cast<char>(0x80 >> k)))
    {
    }

    __m128i operator()(__m128i x) const
    {
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
        const __m128i u = _mm_xor_si128(x, flip);
        const __m128i v = _mm_and_si128(_mm_srl_epi16(u, k_minus_1), low_bits);
        return _mm_sub_epi8(_mm_avg_epu8(v, _mm_setzero_si128()), bias_out);
    }
};

// Past the scaling range only the sign is left: -1 or 0.
inline __m128i shr_q8_sign_lanes(__m128i x) { return _mm_cmplt_epi8(x, _mm_setzero_si128()); }

// SSE2 has no 64-bit arithmetic shift: shift logically, then sign-extend from
// the bit where the sign landed, ((u >> k) ^ m) - m with m = 2^(63-k).
inline __m128i shr_i64_lanes(__m128i x, __m128i r, __m128i k, __m128i sign_bit)
{
    const __m128i shifted = _mm_srl_epi64(_mm_add_epi64(x, r), k);
    return _mm_sub_epi64(_mm_xor_si128(shifted, sign_bit), sign_bit);
}

}  // namespace

namespace corvane::sse2 {

void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
    } else if (s < 16) {
        const int32_t scale = int32_t{1} << s;
        shift_pass(a, len_a, out, ShlQ15Lanes(s), [=](int16_t x) { return shl_q15_rule(x, scale); });
    } else {
        shift_pass(a, len_a, out, [](__m128i x) { return saturated_sign_q15_lanes(x); },
                   saturated_sign<int16_t, kQ15Max, kQ15Min>);
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
        kShlQ8Scaled[s](a, len_a, out);
    } else {
        shift_pass(a, len_a, out, [](__m128i x) { return saturated_sign_q8_lanes(x); },
                   saturated_sign<int8_t, kQ8Max, kQ8Min>);
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
    const int k16 = s < 16 ? s : 15;
    const __m128i k = _mm_cvtsi32_si128(k16);
    const __m128i k_minus_1 = _mm_cvtsi32_si128(k16 - 1);
    const __m128i round_bit = _mm_set1_epi16(s < 16 ? 1 : 0);
    shift_pass(a, len_a, out, [=](__m128i x) { return shr_q15_lanes(x, k, k_minus_1, round_bit); },
               [=](int16_t x) { return shr_q15_rule(x, c); });
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
    const auto rule = [=](int8_t x) { return shr_q8_rule(x, c); };
    if (s < 8) {
        shift_pass(a, len_a, out, ShrQ8Lanes(s), rule);
    } else {
        shift_pass(a, len_a, out, [](__m128i x) { return shr_q8_sign_lanes(x); }, rule);
    }
}

void shl_i64(const int64_t *a, size_t len_a, int64_t *out, int s)
{
    if (len_a == 0) {
        return;
    }
    if (s <= 0) {
        copy_forward(a, len_a, out);
    } else if (s < 63) {
        const __m128i count = _mm_cvtsi32_si128(s);
        shift_pass(a, len_a, out, [=](__m128i x) { return _mm_sll_epi64(x, count); },
                   [=](int64_t x) { return shl_i64_rule(x, s); });
    } else {
        // 1 << 63 would wrap to the most negative value; the result is
        // defined as 0 for every sample, which needs no input at all.
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
    const __m128i r_lanes = _mm_set1_epi64x(static_cast<int64_t>(r));
    const __m128i k_count = _mm_cvtsi32_si128(k);
    const __m128i sign_bit = _mm_set1_epi64x(static_cast<int64_t>(uint64_t{1} << (63 - k)));
    shift_pass(a, len_a, out, [=](__m128i x) { return shr_i64_lanes(x, r_lanes, k_count, sign_bit); },
               [=](int64_t x) { return shr_i64_rule(x, r, k); });
}

}  // namespace corvane::sse2

#endif  // CORVANE_X86_PATHS
