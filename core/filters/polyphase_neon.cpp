// NEON gathers and spreads of the polyphase filters. The structure loads and
// stores of two, three and four vectors de-interleave and interleave by 2, 3
// and 4 in one instruction; 6 and 8 are two of those by 3 and 4 joined by an
// unzip or a zip. 5 and 7 have no such instruction and stay scalar. Both
// instructions take any address, as the samples may sit at any byte.
#include "polyphase_paths.h"

#if CORVANE_NEON_PATHS

#include <arm_neon.h>

namespace corvane::polyphase {

namespace {

constexpr size_t kLanes = 8;  // int16 lanes of a vector

// p[0], p[kStep], .., p[7 * kStep]; reads p[0 .. 8 * kStep).
template <size_t kStep>
int16x8_t every(const int16_t *p)
{
    if constexpr (kStep == 2) {
        return vld2q_s16(p).val[0];
    } else if constexpr (kStep == 3) {
        return vld3q_s16(p).val[0];
    } else if constexpr (kStep == 4) {
        return vld4q_s16(p).val[0];
    } else {
        // Every other one of every (kStep / 2)-th, from each half.
        static_assert(kStep % 2 == 0, "an odd step has no structure load");
        constexpr size_t kHalf = kStep / 2;
        return vuzp1q_s16(every<kHalf>(p), every<kHalf>(p + kLanes * kHalf));
    }
}

template <size_t kStep>
void gather_step(const int16_t *src, size_t count, int16_t *out)
{
    // Each block reads kStep - 1 samples past its last one: only while a
    // later sample is still to be gathered.
    size_t i = 0;
    for (; i + kLanes < count; i += kLanes) {
        vst1q_s16(out + i, every<kStep>(src + i * kStep));
    }
    gather_scalar(src + i * kStep, kStep, count - i, out + i);
}

// out[t * P + r] = v[r][t] for r < P, t < 8.
template <size_t P>
void interleave(const int16x8_t *v, int16_t *out)
{
    // Named structures: clang's structure stores are macros, which take no
    // braced list as an argument.
    if constexpr (P == 2) {
        const int16x8x2_t rows{{v[0], v[1]}};
        vst2q_s16(out, rows);
    } else if constexpr (P == 3) {
        const int16x8x3_t rows{{v[0], v[1], v[2]}};
        vst3q_s16(out, rows);
    } else if constexpr (P == 4) {
        const int16x8x4_t rows{{v[0], v[1], v[2], v[3]}};
        vst4q_s16(out, rows);
    } else {
        // Row r zipped with row r + P / 2 alternates the two as the outputs
        // do, so a store by P / 2 of the zipped rows is one by P.
        static_assert(P % 2 == 0, "an odd class count has no structure store");
        constexpr size_t kHalf = P / 2;
        int16x8_t low[kHalf], high[kHalf];
        for (size_t r = 0; r < kHalf; ++r) {
            low[r] = vzip1q_s16(v[r], v[r + kHalf]);
            high[r] = vzip2q_s16(v[r], v[r + kHalf]);
        }
        interleave<kHalf>(low, out);
        interleave<kHalf>(high, out + kLanes * kHalf);
    }
}

template <size_t P>
void spread_classes(const int16_t *rows, size_t row_length, size_t count, int16_t *out)
{
    // Whole blocks only, so a block reads no sample it does not store.
    size_t t = 0;
    for (; (t + kLanes) * P <= count; t += kLanes) {
        int16x8_t v[P];
        for (size_t r = 0; r < P; ++r) {
            v[r] = vld1q_s16(rows + r * row_length + t);
        }
        interleave<P>(v, out + t * P);
    }
    spread_scalar(rows + t, row_length, P, count - t * P, out + t * P);
}

}  // namespace

void gather_neon(const int16_t *src, size_t step, size_t count, int16_t *out)
{
    switch (step) {
    case 2: gather_step<2>(src, count, out); break;
    case 3: gather_step<3>(src, count, out); break;
    case 4: gather_step<4>(src, count, out); break;
    case 6: gather_step<6>(src, count, out); break;
    case 8: gather_step<8>(src, count, out); break;
    default: gather_scalar(src, step, count, out); break;
    }
}

void spread_neon(const int16_t *rows, size_t row_length, size_t classes, size_t count, int16_t *out)
{
    switch (classes) {
    case 2: spread_classes<2>(rows, row_length, count, out); break;
    case 3: spread_classes<3>(rows, row_length, count, out); break;
    case 4: spread_classes<4>(rows, row_length, count, out); break;
    case 6: spread_classes<6>(rows, row_length, count, out); break;
    case 8: spread_classes<8>(rows, row_length, count, out); break;
    default: spread_scalar(rows, row_length, classes, count, out); break;
    }
}

}  // namespace corvane::polyphase

#endif  // CORVANE_NEON_PATHS
