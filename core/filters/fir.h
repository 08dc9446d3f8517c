/*
 * corvane streaming FIR filters, callable from any native program.
 *
 * fir_q15: out[i] = narrow_q15(sum over j < ntaps of taps[j] * x[i - j], s),
 * the sum exact in 64 bits. Samples before x[0] come from `history`, the
 * ntaps - 1 samples that preceded x, oldest first, or are zero when history
 * is NULL; the last ntaps - 1 samples of history followed by x are the
 * history of the next block, so a signal cut into blocks of any sizes gives
 * the one-pass output.
 *
 * fir_q8: the same with int8 samples and taps, the sum of Q14 products
 * wrapping at 32 bits as dot_q8 does, narrowed by narrow_q8.
 *
 * fir_q15_modes / fir_q8_modes: the same, each sum narrowed by
 * narrow_q15_modes / narrow_q8_modes (rounding.h) in the given modes.
 *
 * ntaps >= 1. `out` may be x itself; otherwise it must not overlap x
 * (history and taps are read once, before anything is written). Samples
 * may sit at any address. Returns 0, or -1 when the scratch memory cannot
 * be had (nothing is written then).
 */
#ifndef CORVANE_FIR_H
#define CORVANE_FIR_H

#include "fixedpoint.h"

#ifdef __cplusplus
extern "C" {
#endif

CORVANE_API int fir_q15(const int16_t *x, size_t n, const int16_t *taps, size_t ntaps,
                        const int16_t *history, int16_t *out, int s);
CORVANE_API int fir_q8(const int8_t *x, size_t n, const int8_t *taps, size_t ntaps,
                       const int8_t *history, int8_t *out, int s);
CORVANE_API int fir_q15_modes(const int16_t *x, size_t n, const int16_t *taps, size_t ntaps,
                              const int16_t *history, int16_t *out, int s, int rounding, int overflow);
CORVANE_API int fir_q8_modes(const int8_t *x, size_t n, const int8_t *taps, size_t ntaps,
                             const int8_t *history, int8_t *out, int s, int rounding, int overflow);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_FIR_H */
