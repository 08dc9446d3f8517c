// Times one kernel call in a tight native loop, so that a benchmark driven
// from Python measures the kernel and not the ctypes call around it. Built by
// ab_kernels.py with the system compiler; the kernel comes in as a pointer.
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace {

using Binary = void (*)(const void *, size_t, const void *, size_t, void *);
using Dot64 = int64_t (*)(const void *, size_t, const void *, size_t);
using Dot32 = int32_t (*)(const void *, size_t, const void *, size_t);
using Shift = void (*)(const void *, size_t, void *, int);

template <typename Call>
double best_ns(Call call, long reps, int rounds)
{
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        for (long i = 0; i < reps; ++i) {
            call();
        }
        std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        if (took.count() / reps < best) {
            best = took.count() / reps;
        }
    }
    return best;
}

}  // namespace

// kind: 0 two-input elementwise, 1 dot with a 64-bit result, 2 dot with a
// 32-bit result, 3 shift by s. Returns the best time per call in ns.
extern "C" double kernel_best_ns(int kind, void *fn, const void *a, size_t n, const void *b, void *out,
                                 int s, long reps, int rounds)
{
    volatile int64_t sink = 0;
    switch (kind) {
    case 0:
        return best_ns([&] { reinterpret_cast<Binary>(fn)(a, n, b, n, out); }, reps, rounds);
    case 1:
        return best_ns([&] { sink = reinterpret_cast<Dot64>(fn)(a, n, b, n); }, reps, rounds);
    case 2:
        return best_ns([&] { sink = reinterpret_cast<Dot32>(fn)(a, n, b, n); }, reps, rounds);
    default:
        return best_ns([&] { reinterpret_cast<Shift>(fn)(a, n, out, s); }, reps, rounds);
    }
}
