// Every path of every kernel, called directly: the cases that reach each
// block path's lanes, its block boundaries and its distance test, on every
// path this CPU can run (reference.h lists them; the others are skipped).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <set>
#include <vector>

#include "reference.h"

using namespace corvane_test;

namespace {

template <typename T>
T lo() { return std::numeric_limits<T>::min(); }
template <typename T>
T hi() { return std::numeric_limits<T>::max(); }

// Values where the rules change: the ends, zero, one either side.
template <typename T>
std::vector<T> edge_values()
{
    return {lo<T>(), static_cast<T>(lo<T>() + 1), static_cast<T>(lo<T>() / 2), -2, -1, 0, 1, 2,
            static_cast<T>(hi<T>() / 2), static_cast<T>(hi<T>() / 2 + 1), static_cast<T>(hi<T>() - 1), hi<T>()};
}

// Pairs whose product lies exactly half an output step from two results:
// a = +-2^p * u, b = +-2^(F-1-p) * v with u, v odd, for an F-bit fraction.
template <typename T>
void add_rounding_ties(std::vector<T> &a, std::vector<T> &b)
{
    constexpr int kFraction = sizeof(T) * 8 - 1;
    for (int p = 0; p < kFraction; ++p) {
        for (int k = 0; k < 64; ++k) {
            const int64_t u = static_cast<int64_t>(rng()() % 64) | 1;
            const int64_t v = static_cast<int64_t>(rng()() % 64) | 1;
            const int64_t x = (int64_t{1} << p) * u, y = (int64_t{1} << (kFraction - 1 - p)) * v;
            if (x <= hi<T>() && y <= hi<T>()) {
                a.push_back(static_cast<T>((k & 1) ? -x : x));
                b.push_back(static_cast<T>((k & 2) ? -y : y));
            }
        }
    }
}

// Edge x edge pairs, rounding ties and random pairs in one long call that runs
// through the blocks, then every length up to 140 at odd byte offsets.
template <typename T>
void check_pairs_and_short_lengths(const BinaryCase<T> &c)
{
    SCOPED_TRACE(c.name);
    std::vector<T> a, b;
    for (T x : edge_values<T>()) {
        for (T y : edge_values<T>()) {
            a.push_back(x);
            b.push_back(y);
        }
    }
    add_rounding_ties(a, b);
    auto ra = random_samples<T>(300000), rb = random_samples<T>(300000);
    a.insert(a.end(), ra.begin(), ra.end());
    b.insert(b.end(), rb.begin(), rb.end());
    for (size_t shift : {0, 1, 7}) {  // moves every pair to other lanes
        std::vector<T> out(a.size() - shift);
        c.kernel(a.data() + shift, out.size(), b.data(), out.size(), out.data());
        for (size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i], c.rule(a[i + shift], b[i])) << "a=" << int{a[i + shift]} << " b=" << int{b[i]};
        }
    }
    for (size_t off : {1, 3, 5}) {
        for (size_t n = 0; n <= 140; ++n) {
            auto av = random_samples<T>(n), bv = random_samples<T>(n);
            Placed<T> pa(n, off), pb(n, off + 2), po(n, off + 4);
            pa.put(av);
            pb.put(bv);
            c.kernel(pa.ptr(), n, pb.ptr(), n, po.ptr());
            const auto got = po.get(n);
            for (size_t i = 0; i < n; ++i) {
                ASSERT_EQ(got[i], c.rule(av[i], bv[i])) << "n=" << n << " offset=" << off << " i=" << i;
            }
            ASSERT_TRUE(po.guards_intact(n)) << "n=" << n << " offset=" << off;
        }
    }
}

TEST(Paths, BinaryPairsAndShortLengths)
{
    for (const auto &c : binary15_cases()) {
        check_pairs_and_short_lengths(c);
    }
    for (const auto &c : binary8_cases()) {
        check_pairs_and_short_lengths(c);
    }
}

// ---- Overlap: input and output in one buffer at any byte distance ------------

// Output start minus input start, in bytes: in place, odd distances, and just
// below, at and above every block size, on both sides.
std::vector<long> overlap_distances()
{
    std::set<long> d{0};
    for (long x : {1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 128, 129, 131}) {
        d.insert(x);
        d.insert(-x);
    }
    return {d.begin(), d.end()};
}

// Lengths straddling one and two of every block size.
std::vector<size_t> overlap_lengths(size_t elem)
{
    std::set<size_t> n{1, 2, 3};
    for (size_t bytes : {8, 16, 32, 64, 128, 256}) {
        for (long e : {-1, 0, 1}) {
            if (bytes / elem + e > 0) {
                n.insert(bytes / elem + e);
            }
        }
    }
    n.insert(3 * 64 / elem + 5);
    return {n.begin(), n.end()};
}

constexpr long kMargin = 160;

// The defining forward pass on a copy of the buffer: read element i of each
// input, then write out[i].
template <typename T, typename Rule>
std::vector<unsigned char> forward_model(std::vector<unsigned char> buf, long a_at, long b_at, long out_at, size_t n,
                                         Rule rule)
{
    for (size_t i = 0; i < n; ++i) {
        T x, y;
        std::memcpy(&x, buf.data() + a_at + i * sizeof(T), sizeof x);
        std::memcpy(&y, buf.data() + b_at + i * sizeof(T), sizeof y);
        const T r = rule(x, y);
        std::memcpy(buf.data() + out_at + i * sizeof(T), &r, sizeof r);
    }
    return buf;
}

std::vector<unsigned char> random_bytes(size_t count)
{
    std::vector<unsigned char> v(count);
    for (auto &x : v) {
        x = static_cast<unsigned char>(rng()());
    }
    return v;
}

template <typename T>
void check_binary_overlaps(const BinaryCase<T> &c)
{
    SCOPED_TRACE(c.name);
    for (size_t n : overlap_lengths(sizeof(T))) {
        const long span = static_cast<long>(n * sizeof(T));
        for (long d_out : overlap_distances()) {
            for (long d_b : {0L, -3L, 17L, 64L, -span - 5}) {
                const long a_at = kMargin + span + 8;
                const auto buf = random_bytes(static_cast<size_t>(2 * a_at + 2 * kMargin));
                auto got = buf;
                const auto rule = [&](T x, T y) { return static_cast<T>(c.rule(x, y)); };
                const auto want = forward_model<T>(buf, a_at, a_at + d_b, a_at + d_out, n, rule);
                auto *base = got.data();
                c.kernel(reinterpret_cast<const T *>(base + a_at), n, reinterpret_cast<const T *>(base + a_at + d_b), n,
                         reinterpret_cast<T *>(base + a_at + d_out));
                ASSERT_EQ(got, want) << "n=" << n << " out-a=" << d_out << " b-a=" << d_b;
            }
        }
    }
}

template <typename T>
void check_shift_overlaps(const ShiftCase<T> &c, std::initializer_list<int> counts)
{
    SCOPED_TRACE(c.name);
    for (int s : counts) {
        for (size_t n : overlap_lengths(sizeof(T))) {
            const long span = static_cast<long>(n * sizeof(T));
            for (long d_out : overlap_distances()) {
                const long a_at = kMargin + span;
                const auto buf = random_bytes(static_cast<size_t>(2 * a_at + kMargin));
                auto got = buf;
                const auto rule = [&](T x, T) { return static_cast<T>(c.rule(x, s)); };
                const auto want = forward_model<T>(buf, a_at, a_at, a_at + d_out, n, rule);
                auto *base = got.data();
                c.kernel(reinterpret_cast<const T *>(base + a_at), n, reinterpret_cast<T *>(base + a_at + d_out), s);
                ASSERT_EQ(got, want) << "n=" << n << " s=" << s << " out-a=" << d_out;
            }
        }
    }
}

TEST(Paths, BinaryOverlapAnyDistance)
{
    for (const auto &c : binary15_cases()) {
        check_binary_overlaps(c);
    }
    for (const auto &c : binary8_cases()) {
        check_binary_overlaps(c);
    }
}

// One count of every regime (copy, scale, sign or zero).
TEST(Paths, ShiftOverlapAnyDistance)
{
    for (const auto &c : shift15_cases()) {
        check_shift_overlaps(c, {0, 1, 5, 15, 16, 40});
    }
    for (const auto &c : shift8_cases()) {
        check_shift_overlaps(c, {-1, 1, 3, 7, 8, 20});
    }
    for (const auto &c : shift64_cases()) {
        check_shift_overlaps(c, {0, 1, 33, 62, 63});
    }
}

// ---- Shift remainders: every count of the scaling range, short lengths -------

template <typename T>
void check_shift_short_lengths(const ShiftCase<T> &c, int max_count)
{
    SCOPED_TRACE(c.name);
    for (int s = 1; s <= max_count; ++s) {
        for (size_t off : {1, 3}) {
            for (size_t n = 0; n <= 140; ++n) {
                auto av = random_samples<T>(n);
                Placed<T> pa(n, off), po(n, off + 2);
                pa.put(av);
                c.kernel(pa.ptr(), n, po.ptr(), s);
                const auto got = po.get(n);
                for (size_t i = 0; i < n; ++i) {
                    ASSERT_EQ(int64_t{got[i]}, c.rule(av[i], s)) << "n=" << n << " s=" << s << " i=" << i << " x=" << int64_t{av[i]};
                }
                ASSERT_TRUE(po.guards_intact(n)) << "n=" << n << " s=" << s;
            }
        }
    }
}

TEST(Paths, ShiftEveryScalingCountShortLengths)
{
    for (const auto &c : shift15_cases()) {
        check_shift_short_lengths(c, 15);
    }
    for (const auto &c : shift8_cases()) {
        check_shift_short_lengths(c, 7);
    }
    for (const auto &c : shift64_cases()) {
        check_shift_short_lengths(c, 62);
    }
}

// ---- Long inner products and sums: wrapping, runs, blocks -------------------

// Long enough that the Q8 sum wraps at 32 bits (2^18 products of 2^14) and
// that the Q15 block sums pass their lane-folding runs.
constexpr size_t kLong = (size_t{1} << 18) + 77;
// Past the size where the wide Q15 inner product streams through another path.
constexpr size_t kStreaming = (size_t{1} << 19) + 77;

template <typename T, typename R>
void check_long_dot(const DotCase<T, R> &c)
{
    SCOPED_TRACE(c.name);
    for (bool extreme : {true, false}) {
        auto av = random_samples<T>(kStreaming), bv = random_samples<T>(kStreaming);
        if (extreme) {
            std::fill(av.begin(), av.end(), lo<T>());
            std::fill(bv.begin(), bv.end(), lo<T>());
        }
        for (size_t n : {kStreaming, kLong, kLong - 1, kLong - 63}) {
            uint64_t sum = 0;
            for (size_t i = 0; i < n; ++i) {
                sum += static_cast<uint64_t>(int64_t{av[i]} * bv[i]);
            }
            ASSERT_EQ(c.kernel(av.data(), n, bv.data(), n), static_cast<R>(sum)) << "n=" << n << " extreme=" << extreme;
        }
    }
}

TEST(Paths, DotLongRunsWrap)
{
    for (const auto &c : dot15_cases()) {
        check_long_dot(c);
    }
    for (const auto &c : dot8_cases()) {
        check_long_dot(c);
    }
}

template <typename T, typename R, typename Fn, size_t N>
void check_sums(const char *name, const corvane::Path<Fn> (&table)[N])
{
    for (const auto &path : table) {
        if (!corvane::isa_supported(path.isa)) {
            continue;
        }
        SCOPED_TRACE(std::string(name) + "/" + corvane::isa_name(path.isa));
        for (bool extreme : {true, false}) {
            auto av = random_samples<T>(kLong + 300);
            if (extreme) {
                std::fill(av.begin(), av.end(), lo<T>());
            }
            std::vector<size_t> lengths(301);
            std::iota(lengths.begin(), lengths.end(), size_t{0});  // every vector remainder
            lengths.push_back(kLong);
            for (size_t off = 0; off < 3; ++off) {
                for (size_t n : lengths) {
                    uint64_t sum = 0;
                    for (size_t i = 0; i < n; ++i) {
                        sum += static_cast<uint64_t>(int64_t{av[off + i]});
                    }
                    ASSERT_EQ(path.fn(av.data() + off, n), static_cast<R>(sum)) << "n=" << n << " off=" << off;
                }
            }
        }
    }
}

TEST(Paths, BlockSumsEveryPath)
{
    check_sums<int16_t, int64_t>("sum_q15", corvane::kSumQ15Paths);
    check_sums<int8_t, int32_t>("sum_q8", corvane::kSumQ8Paths);
}

// ---- The dispatch ------------------------------------------------------------

// The CPU check: a wider set implies the narrower ones of its family. Prints
// the paths the exported kernels take here.
TEST(Paths, SupportedSetsNest)
{
    const auto first = [](const auto &table) {
        for (const auto &p : table) {
            if (corvane::isa_supported(p.isa)) {
                return p.isa;
            }
        }
        return corvane::Isa::Scalar;
    };
    EXPECT_TRUE(corvane::isa_supported(corvane::Isa::Scalar));
    if (corvane::isa_supported(corvane::Isa::Avx512Vnni)) {
        EXPECT_TRUE(corvane::isa_supported(corvane::Isa::Avx512Bw));
    }
    if (corvane::isa_supported(corvane::Isa::Avx2)) {
        EXPECT_TRUE(corvane::isa_supported(corvane::Isa::Sse2));
    }
    std::printf("paths taken: add_q15 %s, mul_q15 %s, dot_q15 %s, dot_q8 %s, shl_q15 %s, sum_q15 %s\n",
                corvane::isa_name(first(corvane::kAddQ15Paths)), corvane::isa_name(first(corvane::kMulQ15Paths)),
                corvane::isa_name(first(corvane::kDotQ15Paths)), corvane::isa_name(first(corvane::kDotQ8Paths)),
                corvane::isa_name(first(corvane::kShlQ15Paths)), corvane::isa_name(first(corvane::kSumQ15Paths)));
}

}  // namespace
