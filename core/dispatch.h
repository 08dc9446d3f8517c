// Internal: the path each kernel takes on this CPU, chosen once.
#ifndef CORVANE_DISPATCH_H
#define CORVANE_DISPATCH_H

#include <atomic>
#include <cstddef>

#include "cpu_features.h"
#include "paths.h"

namespace corvane {

// The first path of the table whose instruction set this CPU has; the last
// entry (the scalar rules) is always usable.
template <typename Fn, size_t N>
Fn first_supported(const Path<Fn> (&table)[N])
{
    for (const Path<Fn> &path : table) {
        if (isa_supported(path.isa)) {
            return path.fn;
        }
    }
    return table[N - 1].fn;
}

// The path of a table, cached after the first call. Threads racing on the
// first call all store the same pointer, so a relaxed atomic is enough; every
// later call is one load and an indirect jump, with no lock or guard.
template <const auto &Table>
struct Chosen {
    using Fn = decltype(Table[0].fn);
    static inline std::atomic<Fn> cached{nullptr};

    // Out of line, so that the hot path needs no stack frame: both branches
    // of call() end in a tail call with the caller's arguments untouched.
    template <typename... Args>
    [[gnu::noinline, gnu::cold]] static auto first_call(Args... args)
    {
        const Fn fn = first_supported(Table);
        cached.store(fn, std::memory_order_relaxed);
        return fn(args...);
    }

    template <typename... Args>
    static auto call(Args... args)
    {
        const Fn fn = cached.load(std::memory_order_relaxed);
        if (fn == nullptr) [[unlikely]] {
            return first_call(args...);
        }
        return fn(args...);
    }
};

}  // namespace corvane

#endif  // CORVANE_DISPATCH_H
