// The instruction sets a block path may need, and whether this CPU has them.
#ifndef CORVANE_CPU_FEATURES_H
#define CORVANE_CPU_FEATURES_H

namespace corvane {

// Scalar needs nothing; SSE2 is the x86-64 baseline and NEON the aarch64 one.
// Avx512Bw stands for AVX-512 F, BW and VL, Avx512Vnni for those plus VNNI.
enum class Isa : unsigned {
    Scalar,
    Sse2,
    Avx2,
    Avx512Bw,
    Avx512Vnni,
    Neon,
};

// Asks the CPU once, on first use, and answers from that ever after; safe to
// call from any thread. Sets this build leaves out read as unsupported.
bool isa_supported(Isa isa);

const char *isa_name(Isa isa);

}  // namespace corvane

#endif  // CORVANE_CPU_FEATURES_H
