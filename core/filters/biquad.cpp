// The biquad cascade: coefficient checks, the scalar path and the exported
// entry, which takes the widest path this CPU runs.
#include "biquad.h"

#include <array>
#include <memory>
#include <new>
#include <utility>

#include "biquad_paths.h"
#include "dispatch.h"

namespace corvane::biquad {

namespace {

constexpr int64_t kCoefMin = -32768;
constexpr int64_t kCoefMax = 32767;
constexpr size_t kStateWords = 4;  // x[-1], x[-2], y[-1], y[-2]
constexpr size_t kStackSections = 16;

// Sections [0, G) of a chunk over one channel; `in` and `out` step by
// `stride`, the state words of section g by `state_stride`.
template <Rounding R, Overflow O, bool Wrap32, size_t G>
void run_chunk(const Section *s, const int16_t *in, int16_t *out, size_t n, size_t stride, int16_t *state,
               size_t state_stride)
{
    constexpr NarrowMode mode{R, O};
    int64_t x1[G], x2[G], y1[G], y2[G];
    for (size_t g = 0; g < G; ++g) {
        int16_t *st = state + g * kStateWords * state_stride;
        x1[g] = st[0];
        x2[g] = st[state_stride];
        y1[g] = st[2 * state_stride];
        y2[g] = st[3 * state_stride];
    }
    for (size_t i = 0; i < n; ++i) {
        int64_t v = in[i * stride];
        for (size_t g = 0; g < G; ++g) {
            int64_t acc = s[g].b0 * v + s[g].b1 * x1[g] + s[g].b2 * x2[g] + s[g].na1 * y1[g] + s[g].na2 * y2[g];
            if constexpr (Wrap32) {
                acc = static_cast<int32_t>(static_cast<uint32_t>(acc));
            }
            const int f = s[g].f;
            if (f < 0 || f > CORVANE_SOS_MAX_FRAC) {
                __builtin_unreachable();
            }
            const int64_t y = narrow_rule<int16_t>(acc, f, mode);
            x2[g] = x1[g];
            x1[g] = v;
            y2[g] = y1[g];
            y1[g] = y;
            v = y;
        }
        out[i * stride] = static_cast<int16_t>(v);
    }
    for (size_t g = 0; g < G; ++g) {
        int16_t *st = state + g * kStateWords * state_stride;
        st[0] = static_cast<int16_t>(x1[g]);
        st[state_stride] = static_cast<int16_t>(x2[g]);
        st[2 * state_stride] = static_cast<int16_t>(y1[g]);
        st[3 * state_stride] = static_cast<int16_t>(y2[g]);
    }
}

using ChunkFn = void (*)(const Section *, const int16_t *, int16_t *, size_t, size_t, int16_t *, size_t);

// One entry per (rounding, overflow, accumulator, chunk size).
template <size_t I>
constexpr ChunkFn chunk_at()
{
    constexpr size_t g = I % kChunk + 1;
    constexpr bool wrap32 = (I / kChunk) % 2 != 0;
    constexpr auto overflow = static_cast<Overflow>((I / (2 * kChunk)) % CORVANE_OVERFLOW_COUNT);
    constexpr auto rounding = static_cast<Rounding>(I / (2 * kChunk * CORVANE_OVERFLOW_COUNT));
    return run_chunk<rounding, overflow, wrap32, g>;
}

template <size_t... I>
constexpr std::array<ChunkFn, sizeof...(I)> chunk_table(std::index_sequence<I...>)
{
    return {chunk_at<I>()...};
}

constexpr auto kChunks = chunk_table(std::make_index_sequence<CORVANE_ROUNDING_COUNT * CORVANE_OVERFLOW_COUNT * 2 * kChunk>());

ChunkFn chunk_for(const Plan &plan, size_t g)
{
    const size_t index = ((static_cast<size_t>(plan.mode.rounding) * CORVANE_OVERFLOW_COUNT +
                           static_cast<size_t>(plan.mode.overflow)) * 2 + plan.wrap32) * kChunk + (g - 1);
    return kChunks[index];
}

}  // namespace

void prepare(const int32_t *sos, size_t n_sections, Section *sections)
{
    for (size_t k = 0; k < n_sections; ++k) {
        const int32_t *row = sos + 6 * k;
        sections[k] = {row[0], row[1], row[2], -row[4], -row[5], __builtin_ctz(static_cast<uint32_t>(row[3]))};
    }
}

namespace scalar {

void sosfilt_channels(const Plan &plan, const int16_t *x, size_t n, size_t channels, size_t first, int16_t *state,
                      int16_t *out)
{
    if (n == 0) {
        return;  // an empty block leaves the state as it is; x may be null
    }
    for (size_t c = first; c < channels; ++c) {
        const int16_t *in = x + c;
        for (size_t k = 0; k < plan.count; k += kChunk) {
            const size_t g = plan.count - k < kChunk ? plan.count - k : kChunk;
            chunk_for(plan, g)(plan.sections + k, in, out + c, n, channels, state + k * kStateWords * channels + c,
                               channels);
            in = out + c;
        }
    }
}

void sosfilt(const Plan &plan, const int16_t *x, size_t n, size_t channels, int16_t *state, int16_t *out)
{
    sosfilt_channels(plan, x, n, channels, 0, state, out);
}

}  // namespace scalar

}  // namespace corvane::biquad

using namespace corvane;

long sos_check_q15(const int32_t *sos, size_t n_sections)
{
    for (size_t k = 0; k < n_sections; ++k) {
        for (size_t j = 0; j < 6; ++j) {
            const int64_t v = sos[6 * k + j];
            const bool ok = j == 3 ? v > 0 && v <= (int64_t{1} << CORVANE_SOS_MAX_FRAC) && (v & (v - 1)) == 0
                                   : v >= biquad::kCoefMin && v <= biquad::kCoefMax;
            if (!ok) {
                return static_cast<long>(6 * k + j);
            }
        }
    }
    return -1;
}

int sosfilt_q15(const int16_t *x, size_t n, size_t channels, const int32_t *sos, size_t n_sections,
                int16_t *state, int16_t *out, int rounding, int overflow, int accumulator)
{
    if (rounding < 0 || rounding >= CORVANE_ROUNDING_COUNT || overflow < 0 || overflow >= CORVANE_OVERFLOW_COUNT ||
        (accumulator != CORVANE_ACC_EXACT && accumulator != CORVANE_ACC_INT32) ||
        sos_check_q15(sos, n_sections) >= 0) {
        return -1;
    }
    if (n == 0 || channels == 0 || n_sections == 0) {
        if (n_sections == 0 && n != 0 && channels != 0 && out != x) {
            for (size_t i = 0; i < n * channels; ++i) {
                out[i] = x[i];
            }
        }
        return 0;
    }
    biquad::Section on_stack[biquad::kStackSections];
    std::unique_ptr<biquad::Section[]> on_heap;
    biquad::Section *sections = on_stack;
    if (n_sections > biquad::kStackSections) {
        on_heap.reset(new (std::nothrow) biquad::Section[n_sections]);
        if (!on_heap) {
            return -1;
        }
        sections = on_heap.get();
    }
    biquad::prepare(sos, n_sections, sections);
    const biquad::Plan plan{sections, n_sections,
                            NarrowMode{static_cast<Rounding>(rounding), static_cast<Overflow>(overflow)},
                            accumulator == CORVANE_ACC_INT32};
    Chosen<biquad::kSosPaths>::call(0, plan, x, n, channels, state, out);
    return 0;
}
