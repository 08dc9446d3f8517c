// Streaming FIR filters: the driver that feeds windows of samples to a sums
// path, the scalar paths, and the choice of the paths.
//
// Each pass copies up to kChunk new samples behind the last `past` samples
// of the signal (history first) into one window, so that every path reads
// plain memory before and after its outputs: no edge cases at the start of
// the signal, at block ends or at odd addresses. The copy costs far less
// than the products it feeds.
#include <cstdlib>
#include <cstring>

#include "cpu_features.h"
#include "dispatch.h"
#include "fir.h"
#include "fir_paths.h"
#include "narrow_paths.h"
#include "path_lookup.h"
#include "rounding.h"

namespace corvane::fir {

namespace {

// New samples per pass: the window (2 bytes a sample) and its sums (8 bytes)
// stay within the first-level cache.
constexpr size_t kChunk = 2048;
constexpr size_t kLocalScratchBytes = 8192;

constexpr size_t round_up(size_t n, size_t m) { return (n + m - 1) / m * m; }

// A tap split as t = hi * 2^8 + lo, lo in 0..255.
inline uint16_t tap_hi(int16_t t) { return static_cast<uint16_t>(t >> 8); }
inline uint16_t tap_lo(int16_t t) { return static_cast<uint16_t>(t & 0xFF); }

inline int32_t pack_pair(uint16_t older, uint16_t newer)
{
    return static_cast<int32_t>(uint32_t{older} | (uint32_t{newer} << 16));
}

// One allocation holds the sums, the tap pairs, the widened taps and the
// window, in falling order of alignment.
struct Scratch {
    void *memory = nullptr;
    int64_t *sums = nullptr;
    int32_t *hi_pairs = nullptr;
    int32_t *lo_pairs = nullptr;
    int32_t *whole_pairs = nullptr;
    int16_t *taps = nullptr;
    int16_t *window = nullptr;

    // Short blocks of short filters, the streaming case, fit in `local`
    // and skip the allocator.
    bool allocate(size_t sums_count, size_t pairs, size_t window_count, void *local, size_t local_bytes)
    {
        const size_t bytes = sums_count * sizeof(int64_t) + 3 * pairs * sizeof(int32_t) +
                             (2 * pairs + window_count) * sizeof(int16_t);
        void *area = local;
        if (bytes > local_bytes) {
            area = memory = std::malloc(bytes);
            if (memory == nullptr) {
                return false;
            }
        }
        sums = static_cast<int64_t *>(area);
        hi_pairs = reinterpret_cast<int32_t *>(sums + sums_count);
        lo_pairs = hi_pairs + pairs;
        whole_pairs = lo_pairs + pairs;
        taps = reinterpret_cast<int16_t *>(whole_pairs + pairs);
        window = taps + 2 * pairs;
        return true;
    }
    ~Scratch() { std::free(memory); }
};

template <typename T>
void prepare_taps(const T *taps, size_t ntaps, const Scratch &s, size_t pairs)
{
    for (size_t j = 0; j < 2 * pairs; ++j) {
        s.taps[j] = j < ntaps ? load(taps + j) : 0;
    }
    pack_pairs(s.taps, pairs, s.hi_pairs, s.lo_pairs, s.whole_pairs);
}

// Q15 samples are copied as bytes; Q8 samples are sign-extended.
inline void copy_samples(const int16_t *src, size_t n, int16_t *dst) { std::memcpy(dst, src, n * sizeof *dst); }

inline void copy_samples(const int8_t *src, size_t n, int16_t *dst)
{
    for (size_t i = 0; i < n; ++i) {
        dst[i] = load(src + i);
    }
}

// Narrow turns `count` raw sums into out[0 .. count).
template <typename T, typename Narrow>
int run(SumsFn sums, const T *x, size_t n, const T *taps, size_t ntaps, const T *history,
        T *out, Narrow narrow)
{
    if (n == 0 || ntaps == 0) {
        for (size_t i = 0; i < n; ++i) {
            store(out + i, T{0});
        }
        return 0;
    }
    const size_t pairs = (ntaps + 1) / 2;
    const size_t past = 2 * pairs - 1;
    const size_t chunk = n < kChunk ? n : kChunk;
    const size_t padded = round_up(chunk, kMaxBlock);
    alignas(64) unsigned char local[kLocalScratchBytes];
    Scratch s;
    if (!s.allocate(padded, pairs, past + padded, local, sizeof local)) {
        return -1;
    }
    prepare_taps(taps, ntaps, s, pairs);
    const Taps prepared{s.taps, ntaps, s.hi_pairs, s.lo_pairs, pairs, s.whole_pairs, whole_per_lane(s.taps, ntaps)};

    // The zero tap of an odd count reaches one sample further back than
    // the history: that slot stays zero.
    int16_t *const w = s.window + past;
    std::memset(s.window, 0, past * sizeof(int16_t));
    if (history != nullptr) {
        int16_t *const h = w - (ntaps - 1);
        copy_samples(history, ntaps - 1, h);
    }
    for (size_t done = 0; done < n;) {
        const size_t count = n - done < chunk ? n - done : chunk;
        copy_samples(x + done, count, w);
        std::memset(w + count, 0, (round_up(count, kMaxBlock) - count) * sizeof(int16_t));
        sums(w, count, prepared, s.sums);
        narrow(s.sums, count, out + done);
        // The newest `past` samples of this window precede the next one.
        std::memmove(s.window, s.window + count, past * sizeof(int16_t));
        done += count;
    }
    return 0;
}

// The widest sums path this CPU runs, found once.
SumsFn chosen_sums()
{
    static const SumsFn sums = kSumsPaths[first_supported(kSumsPaths)].fn;
    return sums;
}

}  // namespace


void pack_pairs(const int16_t *taps, size_t pairs, int32_t *hi_pairs, int32_t *lo_pairs, int32_t *whole_pairs)
{
    for (size_t p = 0; p < pairs; ++p) {
        const int16_t newer = taps[2 * p];
        const int16_t older = taps[2 * p + 1];
        hi_pairs[p] = pack_pair(tap_hi(older), tap_hi(newer));
        lo_pairs[p] = pack_pair(tap_lo(older), tap_lo(newer));
        whole_pairs[p] = whole_pair(newer, older);
    }
}

int32_t whole_pair(int16_t newer, int16_t older)
{
    return pack_pair(static_cast<uint16_t>(older), static_cast<uint16_t>(newer));
}

size_t whole_per_lane(const int16_t *taps, size_t count)
{
    int32_t largest = 1;
    for (size_t j = 0; j < count; ++j) {
        const int32_t m = taps[j] < 0 ? -int32_t{taps[j]} : taps[j];
        largest = m > largest ? m : largest;
    }
    const size_t per_lane = static_cast<size_t>(32767 / largest);
    if (per_lane < kMinWholePerLane) {
        return 0;
    }
    return per_lane < kPairsPerGroup ? per_lane : kPairsPerGroup;
}

// Tap-major order: each tap runs over the whole window, so the inner loop is
// one multiply-add across consecutive outputs that compilers vectorise.
void sums_scalar(const int16_t *w, size_t n, const Taps &t, int64_t *sums)
{
    for (size_t i = 0; i < n; ++i) {
        sums[i] = 0;
    }
    for (size_t j = 0; j < t.count; ++j) {
        const int32_t tap = t.taps[j];
        const int16_t *xj = w - j;
        for (size_t i = 0; i < n; ++i) {
            sums[i] += tap * xj[i];
        }
    }
}

// The narrowing path is the widest this CPU has, whatever the sums path;
// both modes reach it as numbers and it picks its loop once per run.
int run_q15(SumsFn sums, const int16_t *x, size_t n, const int16_t *taps, size_t ntaps,
            const int16_t *history, int16_t *out, int s, NarrowMode mode)
{
    const int rounding = static_cast<int>(mode.rounding), overflow = static_cast<int>(mode.overflow);
    auto narrow = [s, rounding, overflow](int64_t *raw, size_t count, int16_t *dst) {
        narrow_q15_modes(raw, count, dst, s, rounding, overflow);
    };
    return run(sums, x, n, taps, ntaps, history, out, narrow);
}

// The Q14 sums wrap at 32 bits, as dot_q8 does, before they are narrowed.
int run_q8(SumsFn sums, const int8_t *x, size_t n, const int8_t *taps, size_t ntaps,
           const int8_t *history, int8_t *out, int s, NarrowMode mode)
{
    const int rounding = static_cast<int>(mode.rounding), overflow = static_cast<int>(mode.overflow);
    auto narrow = [s, rounding, overflow](int64_t *raw, size_t count, int8_t *dst) {
        for (size_t i = 0; i < count; ++i) {
            raw[i] = static_cast<int32_t>(raw[i]);
        }
        narrow_q8_modes(raw, count, dst, s, rounding, overflow);
    };
    return run(sums, x, n, taps, ntaps, history, out, narrow);
}

namespace {

// A sums path from corvane_path's untyped answer.
SumsFn sums_at(const void *path) { return reinterpret_cast<SumsFn>(const_cast<void *>(path)); }

}  // namespace

}  // namespace corvane::fir

extern "C" {

int fir_q15(const int16_t *x, size_t n, const int16_t *taps, size_t ntaps, const int16_t *history,
            int16_t *out, int s)
{
    using namespace corvane::fir;
    return run_q15(chosen_sums(), x, n, taps, ntaps, history, out, s);
}

int fir_q8(const int8_t *x, size_t n, const int8_t *taps, size_t ntaps, const int8_t *history,
           int8_t *out, int s)
{
    using namespace corvane::fir;
    return run_q8(chosen_sums(), x, n, taps, ntaps, history, out, s);
}

int corvane_fir_q15_on(const void *sums, const int16_t *x, size_t n, const int16_t *taps, size_t ntaps,
                       const int16_t *history, int16_t *out, int s)
{
    using namespace corvane::fir;
    return run_q15(sums_at(sums), x, n, taps, ntaps, history, out, s);
}

int corvane_fir_q8_on(const void *sums, const int8_t *x, size_t n, const int8_t *taps, size_t ntaps,
                      const int8_t *history, int8_t *out, int s)
{
    using namespace corvane::fir;
    return run_q8(sums_at(sums), x, n, taps, ntaps, history, out, s);
}

int fir_q15_modes(const int16_t *x, size_t n, const int16_t *taps, size_t ntaps, const int16_t *history,
                  int16_t *out, int s, int rounding, int overflow)
{
    using namespace corvane;
    const NarrowMode mode{static_cast<Rounding>(rounding), static_cast<Overflow>(overflow)};
    return fir::run_q15(fir::chosen_sums(), x, n, taps, ntaps, history, out, s, mode);
}

int fir_q8_modes(const int8_t *x, size_t n, const int8_t *taps, size_t ntaps, const int8_t *history,
                 int8_t *out, int s, int rounding, int overflow)
{
    using namespace corvane;
    const NarrowMode mode{static_cast<Rounding>(rounding), static_cast<Overflow>(overflow)};
    return fir::run_q8(fir::chosen_sums(), x, n, taps, ntaps, history, out, s, mode);
}

}  // extern "C"
