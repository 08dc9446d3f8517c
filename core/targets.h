// Which block paths this build compiles. Each vector path lives in files of
// its own whose whole content sits behind one of these switches, so that any
// 64-bit target builds the core from the scalar rules alone, and a build with
// CORVANE_PORTABLE defined leaves out every vector path even where the
// instructions exist (the build CI uses to test the scalar rules on x86).
#ifndef CORVANE_TARGETS_H
#define CORVANE_TARGETS_H

#if !defined(CORVANE_PORTABLE) && (defined(__x86_64__) || defined(_M_X64))
#define CORVANE_X86_PATHS 1
#else
#define CORVANE_X86_PATHS 0
#endif

#if !defined(CORVANE_PORTABLE) && defined(__aarch64__)
#define CORVANE_NEON_PATHS 1
#else
#define CORVANE_NEON_PATHS 0
#endif

#endif  // CORVANE_TARGETS_H
