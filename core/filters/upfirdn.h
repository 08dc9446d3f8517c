/*
 * corvane polyphase filters: upsample, filter, downsample, callable from any
 * native program.
 *
 * With u the input with up - 1 zeros after every sample (u[k * up] = x[k]),
 * v[k] = sum over j < ntaps of taps[j] * u[k - j], exact in 64 bits, and the
 * output y[m] = narrow(v[m * down], s, rounding, overflow) for every m with
 * m * down < len(x) * up: the stream's timing, not the full convolution.
 * Only the kept outputs and the products with a nonzero u sample are
 * formed, about ntaps / up multiply-adds per output.
 *
 * A plan holds the taps split into their phases, made once per filter. A
 * block of the stream is filtered with the state of the stream so far:
 *   history: the last upfirdn_history(plan) inputs before the block, oldest
 *            first; they are replaced by those of the next block. NULL
 *            means zeros (the start of a stream) and nothing is kept.
 *   phase:   m * down - k0 * up for the block's first output m and first
 *            input k0, in 0 .. down - 1; 0 at the start of a stream.
 * A block of n inputs gives upfirdn_outputs(plan, n, phase) outputs and
 * leaves upfirdn_next_phase(plan, n, phase) for the next block, so that a
 * signal cut into blocks of any sizes gives the one-pass output.
 *
 * Q8: samples and taps are int8 and the sum of Q14 products wraps at 32
 * bits as dot_q8 does before it is narrowed. The modes are those of
 * rounding.h. Samples may sit at any address; `out` must not overlap x or
 * history. The run functions return 0, or -1 when the scratch memory cannot
 * be had (nothing is written then); the constructors return NULL then.
 */
#ifndef CORVANE_UPFIRDN_H
#define CORVANE_UPFIRDN_H

#include "fixedpoint.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct upfirdn_plan upfirdn_plan;

/* ntaps >= 1, up >= 1, down >= 1. */
CORVANE_API upfirdn_plan *upfirdn_plan_q15(const int16_t *taps, size_t ntaps, size_t up, size_t down);
CORVANE_API upfirdn_plan *upfirdn_plan_q8(const int8_t *taps, size_t ntaps, size_t up, size_t down);
CORVANE_API void upfirdn_plan_free(upfirdn_plan *plan);

CORVANE_API size_t upfirdn_history(const upfirdn_plan *plan);
CORVANE_API size_t upfirdn_outputs(const upfirdn_plan *plan, size_t n, size_t phase);
CORVANE_API size_t upfirdn_next_phase(const upfirdn_plan *plan, size_t n, size_t phase);

CORVANE_API int upfirdn_q15(const upfirdn_plan *plan, const int16_t *x, size_t n, int16_t *history,
                            size_t phase, int16_t *out, int s, int rounding, int overflow);
CORVANE_API int upfirdn_q8(const upfirdn_plan *plan, const int8_t *x, size_t n, int8_t *history,
                           size_t phase, int8_t *out, int s, int rounding, int overflow);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_UPFIRDN_H */
