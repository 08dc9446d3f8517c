// Overlap: every kernel with an output, and each block path on its own, with
// the output at a spread of byte distances from each input (below, on it, just
// above, about a block away, apart), against the forward pass run here on a
// copy of the same bytes. Comparing the whole buffers also catches writes
// outside the n outputs.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "elementwise_paths.h"
#include "fixedpoint.h"
#include "reference.h"

#if defined(__aarch64__)
#include "paths_neon.h"
#endif

namespace {

using namespace reference;

bool always() { return true; }

#if defined(__x86_64__)
bool has_avx2() { return __builtin_cpu_supports("avx2"); }
#endif

template <typename T>
T get(const unsigned char *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void put(unsigned char *p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

// Kernels behind one raw-byte signature, so one table holds every type.
struct BinaryEntry {
    const char *name;
    size_t size;
    void (*kernel)(const unsigned char *a, const unsigned char *b, unsigned char *out, size_t n);
    void (*rule)(const unsigned char *a, const unsigned char *b, unsigned char *out);
    bool (*usable)();
};

template <typename T, void (*Kernel)(const T *, size_t, const T *, size_t, T *), int32_t (*Rule)(int32_t, int32_t)>
BinaryEntry binary(const char *name, bool (*usable)() = always)
{
    return {name, sizeof(T),
            [](const unsigned char *a, const unsigned char *b, unsigned char *out, size_t n) {
                Kernel(reinterpret_cast<const T *>(a), n, reinterpret_cast<const T *>(b), n,
                       reinterpret_cast<T *>(out));
            },
            [](const unsigned char *a, const unsigned char *b, unsigned char *out) {
                put(out, static_cast<T>(Rule(get<T>(a), get<T>(b))));
            },
            usable};
}

struct ShiftEntry {
    const char *name;
    size_t size;
    void (*kernel)(const unsigned char *a, unsigned char *out, size_t n, int s);
    void (*rule)(const unsigned char *a, unsigned char *out, int s);
    bool (*usable)();
};

template <typename T, void (*Kernel)(const T *, size_t, T *, int), int64_t (*Rule)(int64_t, int)>
ShiftEntry shift(const char *name, bool (*usable)() = always)
{
    return {name, sizeof(T),
            [](const unsigned char *a, unsigned char *out, size_t n, int s) {
                Kernel(reinterpret_cast<const T *>(a), n, reinterpret_cast<T *>(out), s);
            },
            [](const unsigned char *a, unsigned char *out, int s) { put(out, static_cast<T>(Rule(get<T>(a), s))); },
            usable};
}

int64_t shl15(int64_t x, int s) { return ref_shl_sat(x, s, 16); }
int64_t shr15(int64_t x, int s) { return ref_shr_round(x, s, 16); }
int64_t shl8(int64_t x, int s) { return ref_shl_sat(x, s, 8); }
int64_t shr8(int64_t x, int s) { return ref_shr_round(x, s, 8); }

const BinaryEntry kBinaryKernels[] = {
    binary<int16_t, add_q15, ref_add15>("add_q15"),
    binary<int16_t, sub_q15, ref_sub15>("sub_q15"),
    binary<int16_t, mul_q15, ref_mul15>("mul_q15"),
    binary<int8_t, add_q8, ref_add8>("add_q8"),
    binary<int8_t, sub_q8, ref_sub8>("sub_q8"),
    binary<int8_t, mul_q8, ref_mul8>("mul_q8"),
#if defined(__x86_64__)
    binary<int16_t, corvane::paths::mul_q15_sse2, ref_mul15>("mul_q15_sse2"),
    binary<int16_t, corvane::paths::mul_q15_avx2, ref_mul15>("mul_q15_avx2", has_avx2),
    binary<int8_t, corvane::paths::mul_q8_sse2, ref_mul8>("mul_q8_sse2"),
    binary<int8_t, corvane::paths::mul_q8_avx2, ref_mul8>("mul_q8_avx2", has_avx2),
#endif
#if defined(__aarch64__)
    binary<int16_t, corvane::paths::add_q15_neon, ref_add15>("add_q15_neon"),
    binary<int16_t, corvane::paths::sub_q15_neon, ref_sub15>("sub_q15_neon"),
    binary<int16_t, corvane::paths::mul_q15_neon, ref_mul15>("mul_q15_neon"),
    binary<int8_t, corvane::paths::add_q8_neon, ref_add8>("add_q8_neon"),
    binary<int8_t, corvane::paths::sub_q8_neon, ref_sub8>("sub_q8_neon"),
    binary<int8_t, corvane::paths::mul_q8_neon, ref_mul8>("mul_q8_neon"),
#endif
};

const ShiftEntry kShiftKernels[] = {
    shift<int16_t, shl_q15, shl15>("shl_q15"),
    shift<int16_t, shr_q15, shr15>("shr_q15"),
    shift<int8_t, shl_q8, shl8>("shl_q8"),
    shift<int8_t, shr_q8, shr8>("shr_q8"),
    shift<int64_t, shl_i64, ref_shl64>("shl_i64"),
    shift<int64_t, shr_i64, ref_shr64>("shr_i64"),
#if defined(__aarch64__)
    shift<int16_t, corvane::paths::shl_q15_neon, shl15>("shl_q15_neon"),
    shift<int16_t, corvane::paths::shr_q15_neon, shr15>("shr_q15_neon"),
    shift<int8_t, corvane::paths::shl_q8_neon, shl8>("shl_q8_neon"),
    shift<int8_t, corvane::paths::shr_q8_neon, shr8>("shr_q8_neon"),
    shift<int64_t, corvane::paths::shl_i64_neon, ref_shl64>("shl_i64_neon"),
    shift<int64_t, corvane::paths::shr_i64_neon, ref_shr64>("shr_i64_neon"),
#endif
};

// Output minus input, in bytes. The two sentinels put the input wholly below
// or wholly above the output, whatever the length.
constexpr long kApartBelow = LONG_MIN;
constexpr long kApartAbove = LONG_MAX;
constexpr long kDistances[] = {kApartAbove, -130, -64, -16, -3, -1, 0,  1,  2,   3,   7,   8,  15,
                               16,          17,   31,  32,  33, 63, 64, 65, 128, 129, kApartBelow};
constexpr size_t kLengths[] = {0, 1, 5, 16, 31, 33, 64, 95, 130, 257};
constexpr int kCounts[] = {-3, 0, 1, 3, 7, 8, 15, 16, 63, 64};

// One buffer holds the output and every input; `base` is where the output
// starts, and an input at distance d starts d bytes below it.
struct Layout {
    size_t bytes;  // n samples
    size_t base;
    std::vector<unsigned char> initial;

    Layout(size_t n, size_t size, std::mt19937_64 &gen) : bytes(n * size), base(bytes + 256), initial(3 * bytes + 512)
    {
        // A quarter of the bytes at the ends of the range drive the clamps.
        for (auto &c : initial) {
            uint64_t r = gen();
            c = (r & 3) == 0 ? ((r & 4) ? 0x80 : 0x7F) : static_cast<unsigned char>(r >> 8);
        }
    }

    size_t input_at(long d) const
    {
        if (d == kApartBelow) {
            return base + bytes + 64;
        }
        if (d == kApartAbove) {
            return base - bytes - 64;
        }
        return static_cast<size_t>(static_cast<long>(base) - d);
    }
};

std::string distance_name(long d)
{
    return d == kApartBelow ? "apart(input above)" : d == kApartAbove ? "apart(input below)" : std::to_string(d);
}

// Index of the first differing byte, relative to the output, or none.
std::string first_difference(const std::vector<unsigned char> &got, const std::vector<unsigned char> &want, size_t base)
{
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i]) {
            return "byte " + std::to_string(static_cast<long>(i) - static_cast<long>(base)) + " from the output";
        }
    }
    return "";
}

void PrintTo(const BinaryEntry &e, std::ostream *os) { *os << e.name; }
void PrintTo(const ShiftEntry &e, std::ostream *os) { *os << e.name; }

class OverlapBinary : public testing::TestWithParam<BinaryEntry> {};
class OverlapShift : public testing::TestWithParam<ShiftEntry> {};

TEST_P(OverlapBinary, ForwardPassAtEveryDistance)
{
    const BinaryEntry &k = GetParam();
    if (!k.usable()) {
        GTEST_SKIP() << "this CPU lacks the instructions of " << k.name;
    }
    std::mt19937_64 gen(0x0b1ab);
    for (size_t n : kLengths) {
        const Layout layout(n, k.size, gen);
        for (long da : kDistances) {
            for (long db : kDistances) {
                std::vector<unsigned char> want = layout.initial, got = layout.initial;
                const size_t a = layout.input_at(da), b = layout.input_at(db), out = layout.base;
                for (size_t i = 0; i < n * k.size; i += k.size) {
                    unsigned char x[8], y[8];
                    std::memcpy(x, &want[a + i], k.size);
                    std::memcpy(y, &want[b + i], k.size);
                    k.rule(x, y, &want[out + i]);
                }
                k.kernel(&got[a], &got[b], &got[out], n);
                ASSERT_EQ(first_difference(got, want, out), "")
                    << "n=" << n << " out-a=" << distance_name(da) << " out-b=" << distance_name(db);
            }
        }
    }
}

TEST_P(OverlapShift, ForwardPassAtEveryDistance)
{
    const ShiftEntry &k = GetParam();
    if (!k.usable()) {
        GTEST_SKIP() << "this CPU lacks the instructions of " << k.name;
    }
    std::mt19937_64 gen(0x5417);
    for (size_t n : kLengths) {
        const Layout layout(n, k.size, gen);
        for (long d : kDistances) {
            for (int s : kCounts) {
                std::vector<unsigned char> want = layout.initial, got = layout.initial;
                const size_t a = layout.input_at(d), out = layout.base;
                for (size_t i = 0; i < n * k.size; i += k.size) {
                    unsigned char x[8];
                    std::memcpy(x, &want[a + i], k.size);
                    k.rule(x, &want[out + i], s);
                }
                k.kernel(&got[a], &got[out], n, s);
                ASSERT_EQ(first_difference(got, want, out), "")
                    << "n=" << n << " s=" << s << " out-a=" << distance_name(d);
            }
        }
    }
}

template <typename Entry>
std::string entry_name(const testing::TestParamInfo<Entry> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Kernels, OverlapBinary, testing::ValuesIn(kBinaryKernels), entry_name<BinaryEntry>);
INSTANTIATE_TEST_SUITE_P(Kernels, OverlapShift, testing::ValuesIn(kShiftKernels), entry_name<ShiftEntry>);

}  // namespace
