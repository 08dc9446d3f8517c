// Internal: the path each kernel takes on this CPU, chosen once.
#ifndef CORVANE_DISPATCH_H
#define CORVANE_DISPATCH_H

#include <atomic>
#include <cstddef>

#include "cpu_features.h"
#include "paths.h"

namespace corvane {

// Index of the first path of the table, from `from` on, whose instruction
// set this CPU has (and, if asked, that has no minimum length); the last
// entry (the scalar rules) always qualifies.
template <typename Fn, size_t N>
size_t first_supported(const Path<Fn> (&table)[N], size_t from = 0, bool any_length = false)
{
    for (size_t i = from; i < N; ++i) {
        if (isa_supported(table[i].isa) && (!any_length || table[i].min_bytes == 0)) {
            return i;
        }
    }
    return N - 1;
}

// The kernel's widest usable path and, for inputs shorter than that path's
// min_bytes, the next usable path that takes any length, which the wide path
// would hand them to anyway: calling it directly saves a hop on the
// shortest arrays. Both are
// cached after the first call. Threads racing on the first call all store
// the same values, and the wide pointer is published last (release), so a
// reader that sees it sees the other two; every later call is three loads, a
// compare and an indirect jump, with no lock or guard.
template <const auto &Table>
struct Chosen {
    using Fn = decltype(Table[0].fn);
    static inline std::atomic<Fn> wide{nullptr};
    static inline std::atomic<Fn> narrow{nullptr};
    static inline std::atomic<size_t> wide_min_bytes{0};

    // Out of line, so that the hot path needs no stack frame: both branches
    // of call() end in a tail call with the caller's arguments untouched.
    template <typename... Args>
    [[gnu::noinline, gnu::cold]] static auto first_call(Args... args)
    {
        const size_t first = first_supported(Table);
        const size_t next = first + 1 < std::size(Table) ? first_supported(Table, first + 1, true) : first;
        narrow.store(Table[next].fn, std::memory_order_relaxed);
        wide_min_bytes.store(Table[first].min_bytes, std::memory_order_relaxed);
        wide.store(Table[first].fn, std::memory_order_release);
        return Table[first].fn(args...);
    }

    // `bytes` is the size of the input the kernel will read (the shorter
    // one for two inputs).
    template <typename... Args>
    static auto call(size_t bytes, Args... args)
    {
        Fn fn = wide.load(std::memory_order_acquire);
        if (fn == nullptr) [[unlikely]] {
            return first_call(args...);
        }
        if (bytes < wide_min_bytes.load(std::memory_order_relaxed)) {
            fn = narrow.load(std::memory_order_relaxed);
        }
        return fn(args...);
    }
};

}  // namespace corvane

#endif  // CORVANE_DISPATCH_H
