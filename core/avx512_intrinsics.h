// <immintrin.h> for the AVX-512 paths. GCC 12's AVX-512 intrinsics fill the
// lanes they leave alone from a deliberately undefined register, which its
// own uninitialised-use check then reports wherever they are inlined.
#ifndef CORVANE_AVX512_INTRINSICS_H
#define CORVANE_AVX512_INTRINSICS_H

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif

#endif  // CORVANE_AVX512_INTRINSICS_H
