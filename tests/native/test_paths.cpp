// Every path of the products, inner products and block sums, called directly
// from the tables: the exported kernels reach only the path this CPU favours.
// Under emulation the all-pairs Q15 sweep (label "exhaustive") takes minutes
// per kernel, so 512 of its 65536 rows run here on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "cpu_features.h"
#include "paths.h"
#include "reference.h"

namespace {

using namespace reference;

template <typename Fn>
struct Named {
    std::string name;
    corvane::Isa isa;
    Fn fn;
};

template <typename Fn, size_t N>
std::vector<Named<Fn>> named(const char *kernel, const corvane::Path<Fn> (&table)[N])
{
    std::vector<Named<Fn>> out;
    for (const auto &p : table) {
        out.push_back({std::string(kernel) + "_" + corvane::isa_name(p.isa), p.isa, p.fn});
    }
    return out;
}

template <typename Fn>
void PrintTo(const Named<Fn> &p, std::ostream *os)
{
    *os << p.name;
}

template <typename Fn>
std::string param_name(const testing::TestParamInfo<Named<Fn>> &info)
{
    return info.param.name;
}

template <typename Fn>
class Each : public testing::TestWithParam<Named<Fn>> {
protected:
    void SetUp() override
    {
        if (!corvane::isa_supported(this->GetParam().isa)) {
            GTEST_SKIP() << "this CPU lacks " << corvane::isa_name(this->GetParam().isa);
        }
    }
};

// Random samples, a quarter of them at the ends of the range.
template <typename T>
T sample(std::mt19937_64 &gen)
{
    const uint64_t r = gen();
    if ((r & 3) == 0) {
        return (r & 4) ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
    }
    return static_cast<T>(r >> 8);
}

// ---- Q15 pairs: rows of the all-pairs sweep ---------------------------------

// Row k holds the pairs (k + i, i) for every i, as in the full sweep: all 2^16
// values of each operand in every row. Rows 0, 1, -1 and 32768 carry the
// corners (equal operands, the range ends against each other); the rest are
// random.
std::vector<uint16_t> sampled_rows()
{
    std::vector<uint16_t> rows{0, 1, 0xFFFF, 0x8000};
    std::mt19937_64 gen(0x9a15);
    while (rows.size() < 512) {
        rows.push_back(static_cast<uint16_t>(gen()));
    }
    return rows;
}

struct Q15Kernel {
    corvane::BinaryQ15 fn;
    int32_t (*rule)(int32_t, int32_t);
};

using SampledQ15Pairs = Each<Q15Kernel>;

TEST_P(SampledQ15Pairs, MatchTheRule)
{
    constexpr size_t kAll = 65536;
    const Q15Kernel &k = GetParam().fn;
    std::vector<int16_t> a(kAll), b(kAll), out(kAll), want(kAll);
    for (uint16_t row : sampled_rows()) {
        for (size_t i = 0; i < kAll; ++i) {
            a[i] = static_cast<int16_t>(row + i);
            b[i] = static_cast<int16_t>(i);
            want[i] = static_cast<int16_t>(k.rule(a[i], b[i]));
        }
        k.fn(a.data(), kAll, b.data(), kAll, out.data());
        const auto bad = std::mismatch(out.begin(), out.end(), want.begin()).first - out.begin();
        ASSERT_EQ(bad, static_cast<long>(kAll)) << "a=" << a[bad] << " b=" << b[bad] << " got " << out[bad];
    }
}

std::vector<Named<Q15Kernel>> q15_kernels()
{
    std::vector<Named<Q15Kernel>> out;
    const auto add = [&](const char *name, const auto &table, int32_t (*rule)(int32_t, int32_t)) {
        for (const auto &p : named(name, table)) {
            out.push_back({p.name, p.isa, {p.fn, rule}});
        }
    };
    add("add_q15", corvane::kAddQ15Paths, ref_add15);
    add("sub_q15", corvane::kSubQ15Paths, ref_sub15);
    add("mul_q15", corvane::kMulQ15Paths, ref_mul15);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Binary, SampledQ15Pairs, testing::ValuesIn(q15_kernels()), param_name<Q15Kernel>);

// ---- Inner products and block sums at every length --------------------------

constexpr size_t kMaxLen = 200;
constexpr size_t kOffsets[] = {0, 1, 7};

// Samples copied to a byte offset, so every path sees unaligned data.
template <typename T>
struct Shifted {
    std::vector<unsigned char> bytes;
    explicit Shifted(const std::vector<T> &v, size_t offset) : bytes(v.size() * sizeof(T) + offset + 1)
    {
        if (!v.empty()) {
            std::memcpy(bytes.data() + offset, v.data(), v.size() * sizeof(T));
        }
        ptr = reinterpret_cast<const T *>(bytes.data() + offset);
    }
    const T *ptr;
};

template <typename T>
std::vector<T> samples(size_t n, bool extreme, std::mt19937_64 &gen)
{
    std::vector<T> v(n);
    for (auto &x : v) {
        x = extreme ? std::numeric_limits<T>::min() : sample<T>(gen);
    }
    return v;
}

template <typename T, typename R>
void check_dot(R (*dot)(const T *, size_t, const T *, size_t))
{
    std::mt19937_64 gen(0xd07);
    for (bool extreme : {false, true}) {
        for (size_t off : kOffsets) {
            for (size_t n = 0; n <= kMaxLen; ++n) {
                const auto av = samples<T>(n, extreme, gen), bv = samples<T>(n + 1, extreme, gen);
                int64_t want = 0;
                for (size_t i = 0; i < n; ++i) {
                    want += int64_t{av[i]} * bv[i];
                }
                const Shifted<T> a(av, off), b(bv, off + 2);
                ASSERT_EQ(dot(a.ptr, n, b.ptr, n + 1), static_cast<R>(want)) << "n=" << n << " offset=" << off;
            }
        }
    }
}

template <typename T, typename R>
void check_sum(R (*sum)(const T *, size_t), size_t long_run)
{
    std::mt19937_64 gen(0x5a3);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= kMaxLen; ++n) {
        lengths.push_back(n);
    }
    // Long enough to cross every internal run boundary.
    lengths.push_back(long_run);
    for (bool extreme : {false, true}) {
        for (size_t off : kOffsets) {
            for (size_t n : lengths) {
                const auto av = samples<T>(n, extreme, gen);
                int64_t want = 0;
                for (T x : av) {
                    want += x;
                }
                const Shifted<T> a(av, off);
                ASSERT_EQ(sum(a.ptr, n), static_cast<R>(want)) << "n=" << n << " offset=" << off;
            }
        }
    }
}

using DotQ15Paths = Each<corvane::DotQ15>;
using DotQ8Paths = Each<corvane::DotQ8>;
using SumQ15Paths = Each<corvane::SumQ15>;
using SumQ8Paths = Each<corvane::SumQ8>;

TEST_P(DotQ15Paths, EveryLength) { check_dot(GetParam().fn); }
TEST_P(DotQ8Paths, EveryLength) { check_dot(GetParam().fn); }
TEST_P(SumQ15Paths, EveryLength) { check_sum(GetParam().fn, 300000); }
TEST_P(SumQ8Paths, EveryLength) { check_sum(GetParam().fn, 300000); }

INSTANTIATE_TEST_SUITE_P(Dot, DotQ15Paths, testing::ValuesIn(named("dot_q15", corvane::kDotQ15Paths)),
                         param_name<corvane::DotQ15>);
INSTANTIATE_TEST_SUITE_P(Dot, DotQ8Paths, testing::ValuesIn(named("dot_q8", corvane::kDotQ8Paths)),
                         param_name<corvane::DotQ8>);
INSTANTIATE_TEST_SUITE_P(Sum, SumQ15Paths, testing::ValuesIn(named("sum_q15", corvane::kSumQ15Paths)),
                         param_name<corvane::SumQ15>);
INSTANTIATE_TEST_SUITE_P(Sum, SumQ8Paths, testing::ValuesIn(named("sum_q8", corvane::kSumQ8Paths)),
                         param_name<corvane::SumQ8>);

}  // namespace
