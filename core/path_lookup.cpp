// Lookup of a kernel's path by name, for tests that call each path.
#include "path_lookup.h"

#include <cstring>

#include "fir_paths.h"
#include "narrow_paths.h"
#include "paths.h"

using namespace corvane;

namespace {

template <typename Fn, size_t N>
const void *find(const Path<Fn> (&table)[N], const char *path)
{
    for (const auto &p : table) {
        if (std::strcmp(isa_name(p.isa), path) == 0 && isa_supported(p.isa)) {
            return reinterpret_cast<const void *>(p.fn);
        }
    }
    return nullptr;
}

}  // namespace

extern "C" const void *corvane_path(const char *kernel, const char *path)
{
#define CORVANE_LOOKUP(name, table)          \
    if (std::strcmp(kernel, name) == 0) {    \
        return find(table, path);            \
    }
    CORVANE_LOOKUP("add_q15", kAddQ15Paths)
    CORVANE_LOOKUP("sub_q15", kSubQ15Paths)
    CORVANE_LOOKUP("mul_q15", kMulQ15Paths)
    CORVANE_LOOKUP("add_q8", kAddQ8Paths)
    CORVANE_LOOKUP("sub_q8", kSubQ8Paths)
    CORVANE_LOOKUP("mul_q8", kMulQ8Paths)
    CORVANE_LOOKUP("dot_q15", kDotQ15Paths)
    CORVANE_LOOKUP("dot_q8", kDotQ8Paths)
    CORVANE_LOOKUP("shl_q15", kShlQ15Paths)
    CORVANE_LOOKUP("shr_q15", kShrQ15Paths)
    CORVANE_LOOKUP("shl_q8", kShlQ8Paths)
    CORVANE_LOOKUP("shr_q8", kShrQ8Paths)
    CORVANE_LOOKUP("shl_i64", kShlI64Paths)
    CORVANE_LOOKUP("shr_i64", kShrI64Paths)
    CORVANE_LOOKUP("narrow_q15_modes", kNarrowQ15Paths)
    CORVANE_LOOKUP("narrow_q8_modes", kNarrowQ8Paths)
    CORVANE_LOOKUP("quantize_q15_f64", kQuantizeQ15F64Paths)
    CORVANE_LOOKUP("quantize_q15_f32", kQuantizeQ15F32Paths)
    CORVANE_LOOKUP("quantize_q8_f64", kQuantizeQ8F64Paths)
    CORVANE_LOOKUP("quantize_q8_f32", kQuantizeQ8F32Paths)
    CORVANE_LOOKUP("fir_sums", fir::kSumsPaths)
#undef CORVANE_LOOKUP
    return nullptr;
}
