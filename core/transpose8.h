// An 8x8 transpose of double lanes: r[k] lane l becomes r[l] lane k. The host core's tridiagonal
// solver runs eight columns side by side with it, and the kernel library's vector vocabulary
// (its data-fitting tiles) takes the same function from here: the kernel library builds on the
// host core, never the other way round, so the one copy lives with the core.
//
// The includer makes the intrinsics visible first (the real ones in the core; in the kernel
// library possibly the emulation its test build uses) and may name the function's target
// attribute in ZORP_TRANSPOSE8_TARGET; by default the function asks for AVX-512 code itself.
#pragma once

#ifndef ZORP_TRANSPOSE8_TARGET
#define ZORP_TRANSPOSE8_TARGET __attribute__((target("avx512f")))
#endif

namespace zorp::lanes {

// GCC 12 warns that some AVX-512 intrinsics read an undefined source register; they do not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"

ZORP_TRANSPOSE8_TARGET inline void transpose8(__m512d r[8]) {
  __m512d t[8];
  for (int k = 0; k < 4; ++k) {
    t[2 * k] = _mm512_unpacklo_pd(r[2 * k], r[2 * k + 1]);
    t[2 * k + 1] = _mm512_unpackhi_pd(r[2 * k], r[2 * k + 1]);
  }
  // t[2k] lane l = (r[2k][2l], r[2k+1][2l]); t[2k+1] lane l = (r[2k][2l+1], r[2k+1][2l+1]).
  __m512d u[8];
  for (int k = 0; k < 2; ++k)
    for (int h = 0; h < 2; ++h) {
      u[4 * k + h] = _mm512_shuffle_f64x2(t[4 * k + h], t[4 * k + 2 + h], _MM_SHUFFLE(2, 0, 2, 0));
      u[4 * k + 2 + h] = _mm512_shuffle_f64x2(t[4 * k + h], t[4 * k + 2 + h], _MM_SHUFFLE(3, 1, 3, 1));
    }
  for (int h = 0; h < 4; ++h) {
    r[h] = _mm512_shuffle_f64x2(u[h], u[4 + h], _MM_SHUFFLE(2, 0, 2, 0));
    r[4 + h] = _mm512_shuffle_f64x2(u[h], u[4 + h], _MM_SHUFFLE(3, 1, 3, 1));
  }
}

#pragma GCC diagnostic pop

}  // namespace zorp::lanes
