// Native checks of the core against the reference of reference.h. Every
// kernel is reached both through its exported function and through each of
// its paths this CPU can run. The sweeps are exhaustive where the domain
// allows it: every Q15 and Q8 pair of the elementwise kernels, every sample at
// every interesting shift count. Overlap is covered by test_paths.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "reference.h"

using namespace corvane_test;

namespace {

// ---- Exhaustive elementwise sweeps -----------------------------------------

// Every (a, b) pair: call k holds a = k + i, b = i for i over all 65536 values,
// so both operands vary across the lanes of every block. The rule is a template
// argument so that the reference loop is inlined and vectorised; each batch's
// reference serves every path of the kernel.
template <int32_t (*Rule)(int32_t, int32_t)>
void sweep_every_q15_pair(const std::vector<BinaryCase<int16_t>> &paths)
{
    constexpr size_t kAll = 65536;
    std::vector<int16_t> a(kAll), b(kAll), out(kAll), want(kAll);
    for (size_t i = 0; i < kAll; ++i) {
        b[i] = static_cast<int16_t>(i);
    }
    for (size_t k = 0; k < kAll; ++k) {
        for (size_t i = 0; i < kAll; ++i) {
            a[i] = static_cast<int16_t>(k + i);
            want[i] = static_cast<int16_t>(Rule(a[i], b[i]));
        }
        for (const auto &c : paths) {
            c.kernel(a.data(), kAll, b.data(), kAll, out.data());
            long bad = first_mismatch(out, want);
            ASSERT_EQ(bad, -1) << c.name << ": a=" << a[bad] << " b=" << b[bad] << " got " << out[bad] << " want "
                               << want[bad];
        }
    }
}

// The paths of one rule; the exported kernel is left out, as it runs one of
// them.
std::vector<BinaryCase<int16_t>> q15_paths_of(int32_t (*rule)(int32_t, int32_t))
{
    std::vector<BinaryCase<int16_t>> out;
    for (const auto &c : binary15_cases()) {
        if (c.rule == rule && c.name.find('/') != std::string::npos) {
            out.push_back(c);
        }
    }
    return out;
}

TEST(Exhaustive, EveryQ15Pair)
{
    sweep_every_q15_pair<ref_add15>(q15_paths_of(ref_add15));
    sweep_every_q15_pair<ref_sub15>(q15_paths_of(ref_sub15));
    sweep_every_q15_pair<ref_mul15>(q15_paths_of(ref_mul15));
}

TEST(Core, EveryQ8Pair)
{
    constexpr size_t kAll = 65536;
    std::vector<int8_t> a(kAll), b(kAll), out(kAll), want(kAll);
    for (const auto &c : binary8_cases()) {
        SCOPED_TRACE(c.name);
        for (size_t i = 0; i < kAll; ++i) {
            a[i] = static_cast<int8_t>(i >> 8);
            b[i] = static_cast<int8_t>(i);
            want[i] = static_cast<int8_t>(c.rule(a[i], b[i]));
        }
        c.kernel(a.data(), kAll, b.data(), kAll, out.data());
        long bad = first_mismatch(out, want);
        ASSERT_EQ(bad, -1) << "a=" << int{a[bad]} << " b=" << int{b[bad]} << " got " << int{out[bad]};
    }
}

// ---- Shifts: every sample at every count -----------------------------------

template <typename T>
void check_every_sample_every_count(const ShiftCase<T> &c, const std::vector<T> &in)
{
    SCOPED_TRACE(c.name);
    std::vector<T> out(in.size()), want(in.size());
    for (int s : shift_counts()) {
        for (size_t i = 0; i < in.size(); ++i) {
            want[i] = static_cast<T>(c.rule(in[i], s));
        }
        c.kernel(in.data(), in.size(), out.data(), s);
        long bad = first_mismatch(out, want);
        ASSERT_EQ(bad, -1) << "s=" << s << " x=" << int64_t{in[bad]} << " got " << int64_t{out[bad]} << " want "
                           << int64_t{want[bad]};
    }
}

template <typename T>
std::vector<T> every_value()
{
    std::vector<T> v;
    for (int64_t x = std::numeric_limits<T>::min(); x <= std::numeric_limits<T>::max(); ++x) {
        v.push_back(static_cast<T>(x));
    }
    return v;
}

// The 64-bit domain is sampled: powers of two and their neighbours (where the
// rounding and wrapping change), the ends, and random values.
std::vector<int64_t> int64_samples()
{
    std::vector<int64_t> v{0, INT64_MIN, INT64_MAX};
    for (int k = 0; k < 63; ++k) {
        for (int64_t d = -1; d <= 1; ++d) {
            int64_t p = int64_t{1} << k;
            v.push_back(p + d);
            v.push_back(-p + d);
        }
    }
    for (int i = 0; i < 4096; ++i) {
        v.push_back(static_cast<int64_t>(rng()()));
    }
    return v;
}

TEST(Core, ShiftsEverySampleEveryCount)
{
    for (const auto &c : shift15_cases()) {
        check_every_sample_every_count(c, every_value<int16_t>());
    }
    for (const auto &c : shift8_cases()) {
        check_every_sample_every_count(c, every_value<int8_t>());
    }
    for (const auto &c : shift64_cases()) {
        check_every_sample_every_count(c, int64_samples());
    }
}

// ---- Every length, unaligned, with guarded outputs --------------------------

constexpr size_t kMaxLen = 300;
constexpr size_t kOffsets[] = {0, 1, 3, 8, 17};  // byte offsets from an aligned start

template <typename T>
void check_binary_lengths(const BinaryCase<T> &c)
{
    SCOPED_TRACE(c.name);
    for (size_t off : kOffsets) {
        for (size_t n = 0; n <= kMaxLen; ++n) {
            // b is longer than a half of the time: the shorter count decides.
            size_t nb = n + (n & 1) * 3;
            auto av = random_samples<T>(n), bv = random_samples<T>(nb);
            Placed<T> pa(n, off), pb(nb, (off + 5) % 16), po(n + 3, off);
            pa.put(av);
            pb.put(bv);
            c.kernel(pa.ptr(), n, pb.ptr(), nb, po.ptr());
            std::vector<T> want(n);
            for (size_t i = 0; i < n; ++i) {
                want[i] = static_cast<T>(c.rule(av[i], bv[i]));
            }
            ASSERT_EQ(first_mismatch(po.get(n), want), -1) << "n=" << n << " offset=" << off;
            ASSERT_TRUE(po.guards_intact(n)) << "n=" << n << " offset=" << off;
        }
    }
    c.kernel(nullptr, 0, nullptr, 7, nullptr);
}

template <typename T>
void check_shift_lengths(const ShiftCase<T> &c)
{
    SCOPED_TRACE(c.name);
    for (int s : {-1, 0, 1, 5, 7, 8, 15, 16, 62, 63, INT_MAX}) {
        for (size_t off : kOffsets) {
            for (size_t n = 0; n <= kMaxLen; ++n) {
                auto av = random_samples<T>(n);
                Placed<T> pa(n, off), po(n, (off + 3) % 16);
                pa.put(av);
                c.kernel(pa.ptr(), n, po.ptr(), s);
                std::vector<T> want(n);
                for (size_t i = 0; i < n; ++i) {
                    want[i] = static_cast<T>(c.rule(av[i], s));
                }
                ASSERT_EQ(first_mismatch(po.get(n), want), -1) << "n=" << n << " s=" << s << " offset=" << off;
                ASSERT_TRUE(po.guards_intact(n)) << "n=" << n << " s=" << s << " offset=" << off;
            }
        }
        c.kernel(nullptr, 0, nullptr, s);
    }
}

TEST(Core, EveryLengthUnalignedAndGuarded)
{
    for (const auto &c : binary15_cases()) {
        check_binary_lengths(c);
    }
    for (const auto &c : binary8_cases()) {
        check_binary_lengths(c);
    }
    for (const auto &c : shift15_cases()) {
        check_shift_lengths(c);
    }
    for (const auto &c : shift8_cases()) {
        check_shift_lengths(c);
    }
    for (const auto &c : shift64_cases()) {
        check_shift_lengths(c);
    }
}

// Inner products at every length, unaligned, on random data and on the
// largest products (-min * -min), against an exact 64-bit sum.
template <typename T, typename R>
void check_dot_lengths(const char *name, R (*kernel)(const T *, size_t, const T *, size_t))
{
    SCOPED_TRACE(name);
    for (bool extreme : {false, true}) {
        for (size_t off : kOffsets) {
            for (size_t n = 0; n <= kMaxLen; ++n) {
                auto av = random_samples<T>(n), bv = random_samples<T>(n + 2);
                if (extreme) {
                    std::fill(av.begin(), av.end(), std::numeric_limits<T>::min());
                    std::fill(bv.begin(), bv.end(), std::numeric_limits<T>::min());
                }
                Placed<T> pa(n, off), pb(n + 2, (off + 7) % 16);
                pa.put(av);
                pb.put(bv);
                int64_t sum = 0;
                for (size_t i = 0; i < n; ++i) {
                    sum += int64_t{av[i]} * bv[i];
                }
                ASSERT_EQ(kernel(pa.ptr(), n, pb.ptr(), n + 2), static_cast<R>(sum)) << "n=" << n << " offset=" << off;
                ASSERT_EQ(kernel(pb.ptr(), n + 2, pa.ptr(), n), static_cast<R>(sum)) << "n=" << n << " offset=" << off;
            }
        }
    }
    EXPECT_EQ(kernel(nullptr, 0, nullptr, 0), 0);
}

TEST(Core, DotEveryLength)
{
    for (const auto &c : dot15_cases()) {
        check_dot_lengths<int16_t, int64_t>(c.name.c_str(), c.kernel);
    }
    for (const auto &c : dot8_cases()) {
        check_dot_lengths<int8_t, int32_t>(c.name.c_str(), c.kernel);
    }
}

}  // namespace
