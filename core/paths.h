// Internal: every block path of every kernel, and the tables the exported
// kernels choose from.
//
// Each path has the arguments and the result of its exported kernel (see
// fixedpoint.h; the sums are the amounts the accumulators' block steps add)
// and gives bit for bit the same result for every input and every overlap.
// A table lists a kernel's paths widest first and ends with the scalar rules,
// which run anywhere; the kernel takes the first path whose instruction set
// the CPU has (dispatch.h). Adding a path to a kernel is one entry in its
// table, behind the switch of its target (targets.h). Tests walk the tables
// to call every path this CPU can run, not only the one the kernel takes.
#ifndef CORVANE_PATHS_H
#define CORVANE_PATHS_H

#include <cstddef>
#include <cstdint>

#include "cpu_features.h"
#include "targets.h"

namespace corvane {

using BinaryQ15 = void (*)(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out);
using BinaryQ8 = void (*)(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);
using DotQ15 = int64_t (*)(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b);
using DotQ8 = int32_t (*)(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b);
using ShiftQ15 = void (*)(const int16_t *a, size_t len_a, int16_t *out, int s);
using ShiftQ8 = void (*)(const int8_t *a, size_t len_a, int8_t *out, int s);
using ShiftI64 = void (*)(const int64_t *a, size_t len_a, int64_t *out, int s);
using SumQ15 = int64_t (*)(const int16_t *a, size_t n);
using SumQ8 = int32_t (*)(const int8_t *a, size_t n);

// min_bytes: inputs shorter than this go to the next path that takes any
// length (the path itself does the same when called directly, so this only
// saves a hop); 0 for paths that are the fastest at every length.
template <typename Fn>
struct Path {
    Isa isa;
    Fn fn;
    size_t min_bytes = 0;
};

// Declares one instruction set's path of every kernel it provides.
#define CORVANE_DECLARE_BINARY_PATHS                                                          \
    void add_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out); \
    void sub_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out); \
    void mul_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b, int16_t *out); \
    void add_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);     \
    void sub_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);     \
    void mul_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b, int8_t *out);
#define CORVANE_DECLARE_DOT_PATHS                                                  \
    int64_t dot_q15(const int16_t *a, size_t len_a, const int16_t *b, size_t len_b); \
    int32_t dot_q8(const int8_t *a, size_t len_a, const int8_t *b, size_t len_b);
#define CORVANE_DECLARE_SHIFT_PATHS                                  \
    void shl_q15(const int16_t *a, size_t len_a, int16_t *out, int s); \
    void shr_q15(const int16_t *a, size_t len_a, int16_t *out, int s); \
    void shl_q8(const int8_t *a, size_t len_a, int8_t *out, int s);    \
    void shr_q8(const int8_t *a, size_t len_a, int8_t *out, int s);
#define CORVANE_DECLARE_SHIFT_I64_PATHS                                \
    void shl_i64(const int64_t *a, size_t len_a, int64_t *out, int s); \
    void shr_i64(const int64_t *a, size_t len_a, int64_t *out, int s);
#define CORVANE_DECLARE_SUM_PATHS            \
    int64_t sum_q15(const int16_t *a, size_t n); \
    int32_t sum_q8(const int8_t *a, size_t n);

namespace scalar {
CORVANE_DECLARE_BINARY_PATHS
CORVANE_DECLARE_DOT_PATHS
CORVANE_DECLARE_SHIFT_PATHS
CORVANE_DECLARE_SHIFT_I64_PATHS
CORVANE_DECLARE_SUM_PATHS
}  // namespace scalar

#if CORVANE_X86_PATHS
namespace sse2 {
CORVANE_DECLARE_BINARY_PATHS
CORVANE_DECLARE_DOT_PATHS
CORVANE_DECLARE_SHIFT_PATHS
CORVANE_DECLARE_SHIFT_I64_PATHS
CORVANE_DECLARE_SUM_PATHS
}  // namespace sse2

namespace avx2 {
CORVANE_DECLARE_BINARY_PATHS
CORVANE_DECLARE_DOT_PATHS
CORVANE_DECLARE_SHIFT_PATHS
}  // namespace avx2

// dot_q15 and the sums need AVX-512 BW, dot_q8 also VNNI.
namespace avx512 {
CORVANE_DECLARE_DOT_PATHS
CORVANE_DECLARE_SUM_PATHS
}  // namespace avx512
#endif

#if CORVANE_NEON_PATHS
namespace neon {
CORVANE_DECLARE_BINARY_PATHS
CORVANE_DECLARE_DOT_PATHS
CORVANE_DECLARE_SHIFT_PATHS
CORVANE_DECLARE_SHIFT_I64_PATHS
CORVANE_DECLARE_SUM_PATHS
}  // namespace neon
#endif

// ---- The tables ---------------------------------------------------------

#if CORVANE_X86_PATHS
// The shortest inputs the wide paths run blocks on (one block each); they
// hand anything shorter to the SSE2 path.
inline constexpr size_t kAvx2BlockBytes = 64;      // two 32-byte vectors
inline constexpr size_t kAvx2MulQ8BlockBytes = 32;  // one vector
inline constexpr size_t kAvx2DotQ15MinBytes = 128;  // four chains of 16 samples
inline constexpr size_t kAvx2DotQ8MinBytes = 64;    // two chains of 32 samples
inline constexpr size_t kAvx512DotQ15MinBytes = 64;  // one vector
inline constexpr size_t kAvx512DotQ8MinBytes = 64;   // one vector
inline constexpr size_t kAvx512SumMinBytes = 64;     // one vector
#endif

inline constexpr Path<BinaryQ15> kAddQ15Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::add_q15, kAvx2BlockBytes},
    {Isa::Sse2, sse2::add_q15},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::add_q15},
#endif
    {Isa::Scalar, scalar::add_q15},
};

inline constexpr Path<BinaryQ15> kSubQ15Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::sub_q15, kAvx2BlockBytes},
    {Isa::Sse2, sse2::sub_q15},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::sub_q15},
#endif
    {Isa::Scalar, scalar::sub_q15},
};

inline constexpr Path<BinaryQ15> kMulQ15Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::mul_q15, kAvx2BlockBytes},
    {Isa::Sse2, sse2::mul_q15},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::mul_q15},
#endif
    {Isa::Scalar, scalar::mul_q15},
};

inline constexpr Path<BinaryQ8> kAddQ8Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::add_q8, kAvx2BlockBytes},
    {Isa::Sse2, sse2::add_q8},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::add_q8},
#endif
    {Isa::Scalar, scalar::add_q8},
};

inline constexpr Path<BinaryQ8> kSubQ8Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::sub_q8, kAvx2BlockBytes},
    {Isa::Sse2, sse2::sub_q8},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::sub_q8},
#endif
    {Isa::Scalar, scalar::sub_q8},
};

inline constexpr Path<BinaryQ8> kMulQ8Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::mul_q8, kAvx2MulQ8BlockBytes},
    {Isa::Sse2, sse2::mul_q8},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::mul_q8},
#endif
    {Isa::Scalar, scalar::mul_q8},
};

inline constexpr Path<DotQ15> kDotQ15Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::dot_q15, kAvx512DotQ15MinBytes},
    {Isa::Avx2, avx2::dot_q15, kAvx2DotQ15MinBytes},
    {Isa::Sse2, sse2::dot_q15},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::dot_q15},
#endif
    {Isa::Scalar, scalar::dot_q15},
};

inline constexpr Path<DotQ8> kDotQ8Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Vnni, avx512::dot_q8, kAvx512DotQ8MinBytes},
    {Isa::Avx2, avx2::dot_q8, kAvx2DotQ8MinBytes},
    {Isa::Sse2, sse2::dot_q8},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::dot_q8},
#endif
    {Isa::Scalar, scalar::dot_q8},
};

inline constexpr Path<ShiftQ15> kShlQ15Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::shl_q15, kAvx2BlockBytes},
    {Isa::Sse2, sse2::shl_q15},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::shl_q15},
#endif
    {Isa::Scalar, scalar::shl_q15},
};

inline constexpr Path<ShiftQ15> kShrQ15Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::shr_q15, kAvx2BlockBytes},
    {Isa::Sse2, sse2::shr_q15},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::shr_q15},
#endif
    {Isa::Scalar, scalar::shr_q15},
};

inline constexpr Path<ShiftQ8> kShlQ8Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::shl_q8, kAvx2BlockBytes},
    {Isa::Sse2, sse2::shl_q8},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::shl_q8},
#endif
    {Isa::Scalar, scalar::shl_q8},
};

inline constexpr Path<ShiftQ8> kShrQ8Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx2, avx2::shr_q8, kAvx2BlockBytes},
    {Isa::Sse2, sse2::shr_q8},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::shr_q8},
#endif
    {Isa::Scalar, scalar::shr_q8},
};

inline constexpr Path<ShiftI64> kShlI64Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Sse2, sse2::shl_i64},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::shl_i64},
#endif
    {Isa::Scalar, scalar::shl_i64},
};

inline constexpr Path<ShiftI64> kShrI64Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Sse2, sse2::shr_i64},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::shr_i64},
#endif
    {Isa::Scalar, scalar::shr_i64},
};

inline constexpr Path<SumQ15> kSumQ15Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::sum_q15, kAvx512SumMinBytes},
    {Isa::Sse2, sse2::sum_q15},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::sum_q15},
#endif
    {Isa::Scalar, scalar::sum_q15},
};

inline constexpr Path<SumQ8> kSumQ8Paths[] = {
#if CORVANE_X86_PATHS
    {Isa::Avx512Bw, avx512::sum_q8, kAvx512SumMinBytes},
    {Isa::Sse2, sse2::sum_q8},
#endif
#if CORVANE_NEON_PATHS
    {Isa::Neon, neon::sum_q8},
#endif
    {Isa::Scalar, scalar::sum_q8},
};

}  // namespace corvane

#endif  // CORVANE_PATHS_H
