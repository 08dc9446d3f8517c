// libFuzzer target: the FIR on every sums path this CPU runs, in a rounding
// and overflow mode taken from the input, against the scalar sums, and a
// two-block split with the history carried, against one pass.
// Input: flags (sample type, history, modes), tap count, split point, shift
// count, then sample bytes (taps, history, signal).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cpu_features.h"
#include "fir_paths.h"

namespace {

using corvane::NarrowMode;
using corvane::fir::SumsFn;

constexpr size_t kHeader = 1 + 2 + 2 + 4;
constexpr size_t kMaxTaps = 700;

template <typename T>
T ld(const uint8_t *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
std::vector<T> take(const uint8_t *&p, const uint8_t *end, size_t n)
{
    std::vector<T> v(n);
    const size_t bytes = std::min(n * sizeof(T), static_cast<size_t>(end - p));
    if (bytes != 0) {
        std::memcpy(v.data(), p, bytes);
        p += bytes;
    }
    return v;
}

template <typename T>
int run(SumsFn sums, NarrowMode mode, const std::vector<T> &x, size_t begin, size_t end, const std::vector<T> &taps,
        const T *history, T *out, int s)
{
    if constexpr (sizeof(T) == 2) {
        return corvane::fir::run_q15(sums, x.data() + begin, end - begin, taps.data(), taps.size(), history,
                                     out + begin, s, mode);
    } else {
        return corvane::fir::run_q8(sums, x.data() + begin, end - begin, taps.data(), taps.size(), history,
                                    out + begin, s, mode);
    }
}

// One pass, then two blocks with the history carried, on one sums path.
template <typename T>
void check_path(SumsFn sums, NarrowMode mode, const std::vector<T> &x, const std::vector<T> &taps,
                const std::vector<T> *history, size_t split, int s, const std::vector<T> &want)
{
    const size_t ntaps = taps.size();
    const T *h = history ? history->data() : nullptr;
    std::vector<T> got(x.size());
    if (run(sums, mode, x, 0, x.size(), taps, h, got.data(), s) != 0 || got != want) {
        std::abort();
    }
    // The second block's history: the last ntaps - 1 samples of [history, first block].
    std::vector<T> seen = history ? *history : std::vector<T>(ntaps - 1, 0);
    seen.insert(seen.end(), x.begin(), x.begin() + split);
    std::fill(got.begin(), got.end(), T{0});
    if (run(sums, mode, x, 0, split, taps, h, got.data(), s) != 0 ||
        run(sums, mode, x, split, x.size(), taps, seen.data() + (seen.size() - (ntaps - 1)), got.data(), s) != 0 ||
        got != want) {
        std::abort();
    }
}

template <typename T>
void check(const uint8_t *p, const uint8_t *end, size_t ntaps, size_t split, int s, bool with_history,
           NarrowMode mode)
{
    const auto taps = take<T>(p, end, ntaps);
    const auto history = take<T>(p, end, ntaps - 1);
    const auto x = take<T>(p, end, static_cast<size_t>(end - p) / sizeof(T));
    const std::vector<T> *h = with_history ? &history : nullptr;
    split = x.empty() ? 0 : split % (x.size() + 1);

    std::vector<T> want(x.size());
    if (run(corvane::fir::sums_scalar, mode, x, 0, x.size(), taps, h ? h->data() : nullptr, want.data(), s) != 0) {
        std::abort();
    }
    for (const auto &entry : corvane::fir::kSumsPaths) {
        if (corvane::isa_supported(entry.isa)) {
            check_path(entry.fn, mode, x, taps, h, split, s, want);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < kHeader) {
        return 0;
    }
    const uint8_t flags = data[0];
    const size_t ntaps = ld<uint16_t>(data + 1) % kMaxTaps + 1;
    const size_t split = ld<uint16_t>(data + 3);
    const int s = ld<int32_t>(data + 5);
    const NarrowMode mode{static_cast<corvane::Rounding>((flags >> 2) % CORVANE_ROUNDING_COUNT),
                          static_cast<corvane::Overflow>((flags >> 5) & 1)};
    const uint8_t *p = data + kHeader, *end = data + size;
    if (flags & 1) {
        check<int8_t>(p, end, ntaps, split, s, flags & 2, mode);
    } else {
        check<int16_t>(p, end, ntaps, split, s, flags & 2, mode);
    }
    return 0;
}
