// libFuzzer target: one kernel call on a shared buffer (the output may overlap
// either input at any byte offset) against a forward-pass model written here.
// Input: op, len_a, len_b, three byte offsets, shift count, then buffer bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fixedpoint.h"

namespace {

constexpr size_t kBuf = 1024;
constexpr size_t kHeader = 1 + 2 + 2 + 2 + 2 + 2 + 4;

template <typename T>
T ld(const uint8_t *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void st(uint8_t *p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

int64_t clamp(int64_t x, int64_t lo, int64_t hi) { return x < lo ? lo : (x > hi ? hi : x); }
int64_t floor_shift(int64_t x, int k) { return x >= 0 ? x / (int64_t{1} << k) : -((-x + (int64_t{1} << k) - 1) / (int64_t{1} << k)); }

// Element rules of the model, in exact 64-bit arithmetic.
int64_t add15(int64_t a, int64_t b) { return clamp(a + b, -32768, 32767); }
int64_t sub15(int64_t a, int64_t b) { return clamp(a - b, -32768, 32767); }
int64_t mul15(int64_t a, int64_t b) { return clamp(floor_shift(a * b + 16384, 15), -32768, 32767); }
int64_t add8(int64_t a, int64_t b) { return clamp(a + b, -128, 127); }
int64_t sub8(int64_t a, int64_t b) { return clamp(a - b, -128, 127); }
int64_t mul8(int64_t a, int64_t b) { return clamp(floor_shift(a * b + 64, 7), -128, 127); }

int64_t shl_sat(int64_t x, int s, int bits)
{
    int64_t hi = (int64_t{1} << (bits - 1)) - 1;
    return s <= 0 ? x : clamp(x * (int64_t{1} << (s < 40 ? s : 40)), -hi - 1, hi);
}

int64_t shr_round(int64_t x, int s, int bits)
{
    if (s <= 0) {
        return x;
    }
    return s >= bits ? (x < 0 ? -1 : 0) : floor_shift(x + (int64_t{1} << (s - 1)), s);
}

int64_t shl64(int64_t x, int s)
{
    if (s <= 0) {
        return x;
    }
    return s >= 63 ? 0 : static_cast<int64_t>(static_cast<uint64_t>(x) * (uint64_t{1} << s));
}

int64_t shr64(int64_t x, int s)
{
    if (s <= 0) {
        return x;
    }
    if (s >= 63) {
        return x < 0 ? -1 : 0;
    }
    uint64_t sum = static_cast<uint64_t>(x) + (uint64_t{1} << (s - 1));
    // Arithmetic shift of the wrapped sum, spelled as a floor division.
    __int128 v = static_cast<int64_t>(sum);
    __int128 d = static_cast<__int128>(1) << s;
    return static_cast<int64_t>(v >= 0 ? v / d : -((-v + d - 1) / d));
}

struct Call {
    uint8_t *buf;
    size_t off_a, off_b, off_out, len_a, len_b;
    int s;
};

// Forward pass: read element i of each input, then write out[i].
template <typename T, typename Rule>
void model_binary(const Call &c, Rule rule)
{
    size_t n = c.len_a < c.len_b ? c.len_a : c.len_b;
    for (size_t i = 0; i < n; ++i) {
        int64_t a = ld<T>(c.buf + c.off_a + i * sizeof(T));
        int64_t b = ld<T>(c.buf + c.off_b + i * sizeof(T));
        st<T>(c.buf + c.off_out + i * sizeof(T), static_cast<T>(rule(a, b)));
    }
}

template <typename T, typename Rule>
void model_shift(const Call &c, Rule rule)
{
    for (size_t i = 0; i < c.len_a; ++i) {
        st<T>(c.buf + c.off_out + i * sizeof(T), static_cast<T>(rule(ld<T>(c.buf + c.off_a + i * sizeof(T)), c.s)));
    }
}

template <typename T, typename R>
R model_dot(const Call &c)
{
    size_t n = c.len_a < c.len_b ? c.len_a : c.len_b;
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += static_cast<uint64_t>(int64_t{ld<T>(c.buf + c.off_a + i * sizeof(T))} * ld<T>(c.buf + c.off_b + i * sizeof(T)));
    }
    return static_cast<R>(sum);
}

template <typename T>
T *at(const Call &c, size_t off)
{
    return reinterpret_cast<T *>(c.buf + off);
}

template <typename T>
using Binary = void (*)(const T *, size_t, const T *, size_t, T *);
template <typename T>
using Shift = void (*)(const T *, size_t, T *, int);

template <typename T, typename Rule>
void run_binary(const Call &k, const Call &m, Binary<T> kernel, Rule rule)
{
    kernel(at<T>(k, k.off_a), k.len_a, at<T>(k, k.off_b), k.len_b, at<T>(k, k.off_out));
    model_binary<T>(m, rule);
}

template <typename T, typename Rule>
void run_shift(const Call &k, const Call &m, Shift<T> kernel, Rule rule)
{
    kernel(at<T>(k, k.off_a), k.len_a, at<T>(k, k.off_out), k.s);
    model_shift<T>(m, rule);
}

// Runs op on the kernel copy k and the model copy m.
void run(unsigned op, const Call &k, const Call &m)
{
    switch (op) {
    case 0: run_binary<int16_t>(k, m, add_q15, add15); break;
    case 1: run_binary<int16_t>(k, m, sub_q15, sub15); break;
    case 2: run_binary<int16_t>(k, m, mul_q15, mul15); break;
    case 3: run_binary<int8_t>(k, m, add_q8, add8); break;
    case 4: run_binary<int8_t>(k, m, sub_q8, sub8); break;
    case 5: run_binary<int8_t>(k, m, mul_q8, mul8); break;
    case 6: run_shift<int16_t>(k, m, shl_q15, [](int64_t x, int s) { return shl_sat(x, s, 16); }); break;
    case 7: run_shift<int16_t>(k, m, shr_q15, [](int64_t x, int s) { return shr_round(x, s, 16); }); break;
    case 8: run_shift<int8_t>(k, m, shl_q8, [](int64_t x, int s) { return shl_sat(x, s, 8); }); break;
    case 9: run_shift<int8_t>(k, m, shr_q8, [](int64_t x, int s) { return shr_round(x, s, 8); }); break;
    case 10: run_shift<int64_t>(k, m, shl_i64, shl64); break;
    case 11: run_shift<int64_t>(k, m, shr_i64, shr64); break;
    case 12:
        if (dot_q15(at<int16_t>(k, k.off_a), k.len_a, at<int16_t>(k, k.off_b), k.len_b) != model_dot<int16_t, int64_t>(m)) {
            __builtin_trap();
        }
        break;
    default:
        if (dot_q8(at<int8_t>(k, k.off_a), k.len_a, at<int8_t>(k, k.off_b), k.len_b) != model_dot<int8_t, int32_t>(m)) {
            __builtin_trap();
        }
    }
}

constexpr size_t kElementSize[] = {2, 2, 2, 1, 1, 1, 2, 2, 1, 1, 8, 8, 2, 1};
constexpr unsigned kOps = sizeof kElementSize / sizeof kElementSize[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < kHeader) {
        return 0;
    }
    unsigned op = data[0] % kOps;
    size_t es = kElementSize[op];
    size_t off_a = ld<uint16_t>(data + 5) % kBuf, off_b = ld<uint16_t>(data + 7) % kBuf;
    size_t off_out = ld<uint16_t>(data + 9) % kBuf;
    // Counts fit the buffer from every offset they are used with.
    size_t room_a = (kBuf - (off_a > off_out ? off_a : off_out)) / es;
    size_t room_b = (kBuf - (off_b > off_out ? off_b : off_out)) / es;
    size_t len_a = ld<uint16_t>(data + 1) % (room_a + 1);
    size_t len_b = ld<uint16_t>(data + 3) % (room_b + 1);
    if (op >= 6 && op <= 11) {
        len_b = len_a;
    }
    int s = ld<int32_t>(data + 11);

    // Exactly kBuf bytes on the heap, so any access outside trips ASan.
    std::vector<uint8_t> kbuf(kBuf), mbuf(kBuf);
    for (size_t i = 0; i < kBuf; ++i) {
        kbuf[i] = size > kHeader ? data[kHeader + i % (size - kHeader)] : 0;
    }
    mbuf = kbuf;
    Call k{kbuf.data(), off_a, off_b, off_out, len_a, len_b, s};
    Call m = k;
    m.buf = mbuf.data();
    run(op, k, m);
    if (std::memcmp(kbuf.data(), mbuf.data(), kBuf) != 0) {
        __builtin_trap();
    }
    return 0;
}
