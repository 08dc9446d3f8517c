// The independent reference shared by the native tests: element rules written
// from their definitions (nothing is shared with the code under test), the
// kernels' cases (every path of every kernel, plus the exported kernel), and
// buffers placed at any byte offset.
#ifndef CORVANE_TESTS_REFERENCE_H
#define CORVANE_TESTS_REFERENCE_H

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cpu_features.h"
#include "fixedpoint.h"
#include "paths.h"

namespace corvane_test {

// ---- Reference rules ------------------------------------------------------

inline int64_t clamp64(int64_t x, int64_t lo, int64_t hi) { return x < lo ? lo : (x > hi ? hi : x); }

inline int32_t clamp32(int32_t x, int32_t lo, int32_t hi) { return x < lo ? lo : (x > hi ? hi : x); }

// Floor division by 2^k, written with '/' so it shares nothing with a shift.
template <typename W>
W floor_div_pow2(W x, int k)
{
    W d = static_cast<W>(1) << k;
    W q = x / d;
    return (x % d != 0 && x < 0) ? q - 1 : q;
}

// The elementwise rules stay in 32 bits (every sum and product fits) so that
// the exhaustive sweep's reference loop vectorises.
inline int32_t ref_add15(int32_t a, int32_t b) { return clamp32(a + b, -32768, 32767); }
inline int32_t ref_sub15(int32_t a, int32_t b) { return clamp32(a - b, -32768, 32767); }
inline int32_t ref_mul15(int32_t a, int32_t b) { return clamp32(floor_div_pow2(a * b + 16384, 15), -32768, 32767); }
inline int32_t ref_add8(int32_t a, int32_t b) { return clamp32(a + b, -128, 127); }
inline int32_t ref_sub8(int32_t a, int32_t b) { return clamp32(a - b, -128, 127); }
inline int32_t ref_mul8(int32_t a, int32_t b) { return clamp32(floor_div_pow2(a * b + 64, 7), -128, 127); }

// Saturating x * 2^s for a sample of `bits` bits; counts past 40 cannot change
// a clamped result, so they are capped before forming the exact product.
inline int64_t ref_shl_sat(int64_t x, int s, int bits)
{
    if (s <= 0) {
        return x;
    }
    int64_t hi = (int64_t{1} << (bits - 1)) - 1;
    return clamp64(x * (int64_t{1} << std::min(s, 40)), -hi - 1, hi);
}

inline int64_t ref_shr_round(int64_t x, int s, int bits)
{
    if (s <= 0) {
        return x;
    }
    if (s >= bits) {
        return x < 0 ? -1 : 0;
    }
    return floor_div_pow2(x + (int64_t{1} << (s - 1)), s);
}

inline int64_t wrap64(__int128 x) { return static_cast<int64_t>(static_cast<uint64_t>(static_cast<unsigned __int128>(x))); }

inline int64_t ref_shl64(int64_t x, int s)
{
    if (s <= 0) {
        return x;
    }
    return s >= 63 ? 0 : wrap64(static_cast<__int128>(x) * (static_cast<__int128>(1) << s));
}

inline int64_t ref_shr64(int64_t x, int s)
{
    if (s <= 0) {
        return x;
    }
    if (s >= 63) {
        return x < 0 ? -1 : 0;
    }
    return static_cast<int64_t>(floor_div_pow2<__int128>(wrap64(static_cast<__int128>(x) + (int64_t{1} << (s - 1))), s));
}

// ---- Kernel cases ---------------------------------------------------------

// One way to reach a kernel: one of its paths, or the exported function
// (which reports Scalar: it runs anywhere).
template <typename Fn, typename Rule>
struct Case {
    std::string name;
    corvane::Isa isa;
    Fn kernel;
    Rule rule;
};

// The exported kernel and every path of its table, named "kernel/isa".
template <typename Fn, typename Rule, size_t N>
std::vector<Case<Fn, Rule>> every_path(const char *name, Fn exported, const corvane::Path<Fn> (&table)[N], Rule rule)
{
    std::vector<Case<Fn, Rule>> cases{{name, corvane::Isa::Scalar, exported, rule}};
    for (const auto &path : table) {
        cases.push_back({std::string(name) + "/" + corvane::isa_name(path.isa), path.isa, path.fn, rule});
    }
    return cases;
}

// The cases this CPU can run; the others are skipped.
template <typename C>
std::vector<C> runnable(std::initializer_list<std::vector<C>> groups)
{
    std::vector<C> out;
    for (const auto &group : groups) {
        for (const auto &c : group) {
            if (corvane::isa_supported(c.isa)) {
                out.push_back(c);
            }
        }
    }
    return out;
}

template <typename T>
using BinaryCase = Case<void (*)(const T *, size_t, const T *, size_t, T *), int32_t (*)(int32_t, int32_t)>;
template <typename T>
using ShiftCase = Case<void (*)(const T *, size_t, T *, int), int64_t (*)(int64_t, int)>;
template <typename T, typename R>
using DotCase = Case<R (*)(const T *, size_t, const T *, size_t), int>;

inline int64_t ref_shl_q15(int64_t x, int s) { return ref_shl_sat(x, s, 16); }
inline int64_t ref_shr_q15(int64_t x, int s) { return ref_shr_round(x, s, 16); }
inline int64_t ref_shl_q8(int64_t x, int s) { return ref_shl_sat(x, s, 8); }
inline int64_t ref_shr_q8(int64_t x, int s) { return ref_shr_round(x, s, 8); }

inline std::vector<BinaryCase<int16_t>> binary15_cases()
{
    return runnable<BinaryCase<int16_t>>({every_path("add_q15", add_q15, corvane::kAddQ15Paths, ref_add15),
                                          every_path("sub_q15", sub_q15, corvane::kSubQ15Paths, ref_sub15),
                                          every_path("mul_q15", mul_q15, corvane::kMulQ15Paths, ref_mul15)});
}

inline std::vector<BinaryCase<int8_t>> binary8_cases()
{
    return runnable<BinaryCase<int8_t>>({every_path("add_q8", add_q8, corvane::kAddQ8Paths, ref_add8),
                                         every_path("sub_q8", sub_q8, corvane::kSubQ8Paths, ref_sub8),
                                         every_path("mul_q8", mul_q8, corvane::kMulQ8Paths, ref_mul8)});
}

inline std::vector<ShiftCase<int16_t>> shift15_cases()
{
    return runnable<ShiftCase<int16_t>>({every_path("shl_q15", shl_q15, corvane::kShlQ15Paths, ref_shl_q15),
                                         every_path("shr_q15", shr_q15, corvane::kShrQ15Paths, ref_shr_q15)});
}

inline std::vector<ShiftCase<int8_t>> shift8_cases()
{
    return runnable<ShiftCase<int8_t>>({every_path("shl_q8", shl_q8, corvane::kShlQ8Paths, ref_shl_q8),
                                        every_path("shr_q8", shr_q8, corvane::kShrQ8Paths, ref_shr_q8)});
}

inline std::vector<ShiftCase<int64_t>> shift64_cases()
{
    return runnable<ShiftCase<int64_t>>({every_path("shl_i64", shl_i64, corvane::kShlI64Paths, ref_shl64),
                                         every_path("shr_i64", shr_i64, corvane::kShrI64Paths, ref_shr64)});
}

// The dot rule is the exact 64-bit sum; `rule` is unused.
inline std::vector<DotCase<int16_t, int64_t>> dot15_cases()
{
    return runnable<DotCase<int16_t, int64_t>>({every_path("dot_q15", dot_q15, corvane::kDotQ15Paths, 0)});
}

inline std::vector<DotCase<int8_t, int32_t>> dot8_cases()
{
    return runnable<DotCase<int8_t, int32_t>>({every_path("dot_q8", dot_q8, corvane::kDotQ8Paths, 0)});
}

// ---- Buffers and samples ----------------------------------------------------

inline std::vector<int> shift_counts()
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

inline std::mt19937_64 &rng()
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

}  // namespace corvane_test

#endif  // CORVANE_TESTS_REFERENCE_H
