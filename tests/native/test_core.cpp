// Native checks of the core against plain loops written here from the element
// rules (nothing is shared with the code under test). The sweeps are
// exhaustive where the domain allows it: every Q15 and Q8 pair of the
// elementwise kernels, every sample at every interesting shift count. Overlap
// and the Python layer are covered by the Python suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "fixedpoint.h"
#include "paths.h"
#include "reference.h"

namespace {

using namespace reference;

// ---- Kernel tables --------------------------------------------------------

template <typename T>
struct BinaryCase {
    const char *name;
    void (*kernel)(const T *, size_t, const T *, size_t, T *);
    int32_t (*rule)(int32_t, int32_t);
};

const BinaryCase<int16_t> kBinary15[] = {
    {"add_q15", add_q15, ref_add15},
    {"sub_q15", sub_q15, ref_sub15},
    {"mul_q15", mul_q15, ref_mul15},
};
const BinaryCase<int8_t> kBinary8[] = {
    {"add_q8", add_q8, ref_add8},
    {"sub_q8", sub_q8, ref_sub8},
    {"mul_q8", mul_q8, ref_mul8},
};

template <typename T>
struct ShiftCase {
    const char *name;
    void (*kernel)(const T *, size_t, T *, int);
    int64_t (*rule)(int64_t, int);
};

const ShiftCase<int16_t> kShift15[] = {
    {"shl_q15", shl_q15, [](int64_t x, int s) { return ref_shl_sat(x, s, 16); }},
    {"shr_q15", shr_q15, [](int64_t x, int s) { return ref_shr_round(x, s, 16); }},
};
const ShiftCase<int8_t> kShift8[] = {
    {"shl_q8", shl_q8, [](int64_t x, int s) { return ref_shl_sat(x, s, 8); }},
    {"shr_q8", shr_q8, [](int64_t x, int s) { return ref_shr_round(x, s, 8); }},
};
const ShiftCase<int64_t> kShift64[] = {
    {"shl_i64", shl_i64, ref_shl64},
    {"shr_i64", shr_i64, ref_shr64},
};

std::vector<int> shift_counts()
{
    std::vector<int> counts{INT_MIN, INT_MAX};
    for (int s = -1; s <= 70; ++s) {
        counts.push_back(s);
    }
    return counts;
}

// Index of the first differing element, or -1.
template <typename T>
long first_mismatch(const std::vector<T> &got, const std::vector<T> &want)
{
    auto it = std::mismatch(got.begin(), got.end(), want.begin());
    return it.first == got.end() ? -1 : static_cast<long>(it.first - got.begin());
}

// Samples placed at a chosen byte offset inside a guarded byte buffer, so the
// kernels see any alignment and any write outside the n outputs shows up.
template <typename T>
class Placed {
public:
    static constexpr unsigned char kGuard = 0xA5;
    static constexpr size_t kSlack = 32;

    Placed(size_t count, size_t offset) : bytes_(count * sizeof(T) + 2 * kSlack, kGuard), offset_(kSlack + offset) {}
    T *ptr() { return reinterpret_cast<T *>(bytes_.data() + offset_); }
    void put(const std::vector<T> &v) { std::copy_n(reinterpret_cast<const unsigned char *>(v.data()), v.size() * sizeof(T), bytes_.data() + offset_); }
    std::vector<T> get(size_t n) const
    {
        std::vector<T> v(n);
        std::copy_n(bytes_.data() + offset_, n * sizeof(T), reinterpret_cast<unsigned char *>(v.data()));
        return v;
    }
    // True when no byte outside the first n samples changed.
    bool guards_intact(size_t n) const
    {
        for (size_t i = 0; i < bytes_.size(); ++i) {
            bool inside = i >= offset_ && i < offset_ + n * sizeof(T);
            if (!inside && bytes_[i] != kGuard) {
                return false;
            }
        }
        return true;
    }

private:
    std::vector<unsigned char> bytes_;
    size_t offset_;
};

std::mt19937_64 &rng()
{
    static std::mt19937_64 gen(0x5eed);
    return gen;
}

// Random samples, with a share of range ends so the clamps are exercised.
template <typename T>
std::vector<T> random_samples(size_t n)
{
    std::vector<T> v(n);
    for (auto &x : v) {
        uint64_t r = rng()();
        x = (r & 3) == 0 ? ((r & 4) ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max()) : static_cast<T>(r >> 8);
    }
    return v;
}

// ---- Exhaustive elementwise sweeps -----------------------------------------

// Every (a, b) pair: call k holds a = k + i, b = i for i over all 65536 values,
// so both operands vary across the lanes of every block. The rule is a template
// argument so that the reference loop is inlined and vectorised.
template <int32_t (*Rule)(int32_t, int32_t)>
void sweep_every_q15_pair(const char *name, void (*kernel)(const int16_t *, size_t, const int16_t *, size_t, int16_t *))
{
    SCOPED_TRACE(name);
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
        kernel(a.data(), kAll, b.data(), kAll, out.data());
        long bad = first_mismatch(out, want);
        ASSERT_EQ(bad, -1) << "a=" << a[bad] << " b=" << b[bad] << " got " << out[bad] << " want " << want[bad];
    }
}

TEST(Exhaustive, EveryQ15Pair)
{
    sweep_every_q15_pair<ref_add15>("add_q15", add_q15);
    sweep_every_q15_pair<ref_sub15>("sub_q15", sub_q15);
    sweep_every_q15_pair<ref_mul15>("mul_q15", mul_q15);
}

TEST(Core, EveryQ8Pair)
{
    constexpr size_t kAll = 65536;
    std::vector<int8_t> a(kAll), b(kAll), out(kAll), want(kAll);
    for (const auto &c : kBinary8) {
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

// The exported kernels take only the path this CPU favours, so each path of
// the products is swept on its own; paths the CPU lacks are skipped.
template <typename Fn>
struct NamedPath {
    std::string name;
    corvane::Isa isa;
    Fn fn;
};

template <typename Fn, size_t N>
std::vector<NamedPath<Fn>> named_paths(const char *kernel, const corvane::Path<Fn> (&table)[N])
{
    std::vector<NamedPath<Fn>> out;
    for (const auto &p : table) {
        out.push_back({std::string(kernel) + "_" + corvane::isa_name(p.isa), p.isa, p.fn});
    }
    return out;
}

// Failure messages name the path rather than dumping the struct's bytes.
template <typename Fn>
void PrintTo(const NamedPath<Fn> &p, std::ostream *os)
{
    *os << p.name;
}

template <typename Fn>
class OnePath : public testing::TestWithParam<NamedPath<Fn>> {
protected:
    void SetUp() override
    {
        if (!corvane::isa_supported(this->GetParam().isa)) {
            GTEST_SKIP() << "this CPU lacks " << corvane::isa_name(this->GetParam().isa);
        }
    }
};

template <typename Fn>
std::string path_name(const testing::TestParamInfo<NamedPath<Fn>> &info)
{
    return info.param.name;
}

// Named so that the ctest split by "Exhaustive" puts it with the long sweeps.
using ExhaustiveQ15Paths = OnePath<corvane::BinaryQ15>;
using Q8Paths = OnePath<corvane::BinaryQ8>;

TEST_P(ExhaustiveQ15Paths, EveryQ15Pair)
{
    const auto &p = GetParam();
    if (p.name.rfind("add", 0) == 0) {
        sweep_every_q15_pair<ref_add15>(p.name.c_str(), p.fn);
    } else if (p.name.rfind("sub", 0) == 0) {
        sweep_every_q15_pair<ref_sub15>(p.name.c_str(), p.fn);
    } else {
        sweep_every_q15_pair<ref_mul15>(p.name.c_str(), p.fn);
    }
}

TEST_P(Q8Paths, EveryQ8Pair)
{
    const auto &p = GetParam();
    int32_t (*rule)(int32_t, int32_t) = p.name.rfind("add", 0) == 0 ? ref_add8 : p.name.rfind("sub", 0) == 0 ? ref_sub8 : ref_mul8;
    constexpr size_t kAll = 65536;
    std::vector<int8_t> a(kAll), b(kAll), out(kAll), want(kAll);
    for (size_t i = 0; i < kAll; ++i) {
        a[i] = static_cast<int8_t>(i >> 8);
        b[i] = static_cast<int8_t>(i);
        want[i] = static_cast<int8_t>(rule(a[i], b[i]));
    }
    p.fn(a.data(), kAll, b.data(), kAll, out.data());
    long bad = first_mismatch(out, want);
    ASSERT_EQ(bad, -1) << "a=" << int{a[bad]} << " b=" << int{b[bad]} << " got " << int{out[bad]};
}

template <typename Fn>
std::vector<NamedPath<Fn>> concat(std::initializer_list<std::vector<NamedPath<Fn>>> parts)
{
    std::vector<NamedPath<Fn>> out;
    for (const auto &part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Binary, ExhaustiveQ15Paths,
                         testing::ValuesIn(concat<corvane::BinaryQ15>({named_paths("add_q15", corvane::kAddQ15Paths),
                                                                       named_paths("sub_q15", corvane::kSubQ15Paths),
                                                                       named_paths("mul_q15", corvane::kMulQ15Paths)})),
                         path_name<corvane::BinaryQ15>);
INSTANTIATE_TEST_SUITE_P(Binary, Q8Paths,
                         testing::ValuesIn(concat<corvane::BinaryQ8>({named_paths("add_q8", corvane::kAddQ8Paths),
                                                                      named_paths("sub_q8", corvane::kSubQ8Paths),
                                                                      named_paths("mul_q8", corvane::kMulQ8Paths)})),
                         path_name<corvane::BinaryQ8>);

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
    for (const auto &c : kShift15) {
        check_every_sample_every_count(c, every_value<int16_t>());
    }
    for (const auto &c : kShift8) {
        check_every_sample_every_count(c, every_value<int8_t>());
    }
    for (const auto &c : kShift64) {
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
    for (const auto &c : kBinary15) {
        check_binary_lengths(c);
    }
    for (const auto &c : kBinary8) {
        check_binary_lengths(c);
    }
    for (const auto &c : kShift15) {
        check_shift_lengths(c);
    }
    for (const auto &c : kShift8) {
        check_shift_lengths(c);
    }
    for (const auto &c : kShift64) {
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
    check_dot_lengths<int16_t, int64_t>("dot_q15", dot_q15);
    check_dot_lengths<int8_t, int32_t>("dot_q8", dot_q8);
}

}  // namespace
