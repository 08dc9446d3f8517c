/*
 * corvane accumulators: a running-sum register in a small heap record, driven
 * by single samples, blocks or multiply-accumulate, and snapshotted to a fixed
 * little-endian blob.
 *
 *  - acc_q15_t holds a signed 64-bit register, acc_q8_t a signed 32-bit one;
 *    both wrap in two's complement and never saturate;
 *  - create returns NULL only when the allocator fails; destroy accepts NULL;
 *    every other operation trusts its record pointer;
 *  - block operations follow the kernel contract of fixedpoint.h: a count of 0
 *    reads nothing (the pointer may be null), madd uses min(len_a, len_b) pairs
 *    and adds exactly what dot_q15/dot_q8 return for the same buffers;
 *  - get_state writes the whole blob (24 bytes for Q15, 20 for Q8); set_state
 *    returns 0, or -4 for a foreign header and leaves the record untouched.
 */
#ifndef CORVANE_ACCUMULATOR_H
#define CORVANE_ACCUMULATOR_H

#include <stddef.h>
#include <stdint.h>

#ifndef CORVANE_API
#if defined(__GNUC__)
#define CORVANE_API __attribute__((visibility("default")))
#else
#define CORVANE_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct acc_q15_t {
    int64_t acc;
} acc_q15_t;

typedef struct acc_q8_t {
    int32_t acc;
} acc_q8_t;

/* The register wraps, so the addition goes through the unsigned type: signed
 * overflow would be undefined. */
static inline void acc_q15_step(acc_q15_t *acc, int16_t x)
{
    acc->acc = (int64_t)((uint64_t)acc->acc + (uint64_t)(int64_t)x);
}

static inline void acc_q8_step(acc_q8_t *acc, int8_t x)
{
    acc->acc = (int32_t)((uint32_t)acc->acc + (uint32_t)(int32_t)x);
}

CORVANE_API acc_q15_t *acc_q15_create(int64_t initial);
CORVANE_API void acc_q15_destroy(acc_q15_t *acc);
CORVANE_API void acc_q15_reset(acc_q15_t *acc);
CORVANE_API void acc_q15_steps(acc_q15_t *acc, const int16_t *x, size_t len_x);
CORVANE_API int64_t acc_q15_get_acc(const acc_q15_t *acc);
CORVANE_API void acc_q15_set_acc(acc_q15_t *acc, int64_t value);
CORVANE_API int64_t acc_q15_get(const acc_q15_t *acc);
CORVANE_API int64_t acc_q15_dump(acc_q15_t *acc);
CORVANE_API void acc_q15_madd(acc_q15_t *acc, const int16_t *a, size_t len_a,
                              const int16_t *b, size_t len_b);

CORVANE_API acc_q8_t *acc_q8_create(int32_t initial);
CORVANE_API void acc_q8_destroy(acc_q8_t *acc);
CORVANE_API void acc_q8_reset(acc_q8_t *acc);
CORVANE_API void acc_q8_steps(acc_q8_t *acc, const int8_t *x, size_t len_x);
CORVANE_API int32_t acc_q8_get_acc(const acc_q8_t *acc);
CORVANE_API void acc_q8_set_acc(acc_q8_t *acc, int32_t value);
CORVANE_API int32_t acc_q8_get(const acc_q8_t *acc);
CORVANE_API int32_t acc_q8_dump(acc_q8_t *acc);
CORVANE_API void acc_q8_madd(acc_q8_t *acc, const int8_t *a, size_t len_a,
                             const int8_t *b, size_t len_b);

/* State blob: 16-byte header (magic, version 1, marker 1, pad, total length,
 * reserved) followed by the register, all little-endian. */
CORVANE_API size_t acc_q15_state_bytes(void);
CORVANE_API void acc_q15_get_state(const acc_q15_t *acc, void *blob);
CORVANE_API int acc_q15_set_state(acc_q15_t *acc, const void *blob);
CORVANE_API size_t acc_q8_state_bytes(void);
CORVANE_API void acc_q8_get_state(const acc_q8_t *acc, void *blob);
CORVANE_API int acc_q8_set_state(acc_q8_t *acc, const void *blob);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_ACCUMULATOR_H */
