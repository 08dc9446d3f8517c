// The build's vector paths are the ones its kernels take: a table that listed
// the scalar rules first, or left a path out, would pass every result check
// and only be slower. On aarch64 every kernel has a NEON path and must take
// it; a portable build must take the scalar rules everywhere.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cpu_features.h"
#include "paths.h"
#include "targets.h"

namespace {

template <typename Fn, size_t N>
corvane::Isa taken(const corvane::Path<Fn> (&table)[N])
{
    for (const auto &p : table) {
        if (corvane::isa_supported(p.isa)) {
            return p.isa;
        }
    }
    return corvane::Isa::Scalar;
}

std::vector<std::pair<std::string, corvane::Isa>> taken_by_every_kernel()
{
    return {
        {"add_q15", taken(corvane::kAddQ15Paths)}, {"sub_q15", taken(corvane::kSubQ15Paths)},
        {"mul_q15", taken(corvane::kMulQ15Paths)}, {"add_q8", taken(corvane::kAddQ8Paths)},
        {"sub_q8", taken(corvane::kSubQ8Paths)},   {"mul_q8", taken(corvane::kMulQ8Paths)},
        {"dot_q15", taken(corvane::kDotQ15Paths)}, {"dot_q8", taken(corvane::kDotQ8Paths)},
        {"shl_q15", taken(corvane::kShlQ15Paths)}, {"shr_q15", taken(corvane::kShrQ15Paths)},
        {"shl_q8", taken(corvane::kShlQ8Paths)},   {"shr_q8", taken(corvane::kShrQ8Paths)},
        {"shl_i64", taken(corvane::kShlI64Paths)}, {"shr_i64", taken(corvane::kShrI64Paths)},
        {"sum_q15", taken(corvane::kSumQ15Paths)}, {"sum_q8", taken(corvane::kSumQ8Paths)},
    };
}

TEST(Targets, KernelsTakeThisBuildsPaths)
{
    if (CORVANE_X86_PATHS) {
        GTEST_SKIP() << "x86 kernels take the widest path the CPU has; the path tests cover each";
    }
    const corvane::Isa expected = CORVANE_NEON_PATHS ? corvane::Isa::Neon : corvane::Isa::Scalar;
    for (const auto &[kernel, isa] : taken_by_every_kernel()) {
        EXPECT_EQ(std::string(corvane::isa_name(isa)), corvane::isa_name(expected)) << kernel;
    }
}

}  // namespace
