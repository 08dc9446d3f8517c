/*
 * corvane biquad cascades: second-order sections in direct form I on Q15
 * samples, callable from any native program.
 *
 * Each section k has the row sos[6k .. 6k+5] = b0, b1, b2, a0, a1, a2 with
 * a0 = 2^f (0 <= f <= 15) and the other five in the int16 range, and runs
 *   acc  = b0*x[n] + b1*x[n-1] + b2*x[n-2] - a1*y[n-1] - a2*y[n-2]
 *   y[n] = narrow(acc, f)   (rounding.h: the given rounding and overflow)
 * with acc exact (CORVANE_ACC_EXACT; it needs 34 bits) or wrapped to 32
 * bits first (CORVANE_ACC_INT32, as a 32-bit multiply-accumulate register).
 * Its y is the next section's x.
 *
 * x holds n samples of `channels` interleaved channels (sample i of channel
 * c at x[i * channels + c]); out has the same layout and may be x itself,
 * otherwise it must not overlap x. `state` holds, for section k, channel c,
 * state[(4k + j) * channels + c] = x[-1], x[-2], y[-1], y[-2] (j = 0..3)
 * and is left holding those of the next block, so a signal cut into blocks
 * of any sizes gives the one-pass output. Samples may sit at any address.
 *
 * sosfilt_q15 returns 0, or -1 when a coefficient or a mode is invalid
 * (nothing is written then); sos_check_q15 finds the first invalid
 * coefficient: it returns its index row * 6 + column, or -1 when all are valid.
 */
#ifndef CORVANE_BIQUAD_H
#define CORVANE_BIQUAD_H

#include "fixedpoint.h"

#ifdef __cplusplus
extern "C" {
#endif

enum corvane_accumulator {
    CORVANE_ACC_EXACT = 0,
    CORVANE_ACC_INT32 = 1,
};

#define CORVANE_SOS_MAX_FRAC 15

CORVANE_API long sos_check_q15(const int32_t *sos, size_t n_sections);
CORVANE_API int sosfilt_q15(const int16_t *x, size_t n, size_t channels, const int32_t *sos, size_t n_sections,
                            int16_t *state, int16_t *out, int rounding, int overflow, int accumulator);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_BIQUAD_H */
