// Lane transposes: an 8x8 transpose of double lanes (the data-fitting construction's tiles) and
// the interleave of four registers into runs of four. The functions carry their own target, so
// that code built for the generic instruction set may call them from an AVX-512 function. The
// 8x8 transpose is the host core's (the core's tridiagonal solver uses it too, and the core
// takes nothing from this library), built here with this vocabulary's target.
#pragma once
#include "simd/isa.h"
#define ZORP_TRANSPOSE8_TARGET ZORP_AVX512_TARGET
#include "../../core/transpose8.h"

namespace zorp::simd {

// GCC 12 warns that some AVX-512 intrinsics read an undefined source register; they do not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"

using lanes::transpose8;

// Four registers of one element each per lane become runs of four: on return the registers, in
// order, hold a0 b0 c0 d0 a1 b1 c1 d1 ... (the spline code's cell blocks [c0, c1, c2, c3]).
ZORP_AVX512_TARGET inline void interleave4(__m512d v[4]) {
  // Pairs inside 128-bit chunks, then the 4x4 grid of chunks transposed.
  const __m512d u0 = _mm512_unpacklo_pd(v[0], v[1]), u1 = _mm512_unpacklo_pd(v[2], v[3]);
  const __m512d u2 = _mm512_unpackhi_pd(v[0], v[1]), u3 = _mm512_unpackhi_pd(v[2], v[3]);
  const __m512d w0 = _mm512_shuffle_f64x2(u0, u1, _MM_SHUFFLE(2, 0, 2, 0));
  const __m512d w1 = _mm512_shuffle_f64x2(u0, u1, _MM_SHUFFLE(3, 1, 3, 1));
  const __m512d w2 = _mm512_shuffle_f64x2(u2, u3, _MM_SHUFFLE(2, 0, 2, 0));
  const __m512d w3 = _mm512_shuffle_f64x2(u2, u3, _MM_SHUFFLE(3, 1, 3, 1));
  v[0] = _mm512_shuffle_f64x2(w0, w2, _MM_SHUFFLE(2, 0, 2, 0));
  v[1] = _mm512_shuffle_f64x2(w1, w3, _MM_SHUFFLE(2, 0, 2, 0));
  v[2] = _mm512_shuffle_f64x2(w0, w2, _MM_SHUFFLE(3, 1, 3, 1));
  v[3] = _mm512_shuffle_f64x2(w1, w3, _MM_SHUFFLE(3, 1, 3, 1));
}
ZORP_AVX512_TARGET inline void interleave4(__m512 v[4]) {
  // Float pairs become double-wide units; then the same as for doubles on those units.
  const __m512d t0 = _mm512_castps_pd(_mm512_unpacklo_ps(v[0], v[1])), t1 = _mm512_castps_pd(_mm512_unpackhi_ps(v[0], v[1]));
  const __m512d t2 = _mm512_castps_pd(_mm512_unpacklo_ps(v[2], v[3])), t3 = _mm512_castps_pd(_mm512_unpackhi_ps(v[2], v[3]));
  const __m512d u0 = _mm512_unpacklo_pd(t0, t2), u1 = _mm512_unpackhi_pd(t0, t2);
  const __m512d u2 = _mm512_unpacklo_pd(t1, t3), u3 = _mm512_unpackhi_pd(t1, t3);
  const __m512d w0 = _mm512_shuffle_f64x2(u0, u1, _MM_SHUFFLE(2, 0, 2, 0));
  const __m512d w1 = _mm512_shuffle_f64x2(u0, u1, _MM_SHUFFLE(3, 1, 3, 1));
  const __m512d w2 = _mm512_shuffle_f64x2(u2, u3, _MM_SHUFFLE(2, 0, 2, 0));
  const __m512d w3 = _mm512_shuffle_f64x2(u2, u3, _MM_SHUFFLE(3, 1, 3, 1));
  v[0] = _mm512_castpd_ps(_mm512_shuffle_f64x2(w0, w2, _MM_SHUFFLE(2, 0, 2, 0)));
  v[1] = _mm512_castpd_ps(_mm512_shuffle_f64x2(w1, w3, _MM_SHUFFLE(2, 0, 2, 0)));
  v[2] = _mm512_castpd_ps(_mm512_shuffle_f64x2(w0, w2, _MM_SHUFFLE(3, 1, 3, 1)));
  v[3] = _mm512_castpd_ps(_mm512_shuffle_f64x2(w1, w3, _MM_SHUFFLE(3, 1, 3, 1)));
}

#pragma GCC diagnostic pop

}  // namespace zorp::simd
