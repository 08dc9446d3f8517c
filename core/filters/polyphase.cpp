// Polyphase filters: the plan (the taps split into plain FIRs per phase and
// sub-phase, polyphase_paths.h) and the driver that gathers each plain FIR's
// inputs into a window, runs a sums path on it, adds the sub-phases and
// narrows the kept outputs in order.
#include <cstdlib>
#include <cstring>
#include <new>
#include <numeric>

#include "dispatch.h"
#include "narrow.h"
#include "polyphase_paths.h"
#include "rounding.h"
#include "sample_rules.h"

namespace corvane::polyphase {

namespace {

// Kept outputs per pass, over all classes: the windows and sums stay in the
// first-level cache.
constexpr size_t kChunkOutputs = 2048;
constexpr size_t kLocalScratchBytes = 16384;

constexpr size_t round_up(size_t n, size_t m) { return (n + m - 1) / m * m; }

template <typename T>
upfirdn_plan *make_plan(const T *taps, size_t ntaps, size_t up, size_t down)
{
    auto *plan = new (std::nothrow) upfirdn_plan;
    if (plan == nullptr) {
        return nullptr;
    }
    try {
        const size_t g = std::gcd(up, down);
        plan->up = up;
        plan->down = down;
        plan->classes = up / g;
        plan->stride = down / g;
        plan->history = (ntaps + up - 1) / up - 1;
        plan->widest = 0;
        struct Sub {
            size_t offset, count, taps_at, pairs_at;
        };
        std::vector<Sub> subs;
        size_t taps_count = 0, pairs_count = 0;
        plan->first.assign(up + 1, 0);
        for (size_t r = 0; r < up; ++r) {
            plan->first[r] = subs.size();
            const size_t phase_taps = r < ntaps ? (ntaps - r + up - 1) / up : 0;
            for (size_t p = 0; p < plan->stride && p < phase_taps; ++p) {
                const size_t count = (phase_taps - p + plan->stride - 1) / plan->stride;
                const size_t pairs = (count + 1) / 2;
                subs.push_back({p, count, taps_count, pairs_count});
                taps_count += 2 * pairs;
                pairs_count += pairs;
                plan->widest = pairs > plan->widest ? pairs : plan->widest;
            }
        }
        plan->first[up] = subs.size();
        plan->taps.assign(taps_count, 0);
        plan->hi_pairs.assign(pairs_count, 0);
        plan->lo_pairs.assign(pairs_count, 0);
        for (size_t r = 0; r < up; ++r) {
            for (size_t e = plan->first[r]; e < plan->first[r + 1]; ++e) {
                const Sub &sub = subs[e];
                int16_t *dst = plan->taps.data() + sub.taps_at;
                for (size_t s = 0; s < sub.count; ++s) {
                    dst[s] = load(taps + r + (sub.offset + s * plan->stride) * up);
                }
                const size_t pairs = (sub.count + 1) / 2;
                fir::pack_pairs(dst, pairs, plan->hi_pairs.data() + sub.pairs_at, plan->lo_pairs.data() + sub.pairs_at);
                plan->subs.push_back({dst, sub.count, plan->hi_pairs.data() + sub.pairs_at,
                                      plan->lo_pairs.data() + sub.pairs_at, pairs});
                plan->offsets.push_back(sub.offset);
            }
        }
    } catch (const std::bad_alloc &) {
        delete plan;
        return nullptr;
    }
    return plan;
}

size_t outputs(const upfirdn_plan &plan, size_t n, size_t phase)
{
    const size_t end = n * plan.up;
    return end > phase ? (end - phase + plan.down - 1) / plan.down : 0;
}

// w[i] = x[base + (i - past) * step] for i < past + count, the inputs before
// x[0] from the history (zero beyond it), and zeros after up to `padded`.
template <typename T>
void gather(const T *x, const T *history, size_t held, ptrdiff_t base, size_t step, size_t past, size_t count,
            size_t padded, int16_t *w)
{
    const size_t total = past + count;
    const auto at = [&](size_t i) { return base + (static_cast<ptrdiff_t>(i) - static_cast<ptrdiff_t>(past)) * static_cast<ptrdiff_t>(step); };
    size_t i = 0;
    for (; i < total && at(i) < 0; ++i) {
        const ptrdiff_t back = -at(i);
        w[i] = history != nullptr && back <= static_cast<ptrdiff_t>(held) ? load(history + held - back) : 0;
    }
    if (i < total) {
        const T *src = x + at(i);
        if constexpr (sizeof(T) == sizeof(int16_t)) {
            if (step == 1) {
                std::memcpy(w + i, src, (total - i) * sizeof(int16_t));
                i = total;
            }
        }
        for (size_t k = 0; i < total; ++i, ++k) {
            w[i] = load(src + k * step);
        }
    }
    std::memset(w + total, 0, (past + padded - total) * sizeof(int16_t));
}

// The last `held` samples of [history, x] become the history.
template <typename T>
void keep_history(T *history, size_t held, const T *x, size_t n)
{
    if (n >= held) {
        std::memcpy(history, x + (n - held), held * sizeof(T));
        return;
    }
    std::memmove(history, history + n, (held - n) * sizeof(T));
    std::memcpy(history + (held - n), x, n * sizeof(T));
}

struct Scratch {
    void *memory = nullptr;
    int16_t *window = nullptr;
    int64_t *acc = nullptr;
    int64_t *part = nullptr;
    int64_t *all = nullptr;

    bool allocate(size_t window_count, size_t padded, size_t all_count, void *local, size_t local_bytes)
    {
        const size_t bytes = (2 * padded + all_count) * sizeof(int64_t) + window_count * sizeof(int16_t);
        void *area = local;
        if (bytes > local_bytes) {
            area = memory = std::malloc(bytes);
            if (memory == nullptr) {
                return false;
            }
        }
        acc = static_cast<int64_t *>(area);
        part = acc + padded;
        all = part + padded;
        window = reinterpret_cast<int16_t *>(all + all_count);
        return true;
    }
    ~Scratch() { std::free(memory); }
};

// Sums of `count` outputs of one class: phase r, first input q0.
template <typename T>
void class_sums(fir::SumsFn sums, const upfirdn_plan &plan, const T *x, const T *history, size_t q0, size_t r,
                size_t count, size_t padded, const Scratch &s)
{
    bool first = true;
    for (size_t e = plan.first[r]; e < plan.first[r + 1]; ++e) {
        const fir::Taps &t = plan.subs[e];
        const size_t past = 2 * t.pairs - 1;
        gather(x, history, plan.history, static_cast<ptrdiff_t>(q0) - static_cast<ptrdiff_t>(plan.offsets[e]),
               plan.stride, past, count, padded, s.window);
        int64_t *dst = first ? s.acc : s.part;
        sums(s.window + past, count, t, dst);
        if (!first) {
            for (size_t i = 0; i < count; ++i) {
                s.acc[i] += s.part[i];
            }
        }
        first = false;
    }
    if (first) {
        std::memset(s.acc, 0, count * sizeof(int64_t));
    }
}

// Finish turns `count` sums into out[0 .. count).
template <typename T, typename Finish>
int run(fir::SumsFn sums, const upfirdn_plan &plan, const T *x, size_t n, T *history, size_t phase, T *out,
        Finish finish)
{
    const size_t total = outputs(plan, n, phase);
    const size_t classes = plan.classes;
    if (total > 0) {
        const size_t per_class_max = kChunkOutputs / classes > 0 ? kChunkOutputs / classes : 1;
        const size_t needed = (total + classes - 1) / classes;
        const size_t per_class = needed < per_class_max ? needed : per_class_max;
        const size_t padded = round_up(per_class, fir::kMaxBlock);
        const size_t chunk = classes * per_class;
        alignas(64) unsigned char local[kLocalScratchBytes];
        Scratch s;
        if (!s.allocate(2 * plan.widest + padded, padded, classes > 1 ? chunk : 0, local, sizeof local)) {
            return -1;
        }
        for (size_t j0 = 0; j0 < total; j0 += chunk) {
            const size_t count = total - j0 < chunk ? total - j0 : chunk;
            int64_t *all = classes > 1 ? s.all : s.acc;
            for (size_t c = 0; c < classes && c < count; ++c) {
                const size_t in_class = (count - c + classes - 1) / classes;
                const size_t k = phase + (j0 + c) * plan.down;
                class_sums(sums, plan, x, history, k / plan.up, k % plan.up, in_class, padded, s);
                if (classes > 1) {
                    for (size_t t = 0; t < in_class; ++t) {
                        all[c + t * classes] = s.acc[t];
                    }
                }
            }
            finish(all, count, out + j0);
        }
    }
    if (history != nullptr) {
        keep_history(history, plan.history, x, n);
    }
    return 0;
}

}  // namespace

int run_q15(fir::SumsFn sums, const upfirdn_plan &plan, const int16_t *x, size_t n, int16_t *history,
            size_t phase, int16_t *out, int s, int rounding, int overflow)
{
    // The default modes are those of narrow_q15, which has vector paths.
    const bool plain = rounding == CORVANE_ROUND_NEAREST && overflow == CORVANE_OVERFLOW_SATURATE;
    auto finish = [=](const int64_t *v, size_t count, int16_t *dst) {
        if (plain) {
            narrow_q15(v, count, dst, s);
        } else {
            narrow_q15_modes(v, count, dst, s, rounding, overflow);
        }
    };
    return run(sums, plan, x, n, history, phase, out, finish);
}

// The Q14 sums wrap at 32 bits, as dot_q8 does, before they are narrowed.
int run_q8(fir::SumsFn sums, const upfirdn_plan &plan, const int8_t *x, size_t n, int8_t *history,
           size_t phase, int8_t *out, int s, int rounding, int overflow)
{
    auto finish = [=](int64_t *v, size_t count, int8_t *dst) {
        for (size_t i = 0; i < count; ++i) {
            v[i] = static_cast<int32_t>(v[i]);
        }
        narrow_q8_modes(v, count, dst, s, rounding, overflow);
    };
    return run(sums, plan, x, n, history, phase, out, finish);
}

}  // namespace corvane::polyphase

namespace {

corvane::fir::SumsFn chosen_sums()
{
    static const corvane::fir::SumsFn fn =
        corvane::polyphase::kSumsPaths[corvane::first_supported(corvane::polyphase::kSumsPaths)].fn;
    return fn;
}

}  // namespace

extern "C" {

upfirdn_plan *upfirdn_plan_q15(const int16_t *taps, size_t ntaps, size_t up, size_t down)
{
    return corvane::polyphase::make_plan(taps, ntaps, up, down);
}

upfirdn_plan *upfirdn_plan_q8(const int8_t *taps, size_t ntaps, size_t up, size_t down)
{
    return corvane::polyphase::make_plan(taps, ntaps, up, down);
}

void upfirdn_plan_free(upfirdn_plan *plan) { delete plan; }

size_t upfirdn_history(const upfirdn_plan *plan) { return plan->history; }

size_t upfirdn_outputs(const upfirdn_plan *plan, size_t n, size_t phase)
{
    return corvane::polyphase::outputs(*plan, n, phase);
}

size_t upfirdn_next_phase(const upfirdn_plan *plan, size_t n, size_t phase)
{
    return phase + corvane::polyphase::outputs(*plan, n, phase) * plan->down - n * plan->up;
}

int upfirdn_q15(const upfirdn_plan *plan, const int16_t *x, size_t n, int16_t *history, size_t phase,
                int16_t *out, int s, int rounding, int overflow)
{
    return corvane::polyphase::run_q15(chosen_sums(), *plan, x, n, history, phase, out, s, rounding, overflow);
}

int upfirdn_q8(const upfirdn_plan *plan, const int8_t *x, size_t n, int8_t *history, size_t phase, int8_t *out,
               int s, int rounding, int overflow)
{
    return corvane::polyphase::run_q8(chosen_sums(), *plan, x, n, history, phase, out, s, rounding, overflow);
}

}  // extern "C"
