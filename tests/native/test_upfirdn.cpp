// Native checks of the polyphase filters on every sums path this CPU can
// run (and every decimating path that skips the gather), against the definition written here: the zero-stuffed stream, one
// exact sum per kept output, rounded half up by division and clamped. Each
// signal is also cut into three blocks that carry history and phase.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "polyphase_paths.h"
#include "reference.h"
#include "rounding.h"

namespace {

using corvane::polyphase::kSumsPaths;

template <typename T>
std::vector<T> ref_upfirdn(const std::vector<T> &x, const std::vector<T> &h, size_t up, size_t down, int s)
{
    const int64_t hi = std::numeric_limits<T>::max();
    std::vector<T> y;
    for (size_t k = 0; k < x.size() * up; k += down) {
        int64_t sum = 0;
        for (size_t j = 0; j < h.size() && j <= k; ++j) {
            if ((k - j) % up == 0) {
                sum += int64_t{h[j]} * x[(k - j) / up];
            }
        }
        if (sizeof(T) == 1) {
            sum = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sum)));
        }
        y.push_back(static_cast<T>(corvane_test::clamp64(corvane_test::floor_div_pow2(sum + (int64_t{1} << (s - 1)), s), -hi - 1, hi)));
    }
    return y;
}

// The sums paths a filter runs on: the class sums, and the decimating sums
// where the plan has their form (null: the class sums alone).
struct Route {
    corvane::polyphase::ClassSumsFn sums;
    corvane::polyphase::DecimatingSumsFn decimating;
};

template <typename T>
int run(Route route, const upfirdn_plan &plan, const T *x, size_t n, T *history, size_t phase, T *out, int s)
{
    if constexpr (sizeof(T) == 2) {
        return corvane::polyphase::run_q15(route.sums, route.decimating, plan, x, n, history, phase, out, s,
                                           CORVANE_ROUND_NEAREST, CORVANE_OVERFLOW_SATURATE);
    } else {
        return corvane::polyphase::run_q8(route.sums, route.decimating, plan, x, n, history, phase, out, s,
                                          CORVANE_ROUND_NEAREST, CORVANE_OVERFLOW_SATURATE);
    }
}

// Random samples and taps, full scale or small enough to be summed whole
// (|tap| <= 6553); or the lowest samples with taps that fill the 32-bit
// lanes fastest: 0x80FF of the split taps (hi -128, lo 255), or -6553 of
// the whole ones, five pairs of which come within 2^16 of 2^31.
enum class Fill { random, small_random, split_extreme, whole_extreme };

template <typename T>
void check_path(Route route, size_t up, size_t down, size_t ntaps, size_t n, Fill fill, int s)
{
    std::mt19937 gen(static_cast<unsigned>(up * 131 + down * 17 + ntaps + n));
    std::uniform_int_distribution<int> d(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
    std::vector<T> x(n), h(ntaps);
    const T low = std::numeric_limits<T>::min();
    const T extreme_tap = fill == Fill::whole_extreme ? static_cast<T>(sizeof(T) == 2 ? -32767 / 5 : low)
                                                      : static_cast<T>(sizeof(T) == 2 ? -32513 : low);
    const bool random = fill == Fill::random || fill == Fill::small_random;
    for (auto &v : x) {
        v = random ? static_cast<T>(d(gen)) : low;
    }
    for (auto &v : h) {
        v = random ? static_cast<T>(d(gen)) : extreme_tap;
        if (fill == Fill::small_random) {
            v = static_cast<T>(v / 5);
        }
    }
    const std::vector<T> want = ref_upfirdn(x, h, up, down, s);
    upfirdn_plan *plan = sizeof(T) == 2 ? upfirdn_plan_q15(reinterpret_cast<const int16_t *>(h.data()), ntaps, up, down)
                                        : upfirdn_plan_q8(reinterpret_cast<const int8_t *>(h.data()), ntaps, up, down);
    ASSERT_NE(plan, nullptr);
    std::vector<T> y(want.size() + 1);
    ASSERT_EQ(upfirdn_outputs(plan, n, 0), want.size());
    ASSERT_EQ(run(route, *plan, x.data(), n, static_cast<T *>(nullptr), 0, y.data(), s), 0);
    y.pop_back();
    EXPECT_EQ(y, want) << "one pass, up " << up << " down " << down << " taps " << ntaps << " n " << n;

    std::vector<T> history(upfirdn_history(plan) + 1, 0), joined(want.size() + 1);
    const size_t cuts[] = {0, n / 3, n / 3 + 1, n};
    size_t phase = 0, done = 0;
    for (size_t b = 0; b < 3; ++b) {
        const size_t len = cuts[b + 1] - cuts[b];
        ASSERT_EQ(run(route, *plan, x.data() + cuts[b], len, history.data(), phase, joined.data() + done, s), 0);
        done += upfirdn_outputs(plan, len, phase);
        phase = upfirdn_next_phase(plan, len, phase);
    }
    joined.pop_back();
    EXPECT_EQ(done, want.size());
    EXPECT_EQ(joined, want) << "three blocks, up " << up << " down " << down << " taps " << ntaps << " n " << n;
    upfirdn_plan_free(plan);
}

TEST(UpfirdnPaths, EveryPathMatchesDefinition)
{
    struct Case {
        size_t up, down, ntaps, n;
    };
    // Taps shorter and longer than up, lengths around the blocks, a chunk
    // boundary, a plain FIR longer than one 32-bit group of pairs, and every
    // even factor the decimating sums take, with one and two taps too.
    const Case cases[] = {{1, 1, 1, 1},    {1, 2, 31, 33},   {1, 4, 31, 2100}, {4, 1, 48, 700},
                          {3, 2, 48, 65},  {2, 4, 3, 100},   {7, 3, 5, 64},    {5, 7, 40, 97},
                          {6, 4, 13, 31},  {1, 3, 600, 900}, {2, 1, 1, 17},    {3, 3, 9, 300},
                          {1, 8, 61, 4500}, {1, 2, 2, 70},   {1, 4, 1, 9},     {1, 8, 20, 7},
                          {1, 2, 300, 5000}, {1, 6, 31, 200}, {1, 4, 31, 20000}};
    std::vector<Route> routes;
    for (const auto &path : kSumsPaths) {
        if (corvane::isa_supported(path.isa)) {
            routes.push_back({path.fn, nullptr});
        }
    }
    for (const auto &path : corvane::polyphase::kDecimatingPaths) {
        if (corvane::isa_supported(path.isa) && path.fn != nullptr) {
            routes.push_back({kSumsPaths[std::size(kSumsPaths) - 1].fn, path.fn});
        }
    }
    for (const Route &route : routes) {
        for (const Case &c : cases) {
            for (Fill fill : {Fill::random, Fill::small_random, Fill::split_extreme, Fill::whole_extreme}) {
                check_path<int16_t>(route, c.up, c.down, c.ntaps, c.n, fill, 15);
                check_path<int8_t>(route, c.up, c.down, c.ntaps, c.n, fill, 7);
            }
        }
    }
}

}  // namespace

namespace {

// Every gather path, every step up to past the vector limit, counts around
// the 32-lane blocks; the source ends at the last sample taken, so a read
// past it shows under the sanitizers.
TEST(UpfirdnPaths, EveryGatherTakesEveryStepth)
{
    for (const auto &path : corvane::polyphase::kGatherPaths) {
        if (!corvane::isa_supported(path.isa)) {
            continue;
        }
        for (size_t step = 1; step <= corvane::polyphase::kMaxVectorStep + 2; ++step) {
            for (size_t count : {size_t{1}, size_t{31}, size_t{32}, size_t{33}, size_t{64}, size_t{97}}) {
                const size_t len = (count - 1) * step + 1;
                std::vector<int16_t> src(len);
                for (size_t i = 0; i < len; ++i) {
                    src[i] = static_cast<int16_t>(i * 7919 - 30000);
                }
                std::vector<int16_t> out(count), want(count);
                for (size_t i = 0; i < count; ++i) {
                    want[i] = src[i * step];
                }
                path.fn(src.data(), step, count, out.data());
                EXPECT_EQ(out, want) << "step " << step << " count " << count;
            }
        }
    }
}

}  // namespace

namespace {

// Every spread path, every class count up to past the vector limit, counts
// around the 32-lane blocks; each row is readable only to the length the
// contract promises, so a read past it shows under the sanitizers.
TEST(UpfirdnPaths, EverySpreadInterleavesTheRows)
{
    for (const auto &path : corvane::polyphase::kSpreadPaths) {
        if (!corvane::isa_supported(path.isa)) {
            continue;
        }
        for (size_t classes = 1; classes <= corvane::polyphase::kMaxVectorClasses + 2; ++classes) {
            for (size_t count : {size_t{1}, size_t{31}, size_t{32}, size_t{33}, size_t{100}, size_t{257}}) {
                const size_t row_length = (count + classes - 1) / classes + corvane::polyphase::kSpreadPad;
                std::vector<int16_t> rows(classes * row_length);
                for (size_t i = 0; i < rows.size(); ++i) {
                    rows[i] = static_cast<int16_t>(i * 7919 - 30000);
                }
                std::vector<int16_t> out(count), want(count);
                for (size_t i = 0; i < count; ++i) {
                    want[i] = rows[(i % classes) * row_length + i / classes];
                }
                path.fn(rows.data(), row_length, classes, count, out.data());
                EXPECT_EQ(out, want) << corvane::isa_name(path.isa) << " classes " << classes << " count " << count;
            }
        }
    }
}

}  // namespace
