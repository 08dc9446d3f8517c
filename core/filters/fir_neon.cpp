// NEON sums of the FIR: sixteen consecutive outputs per block, one
// widening multiply-add by tap element per four outputs and tap half.
//
// Lanes run along the outputs: tap j multiplies the eight samples loaded at
// w[i0 - j], by element from a vector of eight taps, so the tap loop needs
// no shuffles and no broadcasts. Each tap is split as in Taps (fir_paths.h),
// t = hi * 2^8 + lo with lo in 0..255: a 32-bit lane then takes the products
// of 2 * kPairsPerGroup taps (the lo parts below 2^31, the hi parts below
// 2^30) before the group's sums move to 64 bits as hi_sum * 2^8 + lo_sum.
#include "fir_paths.h"

#if CORVANE_NEON_PATHS

#include <arm_neon.h>

#include <utility>

namespace corvane::fir {

namespace {

constexpr size_t kLanes = 8;                       // int16 lanes of a vector
constexpr size_t kBlock = 16;                      // outputs per block: two vectors
constexpr size_t kTapsPerGroup = 2 * kPairsPerGroup;
constexpr int kHiShift = 8;
static_assert(kTapsPerGroup % kLanes == 0, "a group holds whole vectors of taps");

// The 32-bit sums of one block: quarter q holds outputs 4q .. 4q + 3.
struct BlockSums {
    int32x4_t hi[4];
    int32x4_t lo[4];
};

// Tap `kLane` of the vectors th / tl on every block, whose newest samples
// for that tap start at newest - kLane.
template <size_t kBlocks, int kLane>
inline void add_tap(BlockSums (&acc)[kBlocks], const int16_t *newest, int16x8_t th, int16x8_t tl)
{
    for (size_t b = 0; b < kBlocks; ++b) {
        const int16_t *x = newest + b * kBlock - kLane;
        const int16x8_t x0 = vld1q_s16(x);
        const int16x8_t x1 = vld1q_s16(x + kLanes);
        BlockSums &a = acc[b];
        a.hi[0] = vmlal_laneq_s16(a.hi[0], vget_low_s16(x0), th, kLane);
        a.hi[1] = vmlal_high_laneq_s16(a.hi[1], x0, th, kLane);
        a.hi[2] = vmlal_laneq_s16(a.hi[2], vget_low_s16(x1), th, kLane);
        a.hi[3] = vmlal_high_laneq_s16(a.hi[3], x1, th, kLane);
        a.lo[0] = vmlal_laneq_s16(a.lo[0], vget_low_s16(x0), tl, kLane);
        a.lo[1] = vmlal_high_laneq_s16(a.lo[1], x0, tl, kLane);
        a.lo[2] = vmlal_laneq_s16(a.lo[2], vget_low_s16(x1), tl, kLane);
        a.lo[3] = vmlal_high_laneq_s16(a.lo[3], x1, tl, kLane);
    }
}

template <size_t kBlocks, int... kLane>
inline void add_taps(BlockSums (&acc)[kBlocks], const int16_t *newest, int16x8_t th, int16x8_t tl,
                     std::integer_sequence<int, kLane...>)
{
    (add_tap<kBlocks, kLane>(acc, newest, th, tl), ...);
}

inline void put(int64_t *dst, int64x2_t v, bool first) { vst1q_s64(dst, first ? v : vaddq_s64(vld1q_s64(dst), v)); }

// hi * 2^8 + lo in 64 bits, added to (or, for the first group, stored as)
// the block's sums.
inline void finish_block(const BlockSums &a, int64_t *dst, bool first)
{
    for (size_t q = 0; q < 4; ++q) {
        const int64x2_t low = vaddw_s32(vshll_n_s32(vget_low_s32(a.hi[q]), kHiShift), vget_low_s32(a.lo[q]));
        const int64x2_t high = vaddw_high_s32(vshll_high_n_s32(a.hi[q], kHiShift), a.lo[q]);
        put(dst + 4 * q, low, first);
        put(dst + 4 * q + 2, high, first);
    }
}

// Sums of taps [j0, j_end) for kBlocks consecutive blocks from w.
template <size_t kBlocks>
void block_sums(const int16_t *w, const Taps &t, size_t j0, size_t j_end, int64_t *sums)
{
    BlockSums acc[kBlocks];
    for (auto &a : acc) {
        for (size_t q = 0; q < 4; ++q) {
            a.hi[q] = a.lo[q] = vdupq_n_s32(0);
        }
    }
    const int16x8_t lo_mask = vdupq_n_s16(0xFF);
    size_t j = j0;
    for (; j_end - j >= kLanes; j += kLanes) {
        const int16x8_t taps = vld1q_s16(t.taps + j);
        add_taps(acc, w - j, vshrq_n_s16(taps, kHiShift), vandq_s16(taps, lo_mask),
                 std::make_integer_sequence<int, kLanes>{});
    }
    for (; j < j_end; ++j) {
        const int16_t tap = t.taps[j];
        add_tap<kBlocks, 0>(acc, w - j, vdupq_n_s16(static_cast<int16_t>(tap >> kHiShift)),
                            vdupq_n_s16(static_cast<int16_t>(tap & 0xFF)));
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        finish_block(acc[b], sums + b * kBlock, j0 == 0);
    }
}

// Two blocks at a time keep sixteen accumulators in flight.
constexpr size_t kBlocksInFlight = 2;
static_assert(kBlocksInFlight * kBlock <= kMaxBlock, "the window's padding covers a whole step");

}  // namespace

void sums_neon(const int16_t *w, size_t n, const Taps &t, int64_t *sums)
{
    for (size_t j0 = 0; j0 < t.count; j0 += kTapsPerGroup) {
        const size_t j_end = t.count - j0 < kTapsPerGroup ? t.count : j0 + kTapsPerGroup;
        size_t i0 = 0;
        for (; i0 + kBlock < n; i0 += kBlocksInFlight * kBlock) {
            block_sums<kBlocksInFlight>(w + i0, t, j0, j_end, sums + i0);
        }
        if (i0 < n) {
            block_sums<1>(w + i0, t, j0, j_end, sums + i0);
        }
    }
}

}  // namespace corvane::fir

#endif  // CORVANE_NEON_PATHS
