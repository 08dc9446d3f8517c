// AVX2 paths of the elementwise kernels. The products gain most: AVX2 has the
// rounding multiply (vpmulhrsw) that SSE2 lacks, which halves the work per
// product; add/sub gain from moving twice the bytes per instruction.
//
// Every function that touches a 256-bit register carries its own target
// attribute, never a pragma or flag over the whole file: that could let the
// linker keep an AVX2-compiled copy of a shared inline helper for the SSE2
// callers too. Lambdas do not inherit the attribute, so the lane steps are
// plain functions.
#include "targets.h"

#if CORVANE_X86_PATHS

#include <immintrin.h>

#include <algorithm>

#include "paths.h"
#include "sample_rules.h"

namespace corvane::avx2 {

namespace {

#define CORVANE_AVX2 __attribute__((target("avx2")))

constexpr size_t kVectorBytes = 32;
// The dispatch hands shorter inputs straight to the SSE2 path (paths.h).
static_assert(kAvx2BlockBytes == 2 * kVectorBytes && kAvx2MulQ8BlockBytes == kVectorBytes, "thresholds");

CORVANE_AVX2 __m256i load(const void *p)
{
    return _mm256_loadu_si256(static_cast<const __m256i *>(p));
}

CORVANE_AVX2 void store(void *p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i *>(p), v); }

// vpmulhrsw gives (a*b + 2^14) >> 15 exactly, except that -32768 * -32768
// wraps to -32768; no other pair yields -32768 (the smallest product rounds
// to -32767), so flipping every bit of those lanes gives the clamp at 32767.
CORVANE_AVX2 __m256i mul_q15_lanes(__m256i a, __m256i b)
{
    const __m256i wrapped = _mm256_set1_epi16(INT16_MIN);
    __m256i r = _mm256_mulhrs_epi16(a, b);
    return _mm256_xor_si256(r, _mm256_cmpeq_epi16(r, wrapped));
}

// The even and odd bytes of each 16-bit lane are multiplied apart, each with
// one sample scaled by 2^8 and the other sign-extended: no widening shuffles.
// The rounding multiply then gives (a*b*2^8 + 2^14) >> 15 = (a*b + 64) >> 7
// exactly, -127 .. 128 in 16 bits, and the narrowing pack clamps the lone 128
// from -128 * -128. The pack leaves eight even results, then eight odd ones,
// in each 128-bit half; the byte shuffle interleaves them back in place.
CORVANE_AVX2 __m256i mul_q8_lanes(__m256i a, __m256i b)
{
    const __m256i high_bytes = _mm256_set1_epi16(static_cast<int16_t>(0xFF00));
    const __m256i interleave = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,
                                                0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    __m256i odd = _mm256_mulhrs_epi16(_mm256_and_si256(a, high_bytes), _mm256_srai_epi16(b, 8));
    __m256i even = _mm256_mulhrs_epi16(_mm256_slli_epi16(a, 8),
                                       _mm256_srai_epi16(_mm256_slli_epi16(b, 8), 8));
    return _mm256_shuffle_epi8(_mm256_packs_epi16(even, odd), interleave);
}

// The same for one 16-byte vector, for the run up to an aligned block.
CORVANE_AVX2 __m128i mul_q15_lanes(__m128i a, __m128i b)
{
    const __m128i r = _mm_mulhrs_epi16(a, b);
    return _mm_xor_si128(r, _mm_cmpeq_epi16(r, _mm_set1_epi16(INT16_MIN)));
}

CORVANE_AVX2 __m256i add_q15_lanes(__m256i a, __m256i b) { return _mm256_adds_epi16(a, b); }
CORVANE_AVX2 __m256i sub_q15_lanes(__m256i a, __m256i b) { return _mm256_subs_epi16(a, b); }
CORVANE_AVX2 __m128i add_q15_lanes(__m128i a, __m128i b) { return _mm_adds_epi16(a, b); }
CORVANE_AVX2 __m128i sub_q15_lanes(__m128i a, __m128i b) { return _mm_subs_epi16(a, b); }
CORVANE_AVX2 __m256i add_q8_lanes(__m256i a, __m256i b) { return _mm256_adds_epi8(a, b); }
CORVANE_AVX2 __m256i sub_q8_lanes(__m256i a, __m256i b) { return _mm256_subs_epi8(a, b); }

// Runs whole blocks of kVectors vectors of each operand over the first
// `bytes` bytes and returns how many bytes they covered. Each block loads all
// of its inputs before it stores anything.
template <size_t kVectors, __m256i (*Lanes)(__m256i, __m256i)>
CORVANE_AVX2 size_t binary_blocks(const void *a, const void *b, void *out, size_t bytes)
{
    constexpr size_t kBlock = kVectors * kVectorBytes;
    const auto *pa = static_cast<const unsigned char *>(a);
    const auto *pb = static_cast<const unsigned char *>(b);
    auto *po = static_cast<unsigned char *>(out);
    size_t done = 0;
    for (; bytes - done >= kBlock; done += kBlock) {
        __m256i x[kVectors], y[kVectors];
        for (size_t k = 0; k < kVectors; ++k) {
            x[k] = load(pa + done + k * kVectorBytes);
            y[k] = load(pb + done + k * kVectorBytes);
        }
        for (size_t k = 0; k < kVectors; ++k) {
            store(po + done + k * kVectorBytes, Lanes(x[k], y[k]));
        }
    }
    return done;
}

using BinaryQ15Rest = void (*)(const int16_t *, size_t, const int16_t *, size_t, int16_t *);

// The run of `count` (< 16) Q15 samples before the first aligned block: one
// 16-byte vector where it fits, then the rest of the path's fallback. The
// caller has checked the distances for 64-byte blocks, so any block fits.
template <__m128i (*Lanes)(__m128i, __m128i), BinaryQ15Rest Rest>
CORVANE_AVX2 void q15_head(const int16_t *a, const int16_t *b, int16_t *out, size_t count)
{
    constexpr size_t kHalf = 8;
    size_t done = 0;
    if (count >= kHalf) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), Lanes(x, y));
        done = kHalf;
    }
    Rest(a + done, count - done, b + done, count - done, out + done);
}

// The Q8 fallbacks have 8- or 16-byte blocks of their own for the head.
template <void (*Rest)(const int8_t *, size_t, const int8_t *, size_t, int8_t *)>
void q8_head(const int8_t *a, const int8_t *b, int8_t *out, size_t count)
{
    Rest(a, count, b, count, out);
}

bool blocks_allowed(const void *a, const void *b, const void *out, size_t block_bytes)
{
    return byte_distance(a, out) >= block_bytes && byte_distance(b, out) >= block_bytes;
}

// Wide blocks of kVectors vectors, where the output lies far enough from both
// inputs, then the SSE2 path over the rest (or all of it, when the output is
// too close). Each wide block spans as many bytes as the SSE2 path's block
// of the same kernel (the Q8 product excepted, below), so both take one
// distance test and part only in speed.
// The blocks start where the output is aligned, after a head run in order.
// Arrays shorter than one block go straight to the fallback.
template <typename T, size_t kVectors, __m256i (*Lanes)(__m256i, __m256i),
          void (*Head)(const T *, const T *, T *, size_t), void (*Rest)(const T *, size_t, const T *, size_t, T *)>
CORVANE_AVX2 void binary_path(const T *a, size_t len_a, const T *b, size_t len_b, T *out)
{
    constexpr size_t kBlockBytes = kVectors * kVectorBytes;
    const size_t n = processed(len_a, len_b);
    if (n * sizeof(T) < kBlockBytes || !blocks_allowed(a, b, out, kBlockBytes)) {
        return Rest(a, n, b, n, out);
    }
    size_t done = 0;
    const size_t head = samples_to_alignment(out, kVectorBytes);
    if (Head != nullptr && (n - std::min(n, head)) * sizeof(T) >= kBlockBytes) {
        Head(a, b, out, head);
        done = head;
    }
    done += binary_blocks<kVectors, Lanes>(a + done, b + done, out + done, (n - done) * sizeof(T)) / sizeof(T);
    if (done < n) {
        Rest(a + done, n - done, b + done, n - done, out + done);
    }
}

#undef CORVANE_AVX2

}  // namespace

void add_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    binary_path<int16_t, 2, add_q15_lanes, q15_head<add_q15_lanes, sse2::add_q15>, sse2::add_q15>(a, len_a, b, len_b, out);
}

void sub_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    binary_path<int16_t, 2, sub_q15_lanes, q15_head<sub_q15_lanes, sse2::sub_q15>, sse2::sub_q15>(a, len_a, b, len_b, out);
}

void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out)
{
    binary_path<int16_t, 2, mul_q15_lanes, q15_head<mul_q15_lanes, sse2::mul_q15>, sse2::mul_q15>(a, len_a, b, len_b, out);
}

void add_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    binary_path<int8_t, 2, add_q8_lanes, q8_head<sse2::add_q8>, sse2::add_q8>(a, len_a, b, len_b, out);
}

void sub_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    binary_path<int8_t, 2, sub_q8_lanes, q8_head<sse2::sub_q8>, sse2::sub_q8>(a, len_a, b, len_b, out);
}

// The product is bound by the multiplier, not by loads: one vector per block
// loses nothing and lets outputs as close as 32 bytes past an input keep the
// wide path; closer ones may still take the SSE2 path's 16-byte blocks. For
// the same reason aligning the output gains nothing measurable here.
void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out)
{
    binary_path<int8_t, 1, mul_q8_lanes, nullptr, sse2::mul_q8>(a, len_a, b, len_b, out);
}

}  // namespace corvane::avx2

#endif  // CORVANE_X86_PATHS
