// Internal: the path each kernel takes on this CPU, chosen once.
#ifndef CORVANE_DISPATCH_H
#define CORVANE_DISPATCH_H

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

// The choice is made on the first call (thread-safe: a function-local static)
// and every later call is an indirect call through the cached pointer.
template <const auto &Table>
auto chosen()
{
    static const auto fn = first_supported(Table);
    return fn;
}

}  // namespace corvane

#endif  // CORVANE_DISPATCH_H
