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

// a / b and a % b for the bookkeeping of each call: most plans divide by 1
// somewhere (every plain filter, interpolator and decimator), and a 64-bit
// division costs more than the rest of a short block's bookkeeping.
constexpr size_t quotient(size_t a, size_t b) { return b == 1 ? a : a / b; }
constexpr size_t remainder(size_t a, size_t b) { return b == 1 ? 0 : a % b; }
constexpr size_t quotient_up(size_t a, size_t b) { return b == 1 ? a : (a + b - 1) / b; }

// The DecimatingTaps of a plan that decimates by an even factor with small
// enough taps; others keep down = 0.
template <typename T>
void lay_out_decimating(const T *taps, size_t ntaps, upfirdn_plan &plan)
{
    constexpr size_t kLanes = kDecimatingRowLanes;
    const size_t lanes_per_output = plan.down / 2;
    if (plan.up != 1 || plan.down % 2 != 0 || plan.down > kMaxDecimatingDown || kLanes % lanes_per_output != 0) {
        return;
    }
    const size_t pairs = (ntaps + 1) / 2;
    std::vector<int16_t> padded(2 * pairs, 0);
    for (size_t j = 0; j < ntaps; ++j) {
        padded[j] = load(taps + j);
    }
    const size_t per_lane = fir::whole_per_lane(padded.data(), ntaps);
    if (per_lane == 0) {
        return;
    }
    // Pair j sits in row ceil(j / E), in lane e = E * row - j.
    const size_t rows = (pairs - 1 + lanes_per_output - 1) / lanes_per_output + 1;
    plan.decimating_lanes.assign(rows * kLanes, 0);
    for (size_t j = 0; j < pairs; ++j) {
        const size_t r = (j + lanes_per_output - 1) / lanes_per_output, e = lanes_per_output * r - j;
        const int32_t pair = fir::whole_pair(padded[2 * j], padded[2 * j + 1]);
        for (size_t l = e; l < kLanes; l += lanes_per_output) {
            plan.decimating_lanes[r * kLanes + l] = pair;
        }
    }
    plan.decimating = {plan.down, rows, per_lane, (rows - 1) * plan.down + 1, plan.decimating_lanes.data()};
}

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
        plan->most_subs = 0;
        plan->reach = 0;
        struct Sub {
            size_t offset, count, taps_at, pairs_at;
        };
        std::vector<Sub> subs;
        // Each plain FIR has a tap: no more of them than taps.
        subs.reserve(ntaps < up * plan->stride ? ntaps : up * plan->stride);
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
                const size_t reach = p + (2 * pairs - 1) * plan->stride;
                plan->reach = reach > plan->reach ? reach : plan->reach;
            }
            const size_t count = subs.size() - plan->first[r];
            plan->most_subs = count > plan->most_subs ? count : plan->most_subs;
        }
        plan->first[up] = subs.size();
        plan->subs.reserve(subs.size());
        plan->sub_taps.reserve(subs.size());
        plan->offsets.reserve(subs.size());
        plan->taps.assign(taps_count, 0);
        plan->hi_pairs.assign(pairs_count, 0);
        plan->lo_pairs.assign(pairs_count, 0);
        plan->whole_pairs.assign(pairs_count, 0);
        for (size_t r = 0; r < up; ++r) {
            for (size_t e = plan->first[r]; e < plan->first[r + 1]; ++e) {
                const Sub &sub = subs[e];
                int16_t *dst = plan->taps.data() + sub.taps_at;
                for (size_t s = 0; s < sub.count; ++s) {
                    dst[s] = load(taps + r + (sub.offset + s * plan->stride) * up);
                }
                const size_t pairs = (sub.count + 1) / 2;
                fir::pack_pairs(dst, pairs, plan->hi_pairs.data() + sub.pairs_at, plan->lo_pairs.data() + sub.pairs_at,
                                plan->whole_pairs.data() + sub.pairs_at);
                plan->subs.push_back({dst, sub.count, plan->hi_pairs.data() + sub.pairs_at,
                                      plan->lo_pairs.data() + sub.pairs_at, pairs,
                                      plan->whole_pairs.data() + sub.pairs_at, fir::whole_per_lane(dst, sub.count)});
                plan->offsets.push_back(sub.offset);
            }
        }
        for (const fir::Taps &t : plan->subs) {
            plan->sub_taps.push_back(&t);
        }
        lay_out_decimating(taps, ntaps, *plan);
    } catch (const std::bad_alloc &) {
        delete plan;
        return nullptr;
    }
    return plan;
}

size_t outputs(const upfirdn_plan &plan, size_t n, size_t phase)
{
    const size_t end = n * plan.up;
    return end > phase ? quotient_up(end - phase, plan.down) : 0;
}

GatherFn chosen_gather()
{
    static const GatherFn fn = kGatherPaths[first_supported(kGatherPaths)].fn;
    return fn;
}

SpreadFn chosen_spread()
{
    static const SpreadFn fn = kSpreadPaths[first_supported(kSpreadPaths)].fn;
    return fn;
}

// w[i] = x[base + i * step] for i < count: the inputs before x[0] from the
// history (zero beyond it), those from x[n] on zero.
template <typename T>
void gather(const T *x, size_t n, const T *history, size_t held, ptrdiff_t base, size_t step, size_t count,
            int16_t *w)
{
    const auto at = [&](size_t i) { return base + static_cast<ptrdiff_t>(i * step); };
    size_t i = 0;
    if (step == 1 && base < 0) {
        // The plain FIR's case, once per block: its history in one copy.
        const size_t before = static_cast<size_t>(-base) < count ? static_cast<size_t>(-base) : count;
        const size_t unheld = history == nullptr ? before : (before > held ? before - held : 0);
        std::memset(w, 0, unheld * sizeof(int16_t));
        if (before > unheld) {
            const T *from = history + held - static_cast<size_t>(-at(unheld));
            if constexpr (sizeof(T) == sizeof(int16_t)) {
                std::memcpy(w + unheld, from, (before - unheld) * sizeof(int16_t));
            } else {
                for (size_t k = 0; k < before - unheld; ++k) {
                    w[unheld + k] = load(from + k);
                }
            }
        }
        i = before;
    }
    for (; i < count && at(i) < 0; ++i) {
        const ptrdiff_t back = -at(i);
        w[i] = history != nullptr && back <= static_cast<ptrdiff_t>(held) ? load(history + held - back) : 0;
    }
    // Inputs x[at(i)] .. x[n - 1], then zeros.
    size_t end = i;
    if (i < count && at(i) < static_cast<ptrdiff_t>(n)) {
        const size_t more = quotient(n - 1 - static_cast<size_t>(at(i)), step) + 1;
        end = count - i < more ? count : i + more;
        const T *src = x + at(i);
        if constexpr (sizeof(T) == sizeof(int16_t)) {
            if (step == 1) {
                std::memcpy(w + i, src, (end - i) * sizeof(int16_t));
            } else {
                chosen_gather()(src, step, end - i, w + i);
            }
        } else {
            for (size_t k = 0; i + k < end; ++k) {
                w[i + k] = load(src + k * step);
            }
        }
    }
    std::memset(w + end, 0, (count - end) * sizeof(int16_t));
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
    const int16_t **windows = nullptr;
    int64_t *acc = nullptr;
    int64_t *part = nullptr;
    int64_t *all = nullptr;  // one class narrowed, before it is spread

    bool allocate(size_t window_count, size_t subs, size_t padded, size_t all_count, void *local, size_t local_bytes)
    {
        const size_t bytes = (2 * padded + all_count) * sizeof(int64_t) + subs * sizeof(int16_t *) +
                             window_count * sizeof(int16_t);
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
        windows = reinterpret_cast<const int16_t **>(all + all_count);
        window = reinterpret_cast<int16_t *>(windows + subs);
        return true;
    }
    ~Scratch() { std::free(memory); }
};

// The inputs of one pass, every stride-th in `stride` streams: stream e
// holds x[lo + e + i * stride]. A window of a plain FIR is a place in one.
struct Streams {
    ptrdiff_t lo;
    size_t stride;
    size_t length;  // samples per stream
    int16_t *data;

    const int16_t *at(ptrdiff_t first) const
    {
        const size_t d = static_cast<size_t>(first - lo);
        return data + remainder(d, stride) * length + quotient(d, stride);
    }
};

// Sums of `count` outputs of one class: phase r, first input q0.
void class_sums(ClassSumsFn sums, const upfirdn_plan &plan, const Streams &in, size_t q0, size_t r, size_t count,
                const Scratch &s)
{
    const size_t first = plan.first[r], subs = plan.first[r + 1] - first;
    for (size_t k = 0; k < subs; ++k) {
        s.windows[k] = in.at(static_cast<ptrdiff_t>(q0) - static_cast<ptrdiff_t>(plan.offsets[first + k]));
    }
    sums(s.windows, plan.sub_taps.data() + first, subs, count, s.acc, s.part);
}

// A decimating filter with DecimatingTaps: each pass sums straight over the
// inputs where its reads stay inside x (Q15), else over a copy of them with
// the history in front and zeros after.
template <typename T, typename Finish>
int run_decimating(DecimatingSumsFn sums, const upfirdn_plan &plan, const T *x, size_t n, T *history,
                   size_t phase, T *out, Finish finish)
{
    const size_t total = outputs(plan, n, phase);
    if (total > 0) {
        const size_t chunk = total < kChunkOutputs ? total : kChunkOutputs;
        const size_t padded = round_up(chunk, fir::kMaxBlock);
        const size_t reach = plan.decimating.reach;
        const size_t length = reach + padded * plan.down;
        alignas(64) unsigned char local[kLocalScratchBytes];
        Scratch s;
        if (!s.allocate(length, 0, padded, 0, local, sizeof local)) {
            return -1;
        }
        for (size_t j0 = 0; j0 < total; j0 += chunk) {
            const size_t count = total - j0 < chunk ? total - j0 : chunk;
            const size_t newest = phase + j0 * plan.down;
            const bool inside = newest >= reach && newest + round_up(count, fir::kMaxBlock) * plan.down <= n;
            if constexpr (sizeof(T) == sizeof(int16_t)) {
                if (inside) {
                    sums(x + newest, count, plan.decimating, s.acc);
                    finish(s.acc, count, out + j0);
                    continue;
                }
            }
            gather(x, n, history, plan.history, static_cast<ptrdiff_t>(newest) - static_cast<ptrdiff_t>(reach), 1,
                   length, s.window);
            sums(s.window + reach, count, plan.decimating, s.acc);
            finish(s.acc, count, out + j0);
        }
    }
    if (history != nullptr) {
        keep_history(history, plan.history, x, n);
    }
    return 0;
}

// Finish turns `count` sums into out[0 .. count).
template <typename T, typename Finish>
int run(ClassSumsFn sums, DecimatingSumsFn decimating, const upfirdn_plan &plan, const T *x, size_t n, T *history,
        size_t phase, T *out, Finish finish)
{
    if (decimating != nullptr && plan.decimating.down != 0) {
        return run_decimating(decimating, plan, x, n, history, phase, out, finish);
    }
    const size_t total = outputs(plan, n, phase);
    const size_t classes = plan.classes;
    if (total > 0) {
        const size_t per_class_max = classes < kChunkOutputs ? quotient(kChunkOutputs, classes) : 1;
        const size_t needed = quotient_up(total, classes);
        const size_t per_class = needed < per_class_max ? needed : per_class_max;
        const size_t padded = round_up(per_class, fir::kMaxBlock);
        const size_t chunk = classes * per_class;
        // A pass reads from `reach` before its first class's first input
        // to a padded block past its last class's first input.
        const size_t spread = quotient((classes - 1) * plan.down, plan.up) + 1;
        const size_t length = quotient_up(plan.reach, plan.stride) + spread + padded + 1;
        // Q15 outputs of a few classes are narrowed into a row per class and
        // spread by a vector path; others one class at a time, in place.
        const bool by_rows = sizeof(T) == sizeof(int16_t) && classes > 1 && classes <= kMaxVectorClasses;
        const size_t row_length = per_class + kSpreadPad;
        const size_t all_count = by_rows ? (classes * row_length * sizeof(T) + 7) / 8 : (classes > 1 ? padded : 0);
        alignas(64) unsigned char local[kLocalScratchBytes];
        Scratch s;
        if (!s.allocate(plan.stride * length, plan.most_subs, padded, all_count, local, sizeof local)) {
            return -1;
        }
        for (size_t j0 = 0; j0 < total; j0 += chunk) {
            const size_t count = total - j0 < chunk ? total - j0 : chunk;
            const size_t q_first = quotient(phase + j0 * plan.down, plan.up);
            const Streams in{static_cast<ptrdiff_t>(q_first) - static_cast<ptrdiff_t>(plan.reach), plan.stride,
                             length, s.window};
            for (size_t e = 0; e < plan.stride; ++e) {
                gather(x, n, history, plan.history, in.lo + static_cast<ptrdiff_t>(e), plan.stride, length,
                       s.window + e * length);
            }
            for (size_t c = 0; c < classes && c < count; ++c) {
                const size_t in_class = quotient_up(count - c, classes);
                const size_t k = phase + (j0 + c) * plan.down;
                class_sums(sums, plan, in, quotient(k, plan.up), remainder(k, plan.up), in_class, s);
                if (classes == 1) {
                    finish(s.acc, in_class, out + j0);
                    continue;
                }
                // Narrowed while the sums are in cache, then spread to
                // every classes-th output.
                T *narrowed = reinterpret_cast<T *>(s.all) + (by_rows ? c * row_length : 0);
                finish(s.acc, in_class, narrowed);
                if (by_rows) {
                    continue;
                }
                T *dst = out + j0 + c;
                for (size_t t = 0; t < in_class; ++t) {
                    store(dst + t * classes, narrowed[t]);
                }
            }
            if constexpr (sizeof(T) == sizeof(int16_t)) {
                if (by_rows) {
                    chosen_spread()(reinterpret_cast<const int16_t *>(s.all), row_length, classes, count, out + j0);
                }
            }
        }
    }
    if (history != nullptr) {
        keep_history(history, plan.history, x, n);
    }
    return 0;
}

}  // namespace

void gather_scalar(const int16_t *src, size_t step, size_t count, int16_t *out)
{
    for (size_t i = 0; i < count; ++i) {
        store(out + i, load(src + i * step));
    }
}

void spread_scalar(const int16_t *rows, size_t row_length, size_t classes, size_t count, int16_t *out)
{
    for (size_t i = 0; i < count; ++i) {
        store(out + i, rows[(i % classes) * row_length + i / classes]);
    }
}

int run_q15(ClassSumsFn sums, DecimatingSumsFn decimating, const upfirdn_plan &plan, const int16_t *x, size_t n,
            int16_t *history, size_t phase, int16_t *out, int s, int rounding, int overflow)
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
    return run(sums, decimating, plan, x, n, history, phase, out, finish);
}

// The Q14 sums wrap at 32 bits, as dot_q8 does, before they are narrowed.
int run_q8(ClassSumsFn sums, DecimatingSumsFn decimating, const upfirdn_plan &plan, const int8_t *x, size_t n,
           int8_t *history, size_t phase, int8_t *out, int s, int rounding, int overflow)
{
    auto finish = [=](int64_t *v, size_t count, int8_t *dst) {
        for (size_t i = 0; i < count; ++i) {
            v[i] = static_cast<int32_t>(v[i]);
        }
        narrow_q8_modes(v, count, dst, s, rounding, overflow);
    };
    return run(sums, decimating, plan, x, n, history, phase, out, finish);
}

}  // namespace corvane::polyphase

namespace {

corvane::polyphase::ClassSumsFn chosen_sums()
{
    static const corvane::polyphase::ClassSumsFn fn =
        corvane::polyphase::kSumsPaths[corvane::first_supported(corvane::polyphase::kSumsPaths)].fn;
    return fn;
}

corvane::polyphase::DecimatingSumsFn chosen_decimating()
{
    static const corvane::polyphase::DecimatingSumsFn fn =
        corvane::polyphase::kDecimatingPaths[corvane::first_supported(corvane::polyphase::kDecimatingPaths)].fn;
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
    return corvane::polyphase::run_q15(chosen_sums(), chosen_decimating(), *plan, x, n, history, phase, out, s,
                                       rounding, overflow);
}

int upfirdn_q8(const upfirdn_plan *plan, const int8_t *x, size_t n, int8_t *history, size_t phase, int8_t *out,
               int s, int rounding, int overflow)
{
    return corvane::polyphase::run_q8(chosen_sums(), chosen_decimating(), *plan, x, n, history, phase, out, s,
                                      rounding, overflow);
}

}  // extern "C"
