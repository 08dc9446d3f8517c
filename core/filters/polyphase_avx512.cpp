// AVX-512 class sums of the polyphase filters: every plain FIR of a class
// (one per sub-phase) adds into the same 32-bit accumulators, so the sums
// move to 64 bits once per block and class, not once per sub-phase. The
// layout of taps and windows is the FIR's (fir_paths.h, fir_avx2.cpp); as
// there, every function carries its own target attribute and no shared
// inline helper is included.
#include "polyphase_paths.h"

#if CORVANE_X86_PATHS

#include "avx512_intrinsics.h"

namespace corvane::polyphase {

namespace {

#define CORVANE_AVX512 __attribute__((target("avx512f,avx512bw,avx512vnni"), always_inline)) inline

constexpr size_t kBlock = 32;
constexpr size_t kBlocksInFlight = 2;

CORVANE_AVX512 __m512i widen_pair(__m256i hi, __m256i lo)
{
    return _mm512_add_epi64(_mm512_slli_epi64(_mm512_cvtepi32_epi64(hi), 8), _mm512_cvtepi32_epi64(lo));
}

CORVANE_AVX512 void add_to(int64_t *dst, __m512i v, bool first)
{
    _mm512_storeu_si512(dst, first ? v : _mm512_add_epi64(_mm512_loadu_si512(dst), v));
}

// Even outputs 0, 2, .. and odd 1, 3, .. back in order, 16 at a time.
CORVANE_AVX512 void add_in_order(int64_t *dst, __m512i even, __m512i odd, bool first)
{
    const __m512i low = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
    const __m512i high = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
    add_to(dst, _mm512_permutex2var_epi64(even, low, odd), first);
    add_to(dst + 8, _mm512_permutex2var_epi64(even, high, odd), first);
}

struct Lanes {
    __m512i he, le, ho, lo;
};

CORVANE_AVX512 void flush(Lanes &a, int64_t *dst, bool first)
{
    add_in_order(dst, widen_pair(_mm512_castsi512_si256(a.he), _mm512_castsi512_si256(a.le)),
                 widen_pair(_mm512_castsi512_si256(a.ho), _mm512_castsi512_si256(a.lo)), first);
    add_in_order(dst + 16, widen_pair(_mm512_extracti64x4_epi64(a.he, 1), _mm512_extracti64x4_epi64(a.le, 1)),
                 widen_pair(_mm512_extracti64x4_epi64(a.ho, 1), _mm512_extracti64x4_epi64(a.lo, 1)), first);
    a.he = a.le = a.ho = a.lo = _mm512_setzero_si512();
}

// Sums of kBlocks consecutive blocks from output i0, over every pair of
// every plain FIR of the class; the 32-bit lanes are flushed every
// kPairsPerGroup pairs, before they could overflow.
template <size_t kBlocks>
__attribute__((target("avx512f,avx512bw,avx512vnni"))) void class_blocks(const int16_t *const *w, const fir::Taps *const *t, size_t count, size_t i0,
                                 int64_t *sums)
{
    Lanes a[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) {
        a[b].he = a[b].le = a[b].ho = a[b].lo = _mm512_setzero_si512();
    }
    size_t used = 0;
    bool first = true;
    for (size_t k = 0; k < count; ++k) {
        const fir::Taps &taps = *t[k];
        for (size_t p = 0; p < taps.pairs; ++p) {
            if (used == fir::kPairsPerGroup) {
                for (size_t b = 0; b < kBlocks; ++b) {
                    flush(a[b], sums + i0 + b * kBlock, first);
                }
                first = false;
                used = 0;
            }
            const __m512i th = _mm512_set1_epi32(taps.hi_pairs[p]);
            const __m512i tl = _mm512_set1_epi32(taps.lo_pairs[p]);
            for (size_t b = 0; b < kBlocks; ++b) {
                const int16_t *newest = w[k] + i0 + b * kBlock - 2 * p;
                const __m512i xe = _mm512_loadu_si512(newest - 1);
                const __m512i xo = _mm512_loadu_si512(newest);
                a[b].he = _mm512_dpwssd_epi32(a[b].he, xe, th);
                a[b].le = _mm512_dpwssd_epi32(a[b].le, xe, tl);
                a[b].ho = _mm512_dpwssd_epi32(a[b].ho, xo, th);
                a[b].lo = _mm512_dpwssd_epi32(a[b].lo, xo, tl);
            }
            ++used;
        }
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        flush(a[b], sums + i0 + b * kBlock, first);
    }
}

#undef CORVANE_AVX512

}  // namespace

__attribute__((target("avx512f,avx512bw,avx512vnni"))) void class_sums_avx512(
    const int16_t *const *windows, const fir::Taps *const *taps, size_t count, size_t n, int64_t *sums, int64_t *)
{
    // One plain FIR (every plain filter and interpolator) is the FIR's own.
    if (count == 1) {
        fir::sums_avx512(windows[0], n, *taps[0], sums);
        return;
    }
    size_t i0 = 0;
    for (; i0 + kBlock < n; i0 += kBlocksInFlight * kBlock) {
        class_blocks<kBlocksInFlight>(windows, taps, count, i0, sums);
    }
    if (i0 < n) {
        class_blocks<1>(windows, taps, count, i0, sums);
    }
}

// out[i] = src[i * step] for i < count: step 32-lane permutes per 32
// samples, each taking the lanes that fall in one loaded vector.
__attribute__((target("avx512f,avx512bw"))) void gather_avx512(const int16_t *src, size_t step, size_t count,
                                                               int16_t *out)
{
    constexpr size_t kLanes = 32;
    if (step > kMaxVectorStep) {
        gather_scalar(src, step, count, out);
        return;
    }
    alignas(64) int16_t index[kMaxVectorStep][kLanes];
    __mmask32 take[kMaxVectorStep] = {};
    for (size_t i = 0; i < kLanes; ++i) {
        const size_t at = i * step;
        for (size_t j = 0; j < step; ++j) {
            index[j][i] = static_cast<int16_t>(at % kLanes);
        }
        take[at / kLanes] |= __mmask32{1} << i;
    }
    __m512i idx[kMaxVectorStep];
    for (size_t j = 0; j < step; ++j) {
        idx[j] = _mm512_load_si512(index[j]);
    }
    // Each block reads up to step - 1 samples past its last one: only while
    // a later sample is still to be gathered.
    size_t i = 0;
    for (; i + kLanes < count; i += kLanes) {
        const int16_t *from = src + i * step;
        __m512i v = _mm512_setzero_si512();
        for (size_t j = 0; j < step; ++j) {
            v = _mm512_mask_permutexvar_epi16(v, take[j], idx[j], _mm512_loadu_si512(from + j * kLanes));
        }
        _mm512_storeu_si512(out + i, v);
    }
    gather_scalar(src + i * step, step, count - i, out + i);
}

}  // namespace corvane::polyphase

#endif  // CORVANE_X86_PATHS
