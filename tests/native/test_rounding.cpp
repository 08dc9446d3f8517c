// The rounding and overflow rules against a reference over 128-bit integers,
// and the exported mode kernels against the rules, at every count from -2 to
// 70 and the values around every rounding boundary.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "narrow_paths.h"
#include "rounding.h"
#include "rounding_rules.h"

namespace {

using corvane::NarrowMode;
using corvane::Overflow;
using corvane::Rounding;

// Floor division and the rules written from their definitions on __int128,
// where 2^s and x + 2^s never wrap for s <= 70.
__int128 ref_round(__int128 x, int s, Rounding mode)
{
    const __int128 d = static_cast<__int128>(1) << s;
    __int128 q = x / d;
    __int128 r = x % d;
    if (r < 0) {
        q -= 1;
        r += d;
    }
    if (r == 0) {
        return q;
    }
    const bool above = 2 * r > d, tie = 2 * r == d;
    switch (mode) {
    case Rounding::Nearest: return q + (above || tie);
    case Rounding::Floor: return q;
    case Rounding::Ceiling: return q + 1;
    case Rounding::Zero: return x < 0 ? q + 1 : q;
    case Rounding::HalfAway: return q + (above || (tie && x >= 0));
    case Rounding::Convergent: return q + (above || (tie && (q & 1) != 0));
    }
    return 0;
}

template <typename Sample>
int64_t ref_narrow(int64_t x, int s, NarrowMode mode)
{
    const __int128 v = s >= 1 ? ref_round(x, s, mode.rounding) : x;
    const __int128 lo = sizeof(Sample) == 2 ? -32768 : -128, hi = -lo - 1;
    if (mode.overflow == Overflow::Saturate) {
        return static_cast<int64_t>(v < lo ? lo : (v > hi ? hi : v));
    }
    const __int128 m = hi - lo + 1;
    __int128 w = ((v - lo) % m + m) % m + lo;
    return static_cast<int64_t>(w);
}

// Values next to each multiple and half multiple of 2^s, the int64 ends and
// a spread of others.
std::vector<int64_t> probe_values(int s)
{
    std::vector<int64_t> v = {0, 1, -1, INT64_MAX, INT64_MIN, INT64_MAX - 1, INT64_MIN + 1};
    for (int k = 0; k < 63; ++k) {
        for (int64_t d = -1; d <= 1; ++d) {
            v.push_back((int64_t{1} << k) + d);
            v.push_back(-(int64_t{1} << k) + d);
        }
    }
    // Multiples of 2^s and the ties between them; past the int64 range they
    // wrap (in unsigned arithmetic), which still leaves int64 values to probe.
    if (s >= 1 && s <= 62) {
        for (int64_t m = -9; m <= 9; ++m) {
            const uint64_t base = static_cast<uint64_t>(m) << s, half = uint64_t{1} << (s - 1);
            for (int64_t d = -1; d <= 1; ++d) {
                const uint64_t du = static_cast<uint64_t>(d);
                v.push_back(static_cast<int64_t>(base + du));
                v.push_back(static_cast<int64_t>(base + half + du));
                v.push_back(static_cast<int64_t>(3 * base + half + du));
            }
        }
    }
    return v;
}

constexpr Rounding kRoundings[] = {Rounding::Nearest, Rounding::Floor,    Rounding::Ceiling,
                                   Rounding::Zero,    Rounding::HalfAway, Rounding::Convergent};

TEST(RoundingRules, EveryModeAtEveryCountMatchesWideReference)
{
    for (int s = -2; s <= 70; ++s) {
        const std::vector<int64_t> values = probe_values(s);
        for (Rounding r : kRoundings) {
            for (Overflow o : {Overflow::Saturate, Overflow::Wrap}) {
                const NarrowMode mode{r, o};
                std::vector<int16_t> out15(values.size());
                std::vector<int8_t> out8(values.size());
                narrow_q15_modes(values.data(), values.size(), out15.data(), s, static_cast<int>(r),
                                 static_cast<int>(o));
                narrow_q8_modes(values.data(), values.size(), out8.data(), s, static_cast<int>(r),
                                static_cast<int>(o));
                for (size_t i = 0; i < values.size(); ++i) {
                    const int64_t x = values[i];
                    ASSERT_EQ(corvane::narrow_rule<int16_t>(x, s, mode), ref_narrow<int16_t>(x, s, mode))
                        << "x=" << x << " s=" << s << " rounding=" << static_cast<int>(r);
                    ASSERT_EQ(corvane::narrow_rule<int8_t>(x, s, mode), ref_narrow<int8_t>(x, s, mode))
                        << "x=" << x << " s=" << s << " rounding=" << static_cast<int>(r);
                    ASSERT_EQ(out15[i], ref_narrow<int16_t>(x, s, mode)) << "kernel, x=" << x << " s=" << s;
                    ASSERT_EQ(out8[i], ref_narrow<int8_t>(x, s, mode)) << "kernel, x=" << x << " s=" << s;
                }
            }
        }
    }
}

// Every narrowing path of this CPU, called directly, in every mode pair:
// the probe values at every count, in runs of every length around the
// vector widths, from every byte offset of the input and the output.
template <typename Sample, typename Fn, size_t N>
void check_paths(const corvane::Path<Fn> (&table)[N])
{
    for (const auto &path : table) {
        if (!corvane::isa_supported(path.isa)) {
            continue;
        }
        for (int s = -2; s <= 70; ++s) {
            const std::vector<int64_t> values = probe_values(s);
            for (Rounding r : kRoundings) {
                for (Overflow o : {Overflow::Saturate, Overflow::Wrap}) {
                    const NarrowMode mode{r, o};
                    std::vector<Sample> out(values.size());
                    path.fn(values.data(), values.size(), out.data(), s, static_cast<int>(r), static_cast<int>(o));
                    for (size_t i = 0; i < values.size(); ++i) {
                        ASSERT_EQ(out[i], ref_narrow<Sample>(values[i], s, mode))
                            << corvane::isa_name(path.isa) << " x=" << values[i] << " s=" << s
                            << " rounding=" << static_cast<int>(r) << " overflow=" << static_cast<int>(o);
                    }
                }
            }
        }
        // Lengths and offsets, with a guard byte past the output.
        const std::vector<int64_t> values = probe_values(5);
        std::vector<unsigned char> in_bytes(8 * 40 + 8), out_bytes(sizeof(Sample) * 40 + 9);
        for (size_t n = 0; n <= 40; ++n) {
            for (size_t offset : {0, 1, 3}) {
                unsigned char *in = in_bytes.data() + offset;
                std::memcpy(in, values.data() + 100, n * sizeof(int64_t));
                std::fill(out_bytes.begin(), out_bytes.end(), 0xA5);
                Sample *out = reinterpret_cast<Sample *>(out_bytes.data() + offset);
                path.fn(reinterpret_cast<const int64_t *>(in), n, out, 5, CORVANE_ROUND_CONVERGENT,
                        CORVANE_OVERFLOW_WRAP);
                for (size_t i = 0; i < n; ++i) {
                    Sample got;
                    std::memcpy(&got, out_bytes.data() + offset + i * sizeof(Sample), sizeof got);
                    ASSERT_EQ(got, ref_narrow<Sample>(values[100 + i], 5, {Rounding::Convergent, Overflow::Wrap}))
                        << corvane::isa_name(path.isa) << " n=" << n << " offset=" << offset << " i=" << i;
                }
                ASSERT_EQ(out_bytes[offset + n * sizeof(Sample)], 0xA5) << "wrote past n=" << n;
            }
        }
    }
}

TEST(RoundingPaths, EveryNarrowQ15PathInEveryMode) { check_paths<int16_t>(corvane::kNarrowQ15Paths); }
TEST(RoundingPaths, EveryNarrowQ8PathInEveryMode) { check_paths<int8_t>(corvane::kNarrowQ8Paths); }

// Floats for the quantisation paths: every step and half step of the Q7 and
// Q15 grids near the range and their neighbours, the ends of both float
// types, infinities and NaN.
std::vector<double> probe_floats()
{
    std::vector<double> v = {0.0, -0.0, 5e-324, -5e-324, 1e300, -1e300, __builtin_inf(), -__builtin_inf(),
                             __builtin_nan(""), 1.7976931348623157e308, 3.4028234663852886e38,
                             9223372036854775808.0 + 2048.0, -(73786976294838206464.0 + 16384.0)};
    for (double scale : {128.0, 32768.0}) {
        for (int k = -600; k <= 600; ++k) {
            for (double step : {k * 0.5, k * 0.5 * 111}) {
                const double h = step / scale;
                v.push_back(h);
                v.push_back(__builtin_nextafter(h, 1e9));
                v.push_back(__builtin_nextafter(h, -1e9));
            }
        }
    }
    return v;
}

template <typename Float, typename Sample, typename Fn, size_t N>
void check_quantize_paths(const corvane::Path<Fn> (&table)[N])
{
    std::vector<Float> x;
    for (double v : probe_floats()) {
        if (sizeof(Float) == 8 || !(__builtin_fabs(v) > 3.4e38) || __builtin_isinf(v)) {
            x.push_back(static_cast<Float>(v));
        }
    }
    for (const auto &path : table) {
        if (!corvane::isa_supported(path.isa)) {
            continue;
        }
        for (Rounding r : kRoundings) {
            for (Overflow o : {Overflow::Saturate, Overflow::Wrap}) {
                for (size_t offset : {0, 1, 5}) {  // lengths and starts around the vector widths too
                    const size_t n = x.size() - offset;
                    std::vector<unsigned char> in(n * sizeof(Float) + 1);
                    std::memcpy(in.data() + 1, x.data() + offset, n * sizeof(Float));
                    std::vector<Sample> out(n);
                    size_t invalid = 0;
                    for (size_t start = 0; start < n; start += 13) {
                        const size_t len = n - start < 13 ? n - start : 13;
                        invalid += path.fn(reinterpret_cast<const Float *>(in.data() + 1 + start * sizeof(Float)), len,
                                           out.data() + start, static_cast<int>(r), static_cast<int>(o));
                    }
                    size_t want_invalid = 0;
                    for (size_t i = 0; i < n; ++i) {
                        const double v = x[offset + i];
                        want_invalid += corvane::quantize_invalid(v, o);
                        ASSERT_EQ(out[i], corvane::quantize_rule<Sample>(v, NarrowMode{r, o}))
                            << corvane::isa_name(path.isa) << " x=" << v << " rounding=" << static_cast<int>(r)
                            << " overflow=" << static_cast<int>(o);
                    }
                    ASSERT_EQ(invalid, want_invalid) << corvane::isa_name(path.isa);
                }
            }
        }
    }
}

TEST(RoundingPaths, EveryQuantizePathInEveryMode)
{
    check_quantize_paths<double, int16_t>(corvane::kQuantizeQ15F64Paths);
    check_quantize_paths<float, int16_t>(corvane::kQuantizeQ15F32Paths);
    check_quantize_paths<double, int8_t>(corvane::kQuantizeQ8F64Paths);
    check_quantize_paths<float, int8_t>(corvane::kQuantizeQ8F32Paths);
}

TEST(RoundingRules, NamesFollowTheModeNumbers)
{
    EXPECT_STREQ(corvane_rounding_name(CORVANE_ROUND_HALF_AWAY), "round");
    EXPECT_STREQ(corvane_rounding_name(CORVANE_ROUND_CONVERGENT), "convergent");
    EXPECT_STREQ(corvane_overflow_name(CORVANE_OVERFLOW_WRAP), "wrap");
    EXPECT_EQ(corvane_rounding_name(CORVANE_ROUNDING_COUNT), nullptr);
    EXPECT_EQ(corvane_overflow_name(-1), nullptr);
}

}  // namespace
