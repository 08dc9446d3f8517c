// CPU feature detection behind the block-path tables.
#include "cpu_features.h"

#include "targets.h"

namespace corvane {

namespace {

constexpr unsigned bit(Isa isa) { return 1u << static_cast<unsigned>(isa); }

unsigned detect()
{
    unsigned found = bit(Isa::Scalar);
#if CORVANE_X86_PATHS
    // The libgcc / compiler-rt model also checks that the OS saves the wide
    // registers. Initialising it here makes the answer right even when the
    // first call comes from another library's constructor.
    __builtin_cpu_init();
    found |= bit(Isa::Sse2);
    if (__builtin_cpu_supports("avx2")) {
        found |= bit(Isa::Avx2);
    }
    // Every CPU with BW has VL too; the paths use its 256-bit forms.
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl")) {
        found |= bit(Isa::Avx512Bw);
        if (__builtin_cpu_supports("avx512vnni")) {
            found |= bit(Isa::Avx512Vnni);
        }
    }
#endif
#if CORVANE_NEON_PATHS
    found |= bit(Isa::Neon);
#endif
    return found;
}

}  // namespace

bool isa_supported(Isa isa)
{
    static const unsigned found = detect();
    return (found & bit(isa)) != 0;
}

const char *isa_name(Isa isa)
{
    switch (isa) {
    case Isa::Scalar:
        return "scalar";
    case Isa::Sse2:
        return "sse2";
    case Isa::Avx2:
        return "avx2";
    case Isa::Avx512Bw:
        return "avx512bw";
    case Isa::Avx512Vnni:
        return "avx512vnni";
    case Isa::Neon:
        return "neon";
    }
    return "unknown";
}

}  // namespace corvane
