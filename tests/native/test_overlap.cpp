// Overlap: every path of every kernel with an output, called directly, with
// the output at a spread of byte distances from each input (below, on it, just
// above, about a block away, apart), against the forward pass run here on a
// copy of the same bytes. Comparing the whole buffers also catches writes
// outside the n outputs.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "cpu_features.h"
#include "paths.h"
#include "reference.h"

namespace {

using namespace reference;

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

// One path of one kernel behind a raw-byte call, so one table holds every
// sample type; `rule` computes one output element from the bytes of its inputs.
struct BinaryEntry {
    std::string name;
    corvane::Isa isa;
    size_t size;
    std::variant<corvane::BinaryQ15, corvane::BinaryQ8> fn;
    void (*rule)(const unsigned char *a, const unsigned char *b, unsigned char *out);
};

struct ShiftEntry {
    std::string name;
    corvane::Isa isa;
    size_t size;
    std::variant<corvane::ShiftQ15, corvane::ShiftQ8, corvane::ShiftI64> fn;
    void (*rule)(const unsigned char *a, unsigned char *out, int s);
};

template <typename T>
void call(void (*fn)(const T *, size_t, const T *, size_t, T *), const unsigned char *a, const unsigned char *b,
          unsigned char *out, size_t n)
{
    fn(reinterpret_cast<const T *>(a), n, reinterpret_cast<const T *>(b), n, reinterpret_cast<T *>(out));
}

template <typename T>
void call(void (*fn)(const T *, size_t, T *, int), const unsigned char *a, unsigned char *out, size_t n, int s)
{
    fn(reinterpret_cast<const T *>(a), n, reinterpret_cast<T *>(out), s);
}

template <typename T, int32_t (*Rule)(int32_t, int32_t), typename Fn, size_t N>
void add_paths(std::vector<BinaryEntry> &entries, const char *kernel, const corvane::Path<Fn> (&table)[N])
{
    for (const auto &p : table) {
        entries.push_back({std::string(kernel) + "_" + corvane::isa_name(p.isa), p.isa, sizeof(T), p.fn,
                           [](const unsigned char *a, const unsigned char *b, unsigned char *out) {
                               put(out, static_cast<T>(Rule(get<T>(a), get<T>(b))));
                           }});
    }
}

template <typename T, int64_t (*Rule)(int64_t, int), typename Fn, size_t N>
void add_paths(std::vector<ShiftEntry> &entries, const char *kernel, const corvane::Path<Fn> (&table)[N])
{
    for (const auto &p : table) {
        entries.push_back({std::string(kernel) + "_" + corvane::isa_name(p.isa), p.isa, sizeof(T), p.fn,
                           [](const unsigned char *a, unsigned char *out, int s) {
                               put(out, static_cast<T>(Rule(get<T>(a), s)));
                           }});
    }
}

int64_t shl15(int64_t x, int s) { return ref_shl_sat(x, s, 16); }
int64_t shr15(int64_t x, int s) { return ref_shr_round(x, s, 16); }
int64_t shl8(int64_t x, int s) { return ref_shl_sat(x, s, 8); }
int64_t shr8(int64_t x, int s) { return ref_shr_round(x, s, 8); }

std::vector<BinaryEntry> binary_paths()
{
    std::vector<BinaryEntry> e;
    add_paths<int16_t, ref_add15>(e, "add_q15", corvane::kAddQ15Paths);
    add_paths<int16_t, ref_sub15>(e, "sub_q15", corvane::kSubQ15Paths);
    add_paths<int16_t, ref_mul15>(e, "mul_q15", corvane::kMulQ15Paths);
    add_paths<int8_t, ref_add8>(e, "add_q8", corvane::kAddQ8Paths);
    add_paths<int8_t, ref_sub8>(e, "sub_q8", corvane::kSubQ8Paths);
    add_paths<int8_t, ref_mul8>(e, "mul_q8", corvane::kMulQ8Paths);
    return e;
}

std::vector<ShiftEntry> shift_paths()
{
    std::vector<ShiftEntry> e;
    add_paths<int16_t, shl15>(e, "shl_q15", corvane::kShlQ15Paths);
    add_paths<int16_t, shr15>(e, "shr_q15", corvane::kShrQ15Paths);
    add_paths<int8_t, shl8>(e, "shl_q8", corvane::kShlQ8Paths);
    add_paths<int8_t, shr8>(e, "shr_q8", corvane::kShrQ8Paths);
    add_paths<int64_t, ref_shl64>(e, "shl_i64", corvane::kShlI64Paths);
    add_paths<int64_t, ref_shr64>(e, "shr_i64", corvane::kShrI64Paths);
    return e;
}

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
    if (!corvane::isa_supported(k.isa)) {
        GTEST_SKIP() << "this CPU lacks " << corvane::isa_name(k.isa);
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
                std::visit([&](auto fn) { call(fn, &got[a], &got[b], &got[out], n); }, k.fn);
                ASSERT_EQ(first_difference(got, want, out), "")
                    << "n=" << n << " out-a=" << distance_name(da) << " out-b=" << distance_name(db);
            }
        }
    }
}

TEST_P(OverlapShift, ForwardPassAtEveryDistance)
{
    const ShiftEntry &k = GetParam();
    if (!corvane::isa_supported(k.isa)) {
        GTEST_SKIP() << "this CPU lacks " << corvane::isa_name(k.isa);
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
                std::visit([&](auto fn) { call(fn, &got[a], &got[out], n, s); }, k.fn);
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

INSTANTIATE_TEST_SUITE_P(Kernels, OverlapBinary, testing::ValuesIn(binary_paths()), entry_name<BinaryEntry>);
INSTANTIATE_TEST_SUITE_P(Kernels, OverlapShift, testing::ValuesIn(shift_paths()), entry_name<ShiftEntry>);

}  // namespace
