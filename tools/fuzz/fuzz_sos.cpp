// libFuzzer target: the biquad cascade on every path this CPU runs, against
// the scalar path, and a two-block split with the state carried, against
// one pass.
// Input: modes, section count, channel count, split point, then per section
// f and five coefficients, then the state, then the samples (int16 each).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "biquad.h"
#include "biquad_paths.h"

namespace {

using corvane::biquad::kSosPaths;

constexpr size_t kHeader = 1 + 1 + 1 + 2;
constexpr size_t kMaxSections = 9;
constexpr size_t kMaxChannels = 17;

int16_t next16(const uint8_t *&p, const uint8_t *end)
{
    int16_t v = 0;
    if (end - p >= 2) {
        std::memcpy(&v, p, 2);
        p += 2;
    }
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < kHeader) {
        return 0;
    }
    const corvane::NarrowMode mode{static_cast<corvane::Rounding>(data[0] % CORVANE_ROUNDING_COUNT),
                                   static_cast<corvane::Overflow>(data[0] / 8 % 2)};
    const bool wrap32 = data[0] & 64;
    const size_t sections = data[1] % kMaxSections + 1;
    const size_t channels = data[2] % kMaxChannels + 1;
    uint16_t split16;
    std::memcpy(&split16, data + 3, 2);
    const uint8_t *p = data + kHeader, *end = data + size;

    std::vector<int32_t> sos;
    for (size_t k = 0; k < sections; ++k) {
        const int f = p < end ? *p++ % 16 : 0;
        int32_t row[6];
        for (int j : {0, 1, 2, 4, 5}) {
            row[j] = next16(p, end);
        }
        row[3] = 1 << f;
        sos.insert(sos.end(), row, row + 6);
    }
    std::vector<int16_t> state0(sections * 4 * channels);
    for (auto &v : state0) {
        v = next16(p, end);
    }
    const size_t n = static_cast<size_t>(end - p) / 2 / channels;
    std::vector<int16_t> x(n * channels);
    for (auto &v : x) {
        v = next16(p, end);
    }
    const size_t split = split16 % (n + 1);
    std::vector<corvane::biquad::Section> prepared(sections);
    corvane::biquad::prepare(sos.data(), sections, prepared.data());
    const corvane::biquad::Plan plan{prepared.data(), sections, mode, wrap32};

    auto want_state = state0;
    std::vector<int16_t> want(x.size()), got(x.size());
    corvane::biquad::scalar::sosfilt(plan, x.data(), n, channels, want_state.data(), want.data());
    for (const auto &path : kSosPaths) {
        if (!corvane::isa_supported(path.isa)) {
            continue;
        }
        auto state = state0;
        path.fn(plan, x.data(), n, channels, state.data(), got.data());
        if (got != want || state != want_state) {
            std::abort();
        }
        state = state0;
        std::fill(got.begin(), got.end(), int16_t{0});
        path.fn(plan, x.data(), split, channels, state.data(), got.data());
        path.fn(plan, x.data() + split * channels, n - split, channels, state.data(), got.data() + split * channels);
        if (got != want || state != want_state) {
            std::abort();
        }
    }
    return 0;
}
