// Native checks of the FIR, narrowing and conversion kernels on every path
// this build has (the sums of kSumsPaths, the narrowing of narrow_paths.h), against plain loops written here from the definitions:
// a direct per-output sum and a rounding division done with '/' on 128-bit
// integers (nothing is shared with the code under test).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "fir.h"
#include "fir_paths.h"
#include "narrow.h"
#include "narrow_paths.h"

namespace {

using SumsPath = corvane::Path<corvane::fir::SumsFn>;

// floor((x + 2^(s-1)) / 2^s) for s >= 1, x itself for s <= 0, clamped.
int64_t ref_narrow(int64_t x, int s, int64_t lo, int64_t hi)
{
    __int128 r = x;
    if (s >= 1) {
        if (s > 100) {
            r = 0;  // |x| < 2^63 is far below half of 2^s
        } else {
            const __int128 d = static_cast<__int128>(1) << s;
            const __int128 num = r + d / 2;
            r = num / d - ((num % d != 0 && num < 0) ? 1 : 0);
        }
    }
    return r < lo ? lo : (r > hi ? hi : static_cast<int64_t>(r));
}

// The filter written as its definition: one exact sum per output, earlier
// samples from the history (or zero), Q8 sums wrapped to 32 bits.
template <typename T>
std::vector<T> ref_fir(const std::vector<T> &x, const std::vector<T> &taps,
                       std::type_identity_t<const std::vector<T> *> history, int s)
{
    const bool q8 = sizeof(T) == 1;
    const int64_t hi = std::numeric_limits<T>::max();
    std::vector<T> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        int64_t sum = 0;
        for (size_t j = 0; j < taps.size(); ++j) {
            const long k = static_cast<long>(i) - static_cast<long>(j);
            int64_t v = 0;
            if (k >= 0) {
                v = x[k];
            } else if (history != nullptr) {
                v = (*history)[history->size() + k];
            }
            sum += taps[j] * v;
        }
        if (q8) {
            sum = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sum)));
        }
        y[i] = static_cast<T>(ref_narrow(sum, s, -hi - 1, hi));
    }
    return y;
}

template <typename T>
std::vector<T> random_samples(size_t n, std::mt19937 &gen)
{
    std::uniform_int_distribution<int> d(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
    std::vector<T> v(n);
    for (auto &e : v) {
        e = static_cast<T>(d(gen));
    }
    return v;
}

// widest_lanes: 0x80FF splits into the largest parts of both signs
// (hi -128, lo 255), which fill a path's 32-bit lanes fastest.
// lane_bound: samples of -32768 (the taps are the test's own).
enum class Fill { random, all_min, alternating, widest_lanes, lane_bound };

template <typename T>
std::vector<T> filled(size_t n, Fill fill, std::mt19937 &gen)
{
    const T lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
    if (fill == Fill::random) {
        return random_samples<T>(n, gen);
    }
    std::vector<T> v(n, fill == Fill::widest_lanes && sizeof(T) == 2 ? static_cast<T>(-32513) : lo);
    if (fill == Fill::alternating) {
        for (size_t i = 1; i < n; i += 2) {
            v[i] = hi;
        }
    }
    return v;
}

// The filter with its sums on path p, narrowed as the exported filter does.
template <typename T>
int run_path(const SumsPath &p, const std::vector<T> &x, const std::vector<T> &taps,
             std::type_identity_t<const std::vector<T> *> history, T *out, int s)
{
    const T *h = history ? history->data() : nullptr;
    if constexpr (sizeof(T) == 2) {
        return corvane::fir::run_q15(p.fn, x.data(), x.size(), taps.data(), taps.size(), h, out, s);
    } else {
        return corvane::fir::run_q8(p.fn, x.data(), x.size(), taps.data(), taps.size(), h, out, s);
    }
}

class FirPaths : public testing::TestWithParam<const SumsPath *> {
protected:
    void SetUp() override
    {
        if (!corvane::isa_supported(GetParam()->isa)) {
            GTEST_SKIP() << "this CPU cannot run the " << corvane::isa_name(GetParam()->isa) << " path";
        }
    }
};

// Lengths around each path's block (16, 32 outputs) and the driver's chunk
// (2048); tap counts around a pair, a block and a 32-bit lane group (256).
const size_t kLengths[] = {0, 1, 2, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 2047, 2048, 2049, 4200};
const size_t kTapCounts[] = {1, 2, 3, 16, 17, 31, 32, 33, 255, 256, 257, 258, 600};

template <typename T>
void check_filters(const SumsPath &p, int s)
{
    std::mt19937 gen(1234);
    for (Fill fill : {Fill::random, Fill::all_min, Fill::alternating, Fill::widest_lanes}) {
        for (size_t ntaps : kTapCounts) {
            for (size_t n : kLengths) {
                const auto x = filled<T>(n, fill, gen);
                const auto taps = filled<T>(ntaps, fill, gen);
                const auto history = filled<T>(ntaps - 1, fill, gen);
                for (const std::vector<T> *h : {static_cast<const std::vector<T> *>(nullptr), &history}) {
                    std::vector<T> out(n + 1, 77);
                    ASSERT_EQ(run_path(p, x, taps, h, out.data(), s), 0);
                    ASSERT_EQ(out[n], 77) << "wrote past the end";
                    out.pop_back();
                    ASSERT_EQ(out, ref_fir(x, taps, h, s))
                        << "fill=" << int(fill) << " taps=" << ntaps << " n=" << n << " history=" << (h != nullptr);
                }
            }
        }
    }
}

TEST_P(FirPaths, Q15AgainstDefinition) { check_filters<int16_t>(*GetParam(), 15); }
TEST_P(FirPaths, Q8AgainstDefinition) { check_filters<int8_t>(*GetParam(), 7); }

// The narrow step of the filter at counts that keep, round away or saturate
// everything; a long filter so that sums grow past 32 bits.
TEST_P(FirPaths, EveryShiftOfALongFilter)
{
    std::mt19937 gen(99);
    const auto x = filled<int16_t>(300, Fill::all_min, gen);
    const auto taps = filled<int16_t>(700, Fill::widest_lanes, gen);
    const auto x8 = filled<int8_t>(300, Fill::random, gen);
    const auto taps8 = filled<int8_t>(700, Fill::all_min, gen);
    for (int s : {INT_MIN, -1, 0, 1, 2, 14, 15, 16, 31, 32, 40, 62, 63, 64, 65, INT_MAX}) {
        std::vector<int16_t> out(x.size());
        std::vector<int8_t> out8(x8.size());
        ASSERT_EQ(run_path(*GetParam(), x, taps, nullptr, out.data(), s), 0);
        ASSERT_EQ(run_path(*GetParam(), x8, taps8, nullptr, out8.data(), s), 0);
        EXPECT_EQ(out, ref_fir(x, taps, nullptr, s)) << "s=" << s;
        EXPECT_EQ(out8, ref_fir(x8, taps8, nullptr, s)) << "s=" << s;
    }
}

// Any block split gives the one-pass output when each block gets the last
// ntaps - 1 samples seen so far as its history.
TEST_P(FirPaths, BlocksEqualOnePass)
{
    std::mt19937 gen(7);
    const auto x = random_samples<int16_t>(3000, gen);
    for (size_t ntaps : {1, 31, 300}) {
        const auto taps = random_samples<int16_t>(ntaps, gen);
        const auto want = ref_fir(x, taps, nullptr, 15);
        std::vector<int16_t> got(x.size());
        std::vector<int16_t> history(ntaps - 1, 0);
        std::uniform_int_distribution<size_t> size(0, 70);
        for (size_t start = 0; start < x.size();) {
            size_t n = std::min(size(gen), x.size() - start);
            std::vector<int16_t> block(x.begin() + start, x.begin() + start + n);
            ASSERT_EQ(run_path(*GetParam(), block, taps, &history, got.data() + start, 15), 0);
            std::vector<int16_t> seen(history);
            seen.insert(seen.end(), block.begin(), block.end());
            history.assign(seen.end() - (ntaps - 1), seen.end());
            start += n;
        }
        EXPECT_EQ(got, want) << "taps=" << ntaps;
    }
}

// The raw sums of each path, called directly on windows placed at every
// alignment, for every output count 0..300: the block remainders of each
// path, with the extreme taps, and filters whose sums need all 64 bits.
// The window and the tap pairs are laid out as Taps documents, the whole
// pairs given with the most a 32-bit lane may take and without them; taps
// of -6553 over samples of -32768 fill a lane to within 2^16 of 2^31 in 5
// pairs, so one pair too many per lane overflows.
TEST_P(FirPaths, RawSumsEveryShortLength)
{
    constexpr size_t kMaxN = 300;
    constexpr int16_t kFifthTap = -32767 / 5;
    std::mt19937 gen(21);
    for (Fill fill : {Fill::random, Fill::all_min, Fill::widest_lanes, Fill::lane_bound}) {
        for (size_t ntaps : {1, 8, 9, 300, 701}) {
            std::vector<int16_t> taps = fill == Fill::lane_bound ? std::vector<int16_t>(ntaps, kFifthTap)
                                                                  : filled<int16_t>(ntaps, fill, gen);
            const size_t pairs = (ntaps + 1) / 2;
            taps.resize(2 * pairs, 0);
            std::vector<int32_t> hi_pairs(pairs), lo_pairs(pairs), whole_pairs(pairs);
            int32_t largest = 1;
            for (size_t q = 0; q < pairs; ++q) {
                const auto half = [](int16_t older, int16_t newer) {
                    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(older)) |
                                                (static_cast<uint32_t>(static_cast<uint16_t>(newer)) << 16));
                };
                const int16_t newer = taps[2 * q], older = taps[2 * q + 1];
                hi_pairs[q] = half(static_cast<int16_t>(older >> 8), static_cast<int16_t>(newer >> 8));
                lo_pairs[q] = half(static_cast<int16_t>(older & 0xFF), static_cast<int16_t>(newer & 0xFF));
                whole_pairs[q] = half(older, newer);
                largest = std::max({largest, std::abs(int32_t{older}), std::abs(int32_t{newer})});
            }
            const size_t per_lane = std::min<size_t>(32767 / largest, corvane::fir::kPairsPerGroup);
            for (size_t whole : {size_t{0}, per_lane}) {
                const corvane::fir::Taps t{taps.data(), ntaps, hi_pairs.data(), lo_pairs.data(),
                                           pairs,       whole_pairs.data(), whole};
                const size_t past = 2 * pairs - 1;
                for (size_t at : {1, 3, 6}) {
                    std::vector<int16_t> window =
                        filled<int16_t>(at + past + kMaxN + corvane::fir::kMaxBlock, fill, gen);
                    const int16_t *w = window.data() + at + past;
                    for (size_t n = 0; n <= kMaxN; ++n) {
                        const size_t padded = (n + corvane::fir::kMaxBlock - 1) / corvane::fir::kMaxBlock *
                                              corvane::fir::kMaxBlock;
                        std::vector<int64_t> sums(padded + 1, 77);
                        GetParam()->fn(w, n, t, sums.data());
                        ASSERT_EQ(sums[padded], 77) << "wrote past the padding";
                        for (size_t i = 0; i < n; ++i) {
                            int64_t want = 0;
                            for (size_t j = 0; j < ntaps; ++j) {
                                want += int64_t{taps[j]} * w[static_cast<long>(i) - static_cast<long>(j)];
                            }
                            ASSERT_EQ(sums[i], want) << "fill=" << int(fill) << " taps=" << ntaps << " at=" << at
                                                     << " n=" << n << " i=" << i << " whole=" << whole;
                        }
                    }
                }
            }
        }
    }
}

// Every int64 near a power of two, each sign, at every count that matters,
// on every narrowing path in the filters' default modes.
TEST(FirNarrow, EveryPathAgainstDefinition)
{
    std::vector<int64_t> x = {0, 1, -1, INT64_MAX, INT64_MIN};
    for (int b = 0; b < 63; ++b) {
        const int64_t p = int64_t{1} << b;
        for (int64_t d : {-1, 0, 1}) {
            x.push_back(p + d);
            x.push_back(-p + d);
        }
    }
    for (size_t k = 0; k < std::size(corvane::kNarrowQ15Paths); ++k) {
        const auto &p15 = corvane::kNarrowQ15Paths[k];
        const auto &p8 = corvane::kNarrowQ8Paths[k];
        if (!corvane::isa_supported(p15.isa)) {
            continue;
        }
        for (int s = -2; s <= 70; ++s) {
            std::vector<int16_t> out15(x.size()), want15(x.size());
            std::vector<int8_t> out8(x.size()), want8(x.size());
            for (size_t i = 0; i < x.size(); ++i) {
                want15[i] = static_cast<int16_t>(ref_narrow(x[i], s, INT16_MIN, INT16_MAX));
                want8[i] = static_cast<int8_t>(ref_narrow(x[i], s, INT8_MIN, INT8_MAX));
            }
            p15.fn(x.data(), x.size(), out15.data(), s, CORVANE_ROUND_NEAREST, CORVANE_OVERFLOW_SATURATE);
            p8.fn(x.data(), x.size(), out8.data(), s, CORVANE_ROUND_NEAREST, CORVANE_OVERFLOW_SATURATE);
            ASSERT_EQ(out15, want15) << corvane::isa_name(p15.isa) << " s=" << s;
            ASSERT_EQ(out8, want8) << corvane::isa_name(p8.isa) << " s=" << s;
        }
    }
}

std::vector<const SumsPath *> sums_paths()
{
    std::vector<const SumsPath *> v;
    for (const auto &p : corvane::fir::kSumsPaths) {
        v.push_back(&p);
    }
    return v;
}

std::string sums_name(const testing::TestParamInfo<const SumsPath *> &info)
{
    return corvane::isa_name(info.param->isa);
}

INSTANTIATE_TEST_SUITE_P(Fir, FirPaths, testing::ValuesIn(sums_paths()), sums_name);

// The exported entry points at odd addresses, through the CPU's own choice.
TEST(Fir, ExportedFiltersAtOddAddresses)
{
    std::mt19937 gen(5);
    const auto x = random_samples<int16_t>(500, gen), taps = random_samples<int16_t>(31, gen);
    const auto history = random_samples<int16_t>(30, gen);
    std::vector<unsigned char> bx(2 * 500 + 1), bt(2 * 31 + 1), bh(2 * 30 + 1), by(2 * 500 + 1);
    std::memcpy(bx.data() + 1, x.data(), 1000);
    std::memcpy(bt.data() + 1, taps.data(), 62);
    std::memcpy(bh.data() + 1, history.data(), 60);
    ASSERT_EQ(fir_q15(reinterpret_cast<const int16_t *>(bx.data() + 1), 500,
                      reinterpret_cast<const int16_t *>(bt.data() + 1), 31,
                      reinterpret_cast<const int16_t *>(bh.data() + 1), reinterpret_cast<int16_t *>(by.data() + 1),
                      15),
              0);
    std::vector<int16_t> got(500);
    std::memcpy(got.data(), by.data() + 1, 1000);
    EXPECT_EQ(got, ref_fir(x, taps, &history, 15));
}

// Floats whose scaled value sits next to a half or past the range, the
// inputs a naive y + 0.5 gets wrong, and the NaN count.
TEST(Convert, ToQ15AndQ8Exact)
{
    const double below_half = std::nextafter(0.5, 0.0);
    struct Case {
        double x;
        int16_t q15;
        int8_t q8;
    };
    const Case cases[] = {
        {below_half / 32768, 0, 0},
        {0.5 / 32768, 1, 0},
        {-0.5 / 32768, 0, 0},
        {-below_half / 32768, 0, 0},
        {std::nextafter(-0.5, -1.0) / 32768, -1, 0},
        {(1 << 22) + 0.5, 32767, 127},
        {32766.5 / 32768, 32767, 127},
        {std::nextafter(32766.5, 0.0) / 32768, 32766, 127},
        {-1.0, -32768, -128},
        {std::nextafter(-32768.5, 0.0) / 32768, -32768, -128},
        {HUGE_VAL, 32767, 127},
        {-HUGE_VAL, -32768, -128},
        {126.5 / 128, 32384, 127},
        {std::nextafter(126.5, 0.0) / 128, 32384, 126},
        {std::numeric_limits<double>::denorm_min(), 0, 0},
    };
    for (const Case &c : cases) {
        int16_t q15 = 1;
        int8_t q8 = 1;
        EXPECT_EQ(to_q15_f64(&c.x, 1, &q15), 0u);
        EXPECT_EQ(to_q8_f64(&c.x, 1, &q8), 0u);
        EXPECT_EQ(q15, c.q15) << c.x;
        EXPECT_EQ(q8, c.q8) << c.x;
    }
    const double nans[] = {std::nan(""), 0.25, -std::nan("")};
    int16_t out[3];
    EXPECT_EQ(to_q15_f64(nans, 3, out), 2u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 8192);
}

}  // namespace
