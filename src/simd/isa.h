// The one place the kernels' instruction set comes from.
//
// A normal build compiles the AVX-512 intrinsics to AVX-512 instructions. A build configured
// with ZORP_EMULATE_AVX512 (for processors without AVX-512: a developer's laptop, a CI machine)
// compiles the same source against an emulation of those intrinsics on AVX2, so that every test
// runs and can fail there. Such a build is for checking results, never for timing, and it is
// never installed or packaged.
#pragma once

#if defined(ZORP_EMULATE_AVX512)
#include "simd/emulated_avx512.h"
// Functions that would otherwise ask the compiler for AVX-512 code of their own.
#define ZORP_AVX512_TARGET
#else
#include <immintrin.h>
#define ZORP_AVX512_TARGET __attribute__((target("avx512f")))
#endif
