// The strided loops behind the ufuncs: the per-sample shift rules against the
// shift kernels at every count, and the block paths of apply_binary and
// apply_shift against one forward pass of the element rule, for random strides
// (negative, zero, odd byte counts) and every kind of overlap of the output
// with the inputs, including those NumPy never hands a loop.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "fixedpoint.h"
#include "sample_rules.h"
#include "shift_rules.h"
#include "strided.h"

namespace {

using corvane::load_at;

std::vector<int32_t> shift_counts()
{
    std::vector<int32_t> counts = {INT_MIN, INT_MIN + 1, 100, 1 << 20, INT_MAX};
    for (int32_t s = -3; s <= 80; ++s) {
        counts.push_back(s);
    }
    return counts;
}

template <typename T>
std::vector<T> every_sample()
{
    std::vector<T> x;
    for (int32_t v = INT16_MIN; v <= INT16_MAX; ++v) {
        if (v >= std::numeric_limits<T>::min() && v <= std::numeric_limits<T>::max()) {
            x.push_back(static_cast<T>(v));
        }
    }
    return x;
}

std::vector<int64_t> i64_samples()
{
    std::vector<int64_t> x = {0, 1, -1, 2, -3, INT64_MAX, INT64_MIN, INT64_MAX - 1, INT64_MIN + 1,
                              int64_t{1} << 62, -(int64_t{1} << 62), (int64_t{1} << 62) - 1};
    std::mt19937_64 rng(11);
    for (int i = 0; i < 2000; ++i) {
        x.push_back(static_cast<int64_t>(rng()));
    }
    return x;
}

template <typename T>
void expect_rule_equals_kernel(const std::vector<T> &x, void (*kernel)(const T *, size_t, T *, int),
                               T (*rule)(T, int32_t), const char *name)
{
    std::vector<T> out(x.size());
    for (int32_t s : shift_counts()) {
        kernel(x.data(), x.size(), out.data(), s);
        for (size_t i = 0; i < x.size(); ++i) {
            ASSERT_EQ(rule(x[i], s), out[i]) << name << " sample " << int64_t{x[i]} << " count " << s;
        }
    }
}

TEST(StridedShiftRules, EqualTheKernelsForEverySampleAtEveryCount)
{
    expect_rule_equals_kernel(every_sample<int16_t>(), shl_q15, corvane::shl_q15_by, "shl_q15");
    expect_rule_equals_kernel(every_sample<int16_t>(), shr_q15, corvane::shr_q15_by, "shr_q15");
    expect_rule_equals_kernel(every_sample<int8_t>(), shl_q8, corvane::shl_q8_by, "shl_q8");
    expect_rule_equals_kernel(every_sample<int8_t>(), shr_q8, corvane::shr_q8_by, "shr_q8");
    expect_rule_equals_kernel(i64_samples(), shl_i64, corvane::shl_i64_by, "shl_i64");
    expect_rule_equals_kernel(i64_samples(), shr_i64, corvane::shr_i64_by, "shr_i64");
}

// One random layout in a shared byte arena: where each operand starts and its
// byte stride. Strides are small multiples of the sample size, now and then a
// byte more, so operands interleave, run backwards, repeat one sample or
// overlap.
struct Layout {
    size_t n;
    size_t offset[3];
    ptrdiff_t step[3];
};

// Room for 1300 int64 samples at the widest stride, 25 bytes.
constexpr size_t kArena = 65536;

// Whether n elements of `size` bytes at offset, step apart, lie in the arena.
bool fits(ptrdiff_t offset, ptrdiff_t step, size_t n, size_t size)
{
    const ptrdiff_t last = offset + (n ? static_cast<ptrdiff_t>(n - 1) * step : 0);
    const ptrdiff_t lo = offset < last ? offset : last;
    const ptrdiff_t hi = (offset < last ? last : offset) + static_cast<ptrdiff_t>(size);
    return lo >= 0 && hi <= static_cast<ptrdiff_t>(kArena);
}

// A random offset at which the operand fits; n is small enough that one does.
size_t place(ptrdiff_t step, size_t n, size_t size, std::mt19937 &rng)
{
    std::uniform_int_distribution<size_t> where(0, kArena - 1);
    for (;;) {
        const size_t offset = where(rng);
        if (fits(static_cast<ptrdiff_t>(offset), step, n, size)) {
            return offset;
        }
    }
}

ptrdiff_t random_step(size_t size, std::mt19937 &rng)
{
    std::uniform_int_distribution<int> multiple(-3, 3), skew(0, 7);
    return multiple(rng) * static_cast<ptrdiff_t>(size) + (skew(rng) == 0 ? 1 : 0);
}

template <typename T>
Layout random_layout(std::mt19937 &rng)
{
    std::uniform_int_distribution<size_t> length(0, 1300);
    std::uniform_int_distribution<int> pick(0, 7);
    Layout l;
    l.n = length(rng);
    for (int k = 0; k < 3; ++k) {
        l.step[k] = random_step(sizeof(T), rng);
        l.offset[k] = place(l.step[k], l.n, sizeof(T), rng);
    }
    // Often the output is the first input exactly (in place), or one sample
    // off it.
    const int choice = pick(rng);
    if (choice <= 2) {
        const size_t shifted = l.offset[0] + (choice == 2 ? sizeof(T) : 0);
        if (fits(static_cast<ptrdiff_t>(shifted), l.step[0], l.n, sizeof(T))) {
            l.offset[2] = shifted;
            l.step[2] = l.step[0];
        }
    }
    return l;
}

std::vector<char> random_arena(std::mt19937 &rng)
{
    std::vector<char> arena(kArena);
    for (size_t i = 0; i < kArena; i += sizeof(uint32_t)) {
        const uint32_t word = static_cast<uint32_t>(rng());
        std::memcpy(arena.data() + i, &word, sizeof word);
    }
    return arena;
}

template <typename T, corvane::BinaryKernel<T> Kernel, T (*Rule)(T, T)>
void check_apply_binary(const char *name)
{
    std::mt19937 rng(2024);
    const std::vector<char> arena = random_arena(rng);
    for (int trial = 0; trial < 1500; ++trial) {
        const Layout l = random_layout<T>(rng);
        std::vector<char> got = arena;
        std::vector<char> want = got;
        corvane::apply_binary<T, Kernel>(got.data() + l.offset[0], l.step[0], got.data() + l.offset[1], l.step[1],
                                         got.data() + l.offset[2], l.step[2], l.n, Rule);
        corvane::strided_binary<T>(want.data() + l.offset[0], l.step[0], want.data() + l.offset[1], l.step[1],
                                   want.data() + l.offset[2], l.step[2], l.n, Rule);
        ASSERT_EQ(got, want) << name << " trial " << trial << " n " << l.n << " steps " << l.step[0] << ","
                             << l.step[1] << "," << l.step[2] << " offsets " << l.offset[0] << ","
                             << l.offset[1] << "," << l.offset[2];
    }
}

TEST(StridedApply, BinaryEqualsOneForwardPassOfTheRule)
{
    check_apply_binary<int16_t, add_q15, corvane::add_q15_rule>("add_q15");
    check_apply_binary<int16_t, mul_q15, corvane::mul_q15_rule>("mul_q15");
    check_apply_binary<int8_t, sub_q8, corvane::sub_q8_rule>("sub_q8");
    check_apply_binary<int8_t, mul_q8, corvane::mul_q8_rule>("mul_q8");
}

template <typename T, corvane::ShiftKernel<T> Kernel, T (*Rule)(T, int32_t)>
void check_apply_shift(const char *name)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> count(-2, 20);
    std::uniform_int_distribution<int> coin(0, 1);
    const std::vector<char> arena = random_arena(rng);
    for (int trial = 0; trial < 1500; ++trial) {
        Layout l = random_layout<T>(rng);
        std::vector<char> got = arena;
        // The counts: one for the run (stride 0) half of the time, else int32
        // values at a stride of their own; either may overlap the output.
        l.step[1] = coin(rng) ? 0 : random_step(sizeof(int32_t), rng);
        l.offset[1] = place(l.step[1], l.n, sizeof(int32_t), rng);
        for (size_t i = 0; i < l.n; ++i) {
            corvane::store_at(got.data() + l.offset[1] + static_cast<ptrdiff_t>(i) * l.step[1], count(rng));
        }
        std::vector<char> want = got;
        corvane::apply_shift<T, Kernel>(got.data() + l.offset[0], l.step[0], got.data() + l.offset[1], l.step[1],
                                        got.data() + l.offset[2], l.step[2], l.n, Rule);
        corvane::strided_shift<T>(want.data() + l.offset[0], l.step[0], want.data() + l.offset[1], l.step[1],
                                  want.data() + l.offset[2], l.step[2], l.n, Rule);
        ASSERT_EQ(got, want) << name << " trial " << trial << " n " << l.n << " steps " << l.step[0] << ","
                             << l.step[1] << "," << l.step[2];
    }
}

TEST(StridedApply, ShiftEqualsOneForwardPassOfTheRule)
{
    check_apply_shift<int16_t, shl_q15, corvane::shl_q15_by>("shl_q15");
    check_apply_shift<int16_t, shr_q15, corvane::shr_q15_by>("shr_q15");
    check_apply_shift<int8_t, shl_q8, corvane::shl_q8_by>("shl_q8");
    check_apply_shift<int64_t, shr_i64, corvane::shr_i64_by>("shr_i64");
}

TEST(StridedApply, DotEqualsThePlainSumAtAnyStride)
{
    std::mt19937 rng(5);
    std::vector<char> arena = random_arena(rng);
    std::uniform_int_distribution<int> length(0, 1600), step(-4, 4);
    for (int trial = 0; trial < 500; ++trial) {
        const size_t n = static_cast<size_t>(length(rng));
        const ptrdiff_t sa = step(rng) * 2 + (trial % 5 == 0), sb = step(rng) * 2;
        const char *a = arena.data() + kArena / 2 - (sa < 0 ? 0 : n * sa / 2);
        const char *b = arena.data() + kArena / 2 - (sb < 0 ? 0 : n * sb / 2);
        uint64_t want15 = 0;
        uint32_t want8 = 0;
        for (size_t i = 0; i < n; ++i) {
            const ptrdiff_t ia = static_cast<ptrdiff_t>(i) * sa, ib = static_cast<ptrdiff_t>(i) * sb;
            want15 += static_cast<uint64_t>(int64_t{load_at<int16_t>(a + ia)} * load_at<int16_t>(b + ib));
            want8 += static_cast<uint32_t>(int32_t{load_at<int8_t>(a + ia)} * load_at<int8_t>(b + ib));
        }
        ASSERT_EQ(static_cast<int64_t>(want15), corvane::strided_dot_q15(a, sa, b, sb, n)) << trial;
        ASSERT_EQ(static_cast<int32_t>(want8), corvane::strided_dot_q8(a, sa, b, sb, n)) << trial;
    }
}

}  // namespace
