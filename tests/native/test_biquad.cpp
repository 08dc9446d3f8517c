// The biquad cascade: every path this CPU runs against the scalar rules, in
// every mode, channel count and chunking of sections (one channel takes the
// section lanes: 2 to 4 sections the 256-bit ones), and the exported entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "biquad.h"
#include "biquad_paths.h"

namespace {

using corvane::biquad::kSosPaths;
using corvane::biquad::Plan;
using corvane::biquad::Section;

// Rows of random coefficients; every third section takes them from the ends
// of the range (unstable ones included), so that outputs saturate or wrap.
std::vector<int32_t> random_sos(std::mt19937 &rng, size_t sections)
{
    std::uniform_int_distribution<int32_t> coef(-32768, 32767), frac(0, 15), pick(0, 3);
    const int32_t ends[] = {-32768, 32767, 0, 1};
    std::vector<int32_t> sos;
    for (size_t k = 0; k < sections; ++k) {
        const bool extreme = k % 3 == 2;
        for (int j = 0; j < 6; ++j) {
            sos.push_back(j == 3 ? (1 << (extreme ? 15 * (k & 1) : frac(rng))) : extreme ? ends[pick(rng)] : coef(rng));
        }
    }
    return sos;
}

TEST(Biquad, EveryPathMatchesScalarInEveryMode)
{
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (const auto &path : kSosPaths) {
        if (!corvane::isa_supported(path.isa)) {
            continue;
        }
        for (size_t sections : {1, 2, 3, 4, 5, 9}) {
            const auto sos = random_sos(rng, sections);
            std::vector<Section> prepared(sections);
            corvane::biquad::prepare(sos.data(), sections, prepared.data());
            for (size_t channels : {1, 2, 3, 4, 7, 8, 9, 16, 17}) {
                const size_t n = 37;
                std::vector<int16_t> x(n * channels), state(sections * 4 * channels);
                for (auto &v : x) v = static_cast<int16_t>(sample(rng));
                for (auto &v : state) v = static_cast<int16_t>(sample(rng));
                for (int mode = 0; mode < CORVANE_ROUNDING_COUNT * CORVANE_OVERFLOW_COUNT * 2; ++mode) {
                    const Plan plan{prepared.data(), sections,
                                    {static_cast<corvane::Rounding>(mode / 4), static_cast<corvane::Overflow>(mode / 2 % 2)},
                                    mode % 2 != 0};
                    auto want_state = state, got_state = state;
                    std::vector<int16_t> want(x.size()), got(x.size());
                    corvane::biquad::scalar::sosfilt(plan, x.data(), n, channels, want_state.data(), want.data());
                    path.fn(plan, x.data(), n, channels, got_state.data(), got.data());
                    ASSERT_EQ(got, want) << corvane::isa_name(path.isa) << " sections " << sections << " channels "
                                         << channels << " mode " << mode;
                    ASSERT_EQ(got_state, want_state) << corvane::isa_name(path.isa) << " mode " << mode;
                    // In place, from an odd address.
                    std::vector<int16_t> buf(x.size() + 1);
                    std::copy(x.begin(), x.end(), buf.begin() + 1);
                    auto again = state;
                    path.fn(plan, buf.data() + 1, n, channels, again.data(), buf.data() + 1);
                    ASSERT_TRUE(std::equal(want.begin(), want.end(), buf.begin() + 1)) << corvane::isa_name(path.isa);
                }
            }
        }
    }
}

TEST(Biquad, EntryStreamsAndRefusesBadCoefficients)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    const size_t sections = 4, channels = 9, n = 50;
    auto sos = random_sos(rng, sections);
    std::vector<int16_t> x(n * channels);
    for (auto &v : x) v = static_cast<int16_t>(sample(rng));
    std::vector<int16_t> whole(x.size()), split(x.size()), s1(sections * 4 * channels), s2(s1.size());
    ASSERT_EQ(sosfilt_q15(x.data(), n, channels, sos.data(), sections, s1.data(), whole.data(), 5, 1, 1), 0);
    for (size_t cut : {0, 1, 17, 50}) {
        std::fill(s2.begin(), s2.end(), 0);
        ASSERT_EQ(sosfilt_q15(x.data(), cut, channels, sos.data(), sections, s2.data(), split.data(), 5, 1, 1), 0);
        ASSERT_EQ(sosfilt_q15(x.data() + cut * channels, n - cut, channels, sos.data(), sections, s2.data(),
                              split.data() + cut * channels, 5, 1, 1), 0);
        EXPECT_EQ(split, whole) << cut;
        EXPECT_EQ(s2, s1) << cut;
    }
    for (const auto &[index, value] : {std::pair{3, 3}, {9, 1 << 16}, {14, 32768}, {20, -32769}, {3, 0}}) {
        auto bad = sos;
        bad[index] = value;
        EXPECT_EQ(sos_check_q15(bad.data(), sections), index);
        std::vector<int16_t> untouched(x.size(), 7), state(s1.size(), 7);
        EXPECT_EQ(sosfilt_q15(x.data(), n, channels, bad.data(), sections, state.data(), untouched.data(), 0, 0, 0), -1);
        EXPECT_EQ(untouched, std::vector<int16_t>(x.size(), 7));
        EXPECT_EQ(state, std::vector<int16_t>(s1.size(), 7));
    }
    EXPECT_EQ(sos_check_q15(sos.data(), sections), -1);
    std::vector<int16_t> state(s1.size());
    EXPECT_EQ(sosfilt_q15(x.data(), n, channels, sos.data(), sections, state.data(), split.data(), 6, 0, 0), -1);
    EXPECT_EQ(sosfilt_q15(x.data(), n, channels, sos.data(), sections, state.data(), split.data(), 0, 2, 0), -1);
    EXPECT_EQ(sosfilt_q15(x.data(), n, channels, sos.data(), sections, state.data(), split.data(), 0, 0, 2), -1);
}

}  // namespace
