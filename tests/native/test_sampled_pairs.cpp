// Sampled rows of the all-pairs Q15 sweep, on every path. Under emulation the
// full sweep (label "exhaustive") takes minutes per path, so the default
// suite runs 256 of its 65536 rows: row k holds the pairs (k + i, i) for every
// i, all 2^16 values of each operand. Rows 0, 1, -1 and 32768 carry the
// corners (equal operands, the range ends against each other); the rest are
// random.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "reference.h"

using namespace corvane_test;

namespace {

std::vector<uint16_t> sampled_rows()
{
    std::vector<uint16_t> rows{0, 1, 0xFFFF, 0x8000};
    std::mt19937_64 gen(0x9a15);
    while (rows.size() < 256) {
        rows.push_back(static_cast<uint16_t>(gen()));
    }
    return rows;
}

TEST(Core, SampledQ15PairRows)
{
    constexpr size_t kAll = 65536;
    const auto rows = sampled_rows();
    std::vector<int16_t> a(kAll), b(kAll), out(kAll), want(kAll);
    for (const auto &c : binary15_cases()) {
        if (c.name.find('/') == std::string::npos) {
            continue;  // the exported kernel: one of its paths
        }
        SCOPED_TRACE(c.name);
        for (uint16_t row : rows) {
            for (size_t i = 0; i < kAll; ++i) {
                a[i] = static_cast<int16_t>(row + i);
                b[i] = static_cast<int16_t>(i);
                want[i] = static_cast<int16_t>(c.rule(a[i], b[i]));
            }
            c.kernel(a.data(), kAll, b.data(), kAll, out.data());
            const long bad = first_mismatch(out, want);
            ASSERT_EQ(bad, -1) << "a=" << a[bad] << " b=" << b[bad] << " got " << out[bad];
        }
    }
}

}  // namespace
