// Running-sum registers: record lifetime, reads and writes, block step, madd.
#include <cstdlib>

#include "accumulator.h"
#include "dispatch.h"
#include "fixedpoint.h"

using namespace corvane;

namespace {

inline int64_t wrapping_add(int64_t acc, uint64_t amount)
{
    return static_cast<int64_t>(static_cast<uint64_t>(acc) + amount);
}

inline int32_t wrapping_add(int32_t acc, uint32_t amount)
{
    return static_cast<int32_t>(static_cast<uint32_t>(acc) + amount);
}

template <typename Record>
Record *create_record(decltype(Record::acc) initial)
{
    auto *rec = static_cast<Record *>(std::calloc(1, sizeof(Record)));
    if (rec != nullptr) {
        rec->acc = initial;
    }
    return rec;
}

}  // namespace

extern "C" {

acc_q15_t *acc_q15_create(int64_t initial) { return create_record<acc_q15_t>(initial); }

void acc_q15_destroy(acc_q15_t *acc) { std::free(acc); }

void acc_q15_reset(acc_q15_t *acc) { acc->acc = 0; }

void acc_q15_steps(acc_q15_t *acc, const int16_t *x, size_t len_x)
{
    acc->acc = wrapping_add(acc->acc, static_cast<uint64_t>(Chosen<kSumQ15Paths>::call(len_x * sizeof *x, x, len_x)));
}

int64_t acc_q15_get_acc(const acc_q15_t *acc) { return acc->acc; }

void acc_q15_set_acc(acc_q15_t *acc, int64_t value) { acc->acc = value; }

int64_t acc_q15_get(const acc_q15_t *acc) { return acc->acc; }

int64_t acc_q15_dump(acc_q15_t *acc)
{
    int64_t value = acc->acc;
    acc->acc = 0;
    return value;
}

// The inner product kernel is the one definition of the amount added.
void acc_q15_madd(acc_q15_t *acc, const int16_t *a, size_t len_a, const int16_t *b, size_t len_b)
{
    acc->acc = wrapping_add(acc->acc, static_cast<uint64_t>(dot_q15(a, len_a, b, len_b)));
}

acc_q8_t *acc_q8_create(int32_t initial) { return create_record<acc_q8_t>(initial); }

void acc_q8_destroy(acc_q8_t *acc) { std::free(acc); }

void acc_q8_reset(acc_q8_t *acc) { acc->acc = 0; }

void acc_q8_steps(acc_q8_t *acc, const int8_t *x, size_t len_x)
{
    acc->acc = wrapping_add(acc->acc, static_cast<uint32_t>(Chosen<kSumQ8Paths>::call(len_x * sizeof *x, x, len_x)));
}

int32_t acc_q8_get_acc(const acc_q8_t *acc) { return acc->acc; }

void acc_q8_set_acc(acc_q8_t *acc, int32_t value) { acc->acc = value; }

int32_t acc_q8_get(const acc_q8_t *acc) { return acc->acc; }

int32_t acc_q8_dump(acc_q8_t *acc)
{
    int32_t value = acc->acc;
    acc->acc = 0;
    return value;
}

void acc_q8_madd(acc_q8_t *acc, const int8_t *a, size_t len_a, const int8_t *b, size_t len_b)
{
    acc->acc = wrapping_add(acc->acc, static_cast<uint32_t>(dot_q8(a, len_a, b, len_b)));
}

}  // extern "C"
