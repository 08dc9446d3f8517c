// AVX2 paths of the Q15 and Q8 shifts: the SSE2 paths' lane arithmetic on
// twice the lanes, in blocks of two 32-byte vectors, the same 64 bytes the
// SSE2 path's wide block spans, so both take one distance test. The SSE2
// path then finishes the rest (its 16-byte blocks, then the scalar rule), or
// all of it when the output sits too close to the input, or in the copy
// regime.
//
// Every function that touches a 256-bit register carries its own target
// attribute (see elementwise_avx2.cpp), and so do the lane functors; the
// regime is picked inside the attributed block functions, so that no 256-bit
// value crosses into code compiled without AVX2.
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
constexpr size_t kBlockBytes = 2 * kVectorBytes;
static_assert(kBlockBytes == kAvx2BlockBytes, "the dispatch's threshold (paths.h)");

// A lane reads only its own sample, so a block also reproduces the forward
// pass in place (distance 0), as well as a block or more away.
bool block_fits(const void *a, const void *out)
{
    const uint64_t distance = byte_distance(a, out);
    return distance == 0 || distance >= kBlockBytes;
}

// Runs `lanes` over whole blocks of the first `bytes` bytes and returns how
// many bytes they covered. Each block loads both vectors before it stores.
template <typename Lanes>
CORVANE_AVX2 size_t unary_blocks(const void *a, void *out, size_t bytes, const Lanes &lanes)
{
    const auto *pa = static_cast<const unsigned char *>(a);
    auto *po = static_cast<unsigned char *>(out);
    size_t done = 0;
    for (; bytes - done >= kBlockBytes; done += kBlockBytes) {
        const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(pa + done));
        const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(pa + done + kVectorBytes));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(po + done), lanes(x0));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(po + done + kVectorBytes), lanes(x1));
    }
    return done;
}

// ---- Saturating left shifts (see shift_sse2.cpp for the lane arithmetic).

struct ShlQ15Lanes {
    __m128i count;
    __m256i lo, hi, low_bits;

    CORVANE_AVX2 explicit ShlQ15Lanes(int s)
        : count(_mm_cvtsi32_si128(s)),
          lo(_mm256_set1_epi16(static_cast<int16_t>(kQ15Min >> s))),
          hi(_mm256_set1_epi16(static_cast<int16_t>(kQ15Max >> s))),
          low_bits(_mm256_set1_epi16(static_cast<int16_t>((1 << s) - 1)))
    {
    }

    CORVANE_AVX2 __m256i operator()(__m256i x) const
    {
        const __m256i clamped = _mm256_min_epi16(_mm256_max_epi16(x, lo), hi);
        const __m256i over = _mm256_cmpgt_epi16(x, hi);
        return _mm256_or_si256(_mm256_sll_epi16(clamped, count), _mm256_and_si256(over, low_bits));
    }
};

struct SaturatedSignQ15Lanes {
    CORVANE_AVX2 __m256i operator()(__m256i x) const
    {
        const __m256i negative = _mm256_srai_epi16(x, 15);
        const __m256i positive = _mm256_cmpgt_epi16(x, _mm256_setzero_si256());
        const __m256i max = _mm256_set1_epi16(static_cast<int16_t>(kQ15Max));
        return _mm256_xor_si256(_mm256_and_si256(_mm256_or_si256(positive, negative), max), negative);
    }
};

template <int S>
struct ShlQ8Lanes {
    CORVANE_AVX2 __m256i operator()(__m256i x) const
    {
        for (int i = 0; i < S; ++i) {
            x = _mm256_adds_epi8(x, x);
        }
        return x;
    }
};

struct SaturatedSignQ8Lanes {
    CORVANE_AVX2 __m256i operator()(__m256i x) const
    {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i negative = _mm256_cmpgt_epi8(zero, x);
        const __m256i positive = _mm256_cmpgt_epi8(x, zero);
        const __m256i max = _mm256_set1_epi8(static_cast<char>(kQ8Max));
        return _mm256_xor_si256(_mm256_and_si256(_mm256_or_si256(positive, negative), max), negative);
    }
};

// ---- Rounding right shifts.

struct ShrQ15Lanes {
    __m128i k, k_minus_1;
    __m256i round_bit;

    // Past the scaling range the count stops at 15, where x >> 15 is already
    // the sign result, and the rounding bit is masked off.
    CORVANE_AVX2 explicit ShrQ15Lanes(int s)
        : k(_mm_cvtsi32_si128(s < 16 ? s : 15)),
          k_minus_1(_mm_cvtsi32_si128(s < 16 ? s - 1 : 14)),
          round_bit(_mm256_set1_epi16(s < 16 ? 1 : 0))
    {
    }

    CORVANE_AVX2 __m256i operator()(__m256i x) const
    {
        const __m256i carry = _mm256_and_si256(_mm256_sra_epi16(x, k_minus_1), round_bit);
        return _mm256_add_epi16(_mm256_sra_epi16(x, k), carry);
    }
};

// For the scaling range 1 <= k <= 7.
struct ShrQ8Lanes {
    __m128i k_minus_1;
    __m256i low_bits;  // 0xFF >> (k-1) in every byte
    __m256i bias_out;  // 128 >> k in every byte

    CORVANE_AVX2 explicit ShrQ8Lanes(int k)
        : k_minus_1(_mm_cvtsi32_si128(k - 1)),
          low_bits(_mm256_set1_epi8(static_cast<char>(0xFF >> (k - 1)))),
          bias_out(_mm256_set1_epi8(static_cast<char>(0x80 >> k)))
    {
    }

    CORVANE_AVX2 __m256i operator()(__m256i x) const
    {
        const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
        const __m256i u = _mm256_xor_si256(x, flip);
        const __m256i v = _mm256_and_si256(_mm256_srl_epi16(u, k_minus_1), low_bits);
        return _mm256_sub_epi8(_mm256_avg_epu8(v, _mm256_setzero_si256()), bias_out);
    }
};

struct SignQ8Lanes {
    CORVANE_AVX2 __m256i operator()(__m256i x) const { return _mm256_cmpgt_epi8(_mm256_setzero_si256(), x); }
};

// ---- Block runs per kernel, for s > 0; each returns the bytes covered.

CORVANE_AVX2 size_t shl_q15_blocks(const int16_t *a, int16_t *out, size_t bytes, int s)
{
    return s < 16 ? unary_blocks(a, out, bytes, ShlQ15Lanes(s)) : unary_blocks(a, out, bytes, SaturatedSignQ15Lanes{});
}

CORVANE_AVX2 size_t shr_q15_blocks(const int16_t *a, int16_t *out, size_t bytes, int s)
{
    return unary_blocks(a, out, bytes, ShrQ15Lanes(s));
}

CORVANE_AVX2 size_t shl_q8_blocks(const int8_t *a, int8_t *out, size_t bytes, int s)
{
    switch (s) {
    case 1:
        return unary_blocks(a, out, bytes, ShlQ8Lanes<1>{});
    case 2:
        return unary_blocks(a, out, bytes, ShlQ8Lanes<2>{});
    case 3:
        return unary_blocks(a, out, bytes, ShlQ8Lanes<3>{});
    case 4:
        return unary_blocks(a, out, bytes, ShlQ8Lanes<4>{});
    case 5:
        return unary_blocks(a, out, bytes, ShlQ8Lanes<5>{});
    case 6:
        return unary_blocks(a, out, bytes, ShlQ8Lanes<6>{});
    case 7:
        return unary_blocks(a, out, bytes, ShlQ8Lanes<7>{});
    default:
        return unary_blocks(a, out, bytes, SaturatedSignQ8Lanes{});
    }
}

CORVANE_AVX2 size_t shr_q8_blocks(const int8_t *a, int8_t *out, size_t bytes, int s)
{
    return s < 8 ? unary_blocks(a, out, bytes, ShrQ8Lanes(s)) : unary_blocks(a, out, bytes, SignQ8Lanes{});
}


// Wide blocks where they give the forward pass, then the SSE2 path. The
// blocks start where the output is aligned; the SSE2 path runs the samples
// before that first, in its own 16-byte blocks as far as they go. The copy
// regime, arrays shorter than a block and outputs too close to the input go
// straight to the SSE2 path.
template <typename T, size_t (*Blocks)(const T *, T *, size_t, int), void (*Rest)(const T *, size_t, T *, int)>
CORVANE_AVX2 void shift_path(const T *a, size_t len_a, T *out, int s)
{
    if (s <= 0 || len_a * sizeof(T) < kBlockBytes || !block_fits(a, out)) {
        return Rest(a, len_a, out, s);
    }
    size_t done = 0;
    const size_t head = samples_to_alignment(out, kVectorBytes);
    if ((len_a - std::min(len_a, head)) * sizeof(T) >= kBlockBytes) {
        Rest(a, head, out, s);
        done = head;
    }
    done += Blocks(a + done, out + done, (len_a - done) * sizeof(T), s) / sizeof(T);
    if (done < len_a) {
        Rest(a + done, len_a - done, out + done, s);
    }
}

#undef CORVANE_AVX2

}  // namespace

void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    shift_path<int16_t, shl_q15_blocks, sse2::shl_q15>(a, len_a, out, s);
}

void shr_q15(const int16_t *a, size_t len_a, int16_t *out, int s)
{
    shift_path<int16_t, shr_q15_blocks, sse2::shr_q15>(a, len_a, out, s);
}

void shl_q8(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    shift_path<int8_t, shl_q8_blocks, sse2::shl_q8>(a, len_a, out, s);
}

void shr_q8(const int8_t *a, size_t len_a, int8_t *out, int s)
{
    shift_path<int8_t, shr_q8_blocks, sse2::shr_q8>(a, len_a, out, s);
}

}  // namespace corvane::avx2

#endif  // CORVANE_X86_PATHS
